#!/usr/bin/env bash
# Proves the source distribution builds where only a C++ compiler and Python are: makes the sdist
# (`python -m build --sdist`), bootstraps a minimal Debian root holding python3, python3-venv,
# python3-dev and g++ and nothing else of the build (no CMake, no dragonbox or fast_float
# package, no Ninja), and there runs `pip install vorlik-*.tar.gz` in a venv, pip fetching its
# build tools (scikit-build-core, cmake, ninja) from PyPI; then the README's Python and shell
# sessions and the examples against what was installed. Needs root, debootstrap (installed when
# missing) and the network (PyPI, Debian's archive).
#
#   sudo bash scripts/sdist-root-check.sh
#   SDIST_ROOT=DIR (default build/sdist-root, kept and reused), SUITE=bookworm,
#   MIRROR=http://deb.debian.org/debian, SDIST=dist/vorlik-....tar.gz (skips making it)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/debian-root.sh
require_root "debootstrap, chroot, a mount namespace"
root=$(realpath -m "${SDIST_ROOT:-build/sdist-root}")

if [[ -z ${SDIST:-} ]]; then
  echo "== sdist"
  tools=build/sdist-tools
  [[ -x $tools/bin/python ]] || python3 -m venv "$tools"
  "$tools/bin/python" -m pip install -q build
  rm -rf build/sdist
  "$tools/bin/python" -m build --sdist --outdir build/sdist . >/dev/null
  SDIST=$(ls build/sdist/vorlik-*.tar.gz)
fi
sdist=$(realpath "$SDIST")
tar tzf "$sdist" | grep -E '/third_party/[^/]+/LICENSE' || {
  echo "$sdist carries no third_party/ licences" >&2
  exit 1
}

echo "== root $root"
make_root "$root" "$suite" "$mirror" amd64 python3,python3-venv,python3-dev,g++
# The point is what the root lacks: CMake, Ninja and the header-only libraries the sdist carries.
unwanted=$(packages_matching "$root" '^(cmake|ninja-build|libdragonbox-dev|libfast-float-dev|libmsgpack-cxx-dev)$')
if [[ -n $unwanted ]] || chroot "$root" sh -c 'command -v cmake ninja' >/dev/null; then
  echo "the root is not clean: ${unwanted:-cmake or ninja is installed}" >&2
  exit 1
fi
chroot "$root" dpkg-query -W python3 python3-dev g++ libc6 libstdc++6
echo "$(chroot "$root" dpkg-query -W -f '.\n' | wc -l) packages installed"

stage_check "$root/check" "$sdist"

echo "== pip install $(basename "$sdist"), then the check"
in_root "$root" /bin/bash /check/run.sh "dist/$(basename "$sdist")"
echo "$(basename "$sdist"): builds and works in a $suite root with only python3-dev and g++"
