#!/usr/bin/env bash
# Fails when a C++ file of the project is not formatted as .clang-format says.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh clang-format
echo "== clang-format"
git ls-files -z '*.cpp' '*.hpp' | xargs -0 clang-format --dry-run --Werror
echo "clang-format: clean"
