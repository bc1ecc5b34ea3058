#!/usr/bin/env bash
# Headless Chromium (Debian's chromium and chromium-driver, Selenium from pip into .venv):
# the WebAssembly face loaded as a page loads it, with every conformance vector through it
# (wasm/test/browser.py), then the DOM client in the web demo: two tabs through every
# interaction with the client's check mode on, the DOM moves and the time per frame of a
# 1,000-row list (wasm/test/web_demo_browser.py). Needs `make build` and `make wasm` first.
#
#   bash scripts/browser-check.sh          CI's sampled form: 5 timed frames per kind of update
#   bash scripts/browser-check.sh --full   40 timed frames per kind, and the README's
#                                          screenshots written to docs/
set -euo pipefail
cd "$(dirname "$0")/.."
frames=5 shots=build/browser-check
if [ "${1:-}" = "--full" ]; then frames=40 shots=docs; fi
bash scripts/install-deps.sh chromium chromium-driver
.venv/bin/python -m pip install -q "selenium>=4.10"
echo "== browser: the face and the conformance vectors"
timeout 120 .venv/bin/python wasm/test/browser.py
echo "== browser: the DOM client in the web demo"
timeout 600 .venv/bin/python wasm/test/web_demo_browser.py --frames "$frames" --screenshots "$shots"
