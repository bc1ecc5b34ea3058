#!/usr/bin/env bash
# The conformance vectors against the built module; a single failed vector fails the run. The
# vectors live beside the checkout; without them there is nothing to check.
set -euo pipefail
cd "$(dirname "$0")/.."
vectors=${1:-../shared/conformance/public.jsonl}
checker=../shared/conformance/check_vectors.py
if [ ! -f "$checker" ]; then
  echo "== conformance: $checker not found, skipped"
  exit 0
fi
echo "== conformance"
.venv/bin/python "$checker" "$vectors" --show 3
