#!/usr/bin/env bash
# The core, the module and the C++ tests built with clang as well, warnings as errors, and the
# tests run: the warning set must stay clean with both compilers.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh clang
python=.venv/bin/python
[ -x "$python" ] || python=python3
build=build/clang
echo "== clang build"
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DPython_EXECUTABLE="$(command -v "$python")" \
  -DVORLIK_BUILD_TESTS=ON -DVORLIK_WERROR=ON >/dev/null
cmake --build "$build" --parallel 2
ctest --test-dir "$build" --output-on-failure
