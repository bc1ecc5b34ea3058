#!/usr/bin/env bash
# The extension built with AddressSanitizer and UndefinedBehaviorSanitizer, assertions on
# (CMakePresets.json: sanitize), and the pytest suite and the conformance vectors run against it.
# The interpreter is not instrumented, so the runtimes are preloaded; leak detection stays off, as
# the interpreter keeps memory to its end.
set -euo pipefail
cd "$(dirname "$0")/.."
python=.venv/bin/python
build=build/sanitize
echo "== sanitizer build"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize
export LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libubsan.so)"
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export PYTHONPATH="$PWD/$build" VORLIK_SANITIZED=1
echo "== tests under sanitizers"
"$python" -m pytest -q -p no:cacheprovider tests -k "not large_keyed_reorders"
checker=../shared/conformance/check_vectors.py
if [ -f "$checker" ]; then
  echo "== conformance under sanitizers"
  "$python" "$checker" ../shared/conformance/public.jsonl --show 3
fi
