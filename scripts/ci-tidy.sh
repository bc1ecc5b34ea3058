#!/usr/bin/env bash
# clang-tidy over every project source in the compile database (CMakePresets.json: tidy), with the
# checks of .clang-tidy; any finding fails. Two files at a time (the machines have two cores).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh clang-tidy
run_tidy=$(command -v run-clang-tidy || command -v run-clang-tidy-14)
cmake --preset tidy >/dev/null
echo "== clang-tidy"
# run-clang-tidy echoes each command line and clang-tidy counts the warnings it suppressed; only
# findings are worth showing.
"$run_tidy" -p build/tidy -j 2 -quiet 2> >(grep -v -E '^[0-9]+ warnings? generated\.$' >&2) |
  { grep -v -E '^[^ ]*clang-tidy(-[0-9]+)? ' || true; }
echo "clang-tidy: clean"
