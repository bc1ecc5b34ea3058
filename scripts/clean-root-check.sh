#!/usr/bin/env bash
# Proves the repaired wheel works on a machine that has Python and nothing of the build: builds
# it (scripts/build-wheel.sh), bootstraps a minimal Debian root with only python3 and
# python3-venv (no compiler, no -dev package, no ICU), and there, with no network at all,
# installs the wheel into a venv and runs the README's Python and shell sessions and the examples
# against what was installed. Needs root, debootstrap (installed when missing), iproute2, and
# the network for the build's tools and Debian's archive. Nothing is mounted into the root.
#
#   sudo bash scripts/clean-root-check.sh
#   CLEAN_ROOT=DIR (default build/clean-root, kept and reused), SUITE=bookworm,
#   MIRROR=http://deb.debian.org/debian, WHEEL=dist/...whl (skips the build)
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ $(id -u) != 0 ]]; then
  echo "needs root (debootstrap, chroot, a network namespace)" >&2
  exit 2
fi
root=$(realpath -m "${CLEAN_ROOT:-build/clean-root}")
suite=${SUITE:-bookworm}
mirror=${MIRROR:-http://deb.debian.org/debian}

if [[ -z ${WHEEL:-} ]]; then
  echo "== build"
  bash scripts/build-wheel.sh
  WHEEL=$(ls dist/vorlik-*manylinux*.whl)
fi
wheel=$(realpath "$WHEEL")

echo "== root $root"
if [[ ! -x $root/usr/bin/python3 ]]; then
  if [[ -e $root ]] && [[ -n $(ls -A "$root") ]]; then
    echo "$root exists but holds no bootstrapped root; remove it or set CLEAN_ROOT" >&2
    exit 2
  fi
  command -v debootstrap >/dev/null || apt-get install -y -q debootstrap
  debootstrap --variant=minbase --include=python3,python3-venv "$suite" "$root" "$mirror"
fi
# The point is what the root lacks: a compiler, headers, ICU.
unwanted=$(chroot "$root" dpkg-query -W -f '${Package}\n' |
  grep -E -- '-dev$|^libicu|^(gcc|g\+\+|cpp|clang)(-[0-9]+)?$' || true)
if [[ -n $unwanted ]] || chroot "$root" sh -c 'command -v cc gcc g++ c++' >/dev/null; then
  echo "the root is not clean: ${unwanted:-a compiler is installed}" >&2
  exit 1
fi
chroot "$root" dpkg-query -W python3 libc6 libstdc++6
echo "$(chroot "$root" dpkg-query -W -f '.\n' | wc -l) packages installed"

# Only the wheel and the texts the check reads go in; nothing of the source tree.
check=$root/check
rm -rf "$check"
mkdir -p "$check/dist"
cp "$wheel" "$check/dist/"
cp README.md tests/readme_examples.py "$check/"
cp -r examples "$check/"
rm -rf "$check/examples/__pycache__"
cat >"$check/run.sh" <<'EOF'
set -euo pipefail
step() {
  printf '\n$ %s\n' "$*"
  "$@"
}
cd /check
step python3 --version
step python3 -m venv .venv
step .venv/bin/pip install --no-index dist/vorlik-*-manylinux_2_*_x86_64.whl
step .venv/bin/pip list
step .venv/bin/python -c '
import vorlik, vorlik_cli, vorlik_stream
for m in (vorlik, vorlik_cli, vorlik_stream):
    assert m.__file__.startswith("/check/.venv/"), m.__file__
    print(m.__name__, m.__file__)
print("vorlik", vorlik.__version__, vorlik.__all__)'
step ls .venv/lib/python3*/site-packages/vorlik-stubs/
export PATH=/check/.venv/bin:$PATH
step command -v vorlik
step python readme_examples.py README.md
step .venv/bin/python examples/socket_demo.py --codec msgpack
step .venv/bin/python examples/socket_demo.py --codec json
step python examples/demo.py
printf '\nclean root: ok\n'
EOF

echo "== check, offline"
# A network namespace of its own, with only loopback up: pip cannot fetch anything, the demos
# still talk over 127.0.0.1.
unshare --net sh -c 'ip link set lo up && exec chroot "$1" /usr/bin/env -i HOME=/root LANG=C.UTF-8 \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin /bin/bash /check/run.sh' sh "$root"
echo "$(basename "$wheel"): $(stat -c %s "$wheel") bytes, works in a clean $suite root"
