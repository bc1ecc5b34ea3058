#!/usr/bin/env bash
# Builds the core as WebAssembly with Debian's emscripten (installed when missing, with Node.js
# when the machine has none): build/wasm/client/ then holds what a client serves, vorlik.mjs,
# vorlik.wasm and vorlik.d.mts. VORLIK_WERROR=ON turns warnings into errors, as in CI.
set -euo pipefail
cd "$(dirname "$0")/.."
extra=(emscripten)
command -v node >/dev/null || extra+=(nodejs)
bash scripts/install-deps.sh "${extra[@]}"
# emscripten's JavaScript tools look for Debian's acorn there.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
emcmake cmake -S . -B build/wasm -DCMAKE_BUILD_TYPE=Release \
  -DVORLIK_WERROR="${VORLIK_WERROR:-OFF}" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --build build/wasm --parallel 2
wasm=build/wasm/client/vorlik.wasm
echo "$wasm: $(stat -c %s "$wasm") bytes, $(gzip -9 -c "$wasm" | wc -c) gzipped"
