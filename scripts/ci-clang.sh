#!/usr/bin/env bash
# The core, the module and the C++ tests built with clang as well (CMakePresets.json: clang),
# warnings as errors, and the tests run. The build has assertions on, so the tests also run the
# debug checks (the child index's invariants after its edits).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh clang
echo "== clang build"
cmake --preset clang >/dev/null
cmake --build --preset clang
ctest --preset clang
