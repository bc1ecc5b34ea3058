#!/usr/bin/env bash
# Compiles the core (every source behind src/api.hpp: jsonio/, belvane/, src/) for machines this
# one cannot run, with the project's warnings as errors: macOS on Apple silicon and 64-bit
# Windows (MinGW ABI, where long is 32 bits), using the clang and libc++ that come with zig from
# PyPI (ziglang). Each source is compiled to an object; nothing is linked or run: this only
# keeps Linux-only headers, calls and type assumptions out of the core. The extension's own
# folder (python/) needs the target's Python headers and is not compiled here.
#
#   bash scripts/ci-portability.sh [TARGET...]     (default: aarch64-macos x86_64-windows)
set -euo pipefail
cd "$(dirname "$0")/.."
targets=("$@")
((${#targets[@]})) || targets=(aarch64-macos x86_64-windows)
tools=build/portability/tools
if [[ ! -x $tools/bin/python ]]; then
  python3 -m venv "$tools"
fi
"$tools/bin/python" -m pip install -q "ziglang==0.17.0"
cache=$PWD/build/portability
# zig wants its global and local caches apart.
export ZIG_GLOBAL_CACHE_DIR=$cache/zig-global ZIG_LOCAL_CACHE_DIR=$cache/zig-local
mapfile -t sources < <(find jsonio belvane src -name '*.cpp' | sort)
flags=(-std=c++20 -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow -Werror
  -I. -Ithird_party/dragonbox/include -Ithird_party/fast_float/include)

# compile TARGET SOURCE: one object, into build/portability/TARGET/.
compile() {
  "$tools/bin/python" -m ziglang c++ -target "$1" "${flags[@]}" -c "$2" -o "$cache/$1/${2//\//_}.o"
}

failed=0
for target in "${targets[@]}"; do
  echo "== $target: ${#sources[@]} sources"
  mkdir -p "$cache/$target"
  for source in "${sources[@]}"; do
    # Two at a time: the machine has two cores.
    if (($(jobs -rp | wc -l) >= 2)); then wait -n || failed=1; fi
    compile "$target" "$source" &
  done
  while (($(jobs -rp | wc -l))); do wait -n || failed=1; done
done
if ((failed)); then
  echo "portability: the core does not compile for every target above" >&2
  exit 1
fi
echo "portability: the core compiles for ${targets[*]}"
