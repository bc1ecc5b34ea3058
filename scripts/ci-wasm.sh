#!/usr/bin/env bash
# CI: the WebAssembly build (warnings as errors), clang-tidy on its binding, its TypeScript
# declarations type-checked, the JavaScript tests under Node (every conformance vector through
# load(), the face's own checks, the README's example, the DOM client on a small fake DOM). The
# differential test against the extension (tests/test_wasm.py) runs with the Python tests once
# this has built the module, and the checks in Chromium after them (scripts/browser-check.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
VORLIK_WERROR=ON bash scripts/build-wasm.sh
bash scripts/install-deps.sh clang-tidy node-typescript
echo "== clang-tidy (wasm/)"
sysroot=$(NODE_PATH=/usr/share/nodejs em-config CACHE)/sysroot
clang-tidy -p build/wasm --quiet --extra-arg=--target=wasm32-unknown-emscripten \
  --extra-arg=-Wno-unused-command-line-argument \
  --extra-arg=--sysroot="$sysroot" wasm/*.cpp 2> >(grep -v -E '^[0-9]+ warnings? generated\.$' >&2)
echo "== tsc"
tsc -p wasm/test
echo "== node --test"
node --test wasm/test/*.test.mjs
