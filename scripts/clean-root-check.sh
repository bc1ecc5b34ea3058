#!/usr/bin/env bash
# Proves the repaired wheel works on a machine that has Python and nothing of the build: builds
# it (scripts/build-wheel.sh), bootstraps a minimal Debian root with only python3 and
# python3-venv (no compiler, no -dev package, no ICU), and there, with no network at all,
# installs the wheel into a venv and runs the README's Python and shell sessions and the examples
# against what was installed. Needs root, debootstrap (installed when missing), iproute2, and
# the network for the build's tools and Debian's archive. Only /proc is mounted into the root,
# for the check alone.
#
#   sudo bash scripts/clean-root-check.sh
#   CLEAN_ROOT=DIR (default build/clean-root, kept and reused), SUITE=bookworm,
#   MIRROR=http://deb.debian.org/debian, WHEEL=dist/...whl (skips the build)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/debian-root.sh
require_root "debootstrap, chroot, a network namespace"
root=$(realpath -m "${CLEAN_ROOT:-build/clean-root}")

if [[ -z ${WHEEL:-} ]]; then
  echo "== build"
  bash scripts/build-wheel.sh
  WHEEL=$(ls dist/vorlik-*manylinux*_x86_64.whl)
fi
wheel=$(realpath "$WHEEL")

echo "== root $root"
make_root "$root" "$suite" "$mirror" amd64 python3,python3-venv
# The point is what the root lacks: a compiler, headers, ICU.
unwanted=$(packages_matching "$root" '-dev$|^libicu|^(gcc|g\+\+|cpp|clang)(-[0-9]+)?$')
if [[ -n $unwanted ]] || chroot "$root" sh -c 'command -v cc gcc g++ c++' >/dev/null; then
  echo "the root is not clean: ${unwanted:-a compiler is installed}" >&2
  exit 1
fi
chroot "$root" dpkg-query -W python3 libc6 libstdc++6
echo "$(chroot "$root" dpkg-query -W -f '.\n' | wc -l) packages installed"

# Only the wheel and the texts the check reads go in; nothing of the source tree.
stage_check "$root/check" "$wheel"

echo "== check, offline"
# pip cannot fetch anything; the demos still talk over 127.0.0.1.
in_root "$root" --offline /bin/bash /check/run.sh --no-index "dist/$(basename "$wheel")"
echo "$(basename "$wheel"): $(stat -c %s "$wheel") bytes, works in a clean $suite root"
