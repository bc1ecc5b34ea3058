#!/usr/bin/env bash
# The conformance vectors against the built module (that of .venv, or that of the interpreter
# PYTHON names); a single failed vector fails the run. The vectors live beside the checkout
# (CONFORMANCE=DIR names another folder); without them there is nothing to check.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${CONFORMANCE:-../shared/conformance}
vectors=${1:-$dir/public.jsonl}
checker=$dir/check_vectors.py
if [ ! -f "$checker" ]; then
  echo "== conformance: $checker not found, skipped"
  exit 0
fi
echo "== conformance"
"${PYTHON:-.venv/bin/python}" "$checker" "$vectors" --show 3
