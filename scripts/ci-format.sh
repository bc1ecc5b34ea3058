#!/usr/bin/env bash
# Fails when a C++ file of the project is not formatted as .clang-format says, or a Python file
# is not as ruff's lint and format settings in pyproject.toml say (ruff pinned, so that a new
# release's style does not fail CI on its own).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh clang-format
echo "== clang-format"
git ls-files -z '*.cpp' '*.hpp' | xargs -0 clang-format --dry-run --Werror
echo "clang-format: clean"

echo "== ruff"
tools=build/ruff
[ -x "$tools/bin/ruff" ] || { python3 -m venv "$tools" && "$tools/bin/pip" install -q "ruff==0.17.6"; }
"$tools/bin/ruff" check .
"$tools/bin/ruff" format --check .
