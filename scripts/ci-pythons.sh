#!/usr/bin/env bash
# The one abi3 wheel under every CPython it serves that this machine has: for each version, a
# fresh venv with the wheel and its test tools (.[test] from PyPI), then the whole pytest suite
# and the conformance vectors against what was installed. Two versions run at a time, each with
# its own log, shown when it ends.
#
#   bash scripts/ci-pythons.sh [VERSION...]     (default 3.10 3.11 3.12 3.13; WHEEL=dist/...whl)
#   SAMPLE=1 bash scripts/ci-pythons.sh         CI's form: the suite without its slowest tests
#       (scripts/lib/slow-tests.txt), which `make test` runs in full against the same abi3 build
# An interpreter is looked up in pyenv's versions, then as pythonX.Y on PATH; a version not found
# fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/slow-tests.sh
SAMPLE_ARGS=()
if [[ ${SAMPLE:-0} == 1 ]]; then sample_deselect; fi
versions=("$@")
((${#versions[@]})) || versions=(3.10 3.11 3.12 3.13)
wheel=$(realpath "${WHEEL:-$(ls dist/vorlik-*-abi3-manylinux*_"$(uname -m)".whl)}")
work=$PWD/build/pythons
rm -rf "$work"
mkdir -p "$work"

interpreter() {
  local found="" pyenv_root=${PYENV_ROOT:-$HOME/.pyenv}
  if command -v pyenv >/dev/null; then pyenv_root=$(pyenv root); fi
  found=$(ls -d "$pyenv_root/versions/$1".*/bin/python"$1" 2>/dev/null | sort -V | tail -n1 || true)
  # pyenv's shims answer to every name but run only the versions made active.
  if [[ -z $found ]] && command -v "python$1" >/dev/null && "python$1" -c '' 2>/dev/null; then
    found=$(command -v "python$1")
  fi
  [[ -n $found ]] || { echo "no CPython $1 found (pyenv, PATH)" >&2; return 1; }
  echo "$found"
}

check() {
  local version=$1 python venv started
  started=$SECONDS
  python=$(interpreter "$version")
  venv=$work/$version
  "$python" -m venv "$venv"
  "$venv/bin/python" -m pip install -q "$wheel[test]"
  # The module under test is the installed one, not anything of the checkout.
  "$venv/bin/python" -c 'import sys, vorlik; print(sys.version.split()[0], vorlik.__file__)
assert vorlik.__file__.startswith(sys.prefix), vorlik.__file__'
  "$venv/bin/pytest" -q -p no:cacheprovider tests "${SAMPLE_ARGS[@]}"
  PYTHON=$venv/bin/python bash scripts/ci-conformance.sh
  echo "CPython $version: passed in $((SECONDS - started)) s"
}

# Two at a time: the machine has two cores.
failed=()
for ((i = 0; i < ${#versions[@]}; i += 2)); do
  pair=("${versions[@]:i:2}")
  pids=()
  for version in "${pair[@]}"; do
    check "$version" >"$work/$version.log" 2>&1 &
    pids+=($!)
  done
  for j in "${!pair[@]}"; do
    wait "${pids[j]}" || failed+=("${pair[j]}")
    echo "== CPython ${pair[j]} ($(basename "$wheel"))"
    grep -v '^WARNING: Location' "$work/${pair[j]}.log" | tail -n 15
  done
done
if ((${#failed[@]})); then
  echo "failed under CPython ${failed[*]}" >&2
  exit 1
fi
echo "pythons: the wheel passes under CPython ${versions[*]}"
