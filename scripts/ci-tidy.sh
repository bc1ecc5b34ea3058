#!/usr/bin/env bash
# clang-tidy over every project source in the compile database, with the checks of .clang-tidy;
# any finding fails. Two files at a time (the machines have two cores).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh clang-tidy
python=.venv/bin/python
[ -x "$python" ] || python=python3
build=build/tidy
cmake -S . -B "$build" -DPython_EXECUTABLE="$(command -v "$python")" -DVORLIK_BUILD_TESTS=ON \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
echo "== clang-tidy"
"$python" -c 'import json, sys; print("\n".join(e["file"] for e in json.load(open(sys.argv[1]))))' \
  "$build/compile_commands.json" | sort -u |
  xargs -P 2 -n 1 clang-tidy -p "$build" --quiet 2> >(grep -v -E '^[0-9]+ warnings? generated\.$' >&2)
echo "clang-tidy: clean"
