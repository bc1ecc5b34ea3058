#!/usr/bin/env bash
# The extension built with AddressSanitizer and UndefinedBehaviorSanitizer, and the pytest suite
# and the conformance vectors run against it. The interpreter is not instrumented, so the
# runtimes are preloaded; leak detection stays off, as the interpreter keeps memory to its end.
set -euo pipefail
cd "$(dirname "$0")/.."
python=.venv/bin/python
build=build/asan
echo "== sanitizer build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPython_EXECUTABLE="$(command -v "$python")" \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
  -DCMAKE_MODULE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$build" --parallel 2 --target vorlik
export LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libubsan.so)"
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export PYTHONPATH="$PWD/$build" VORLIK_SANITIZED=1
echo "== tests under sanitizers"
"$python" -m pytest -q -p no:cacheprovider tests
checker=../shared/conformance/check_vectors.py
if [ -f "$checker" ]; then
  echo "== conformance under sanitizers"
  "$python" "$checker" ../shared/conformance/public.jsonl --show 3
fi
