#!/usr/bin/env bash
# Installs what the benchmark alone needs: the peers it compares against and the native floor's
# library. None of it is a runtime dependency of the module.
set -euo pipefail
vpy=${1:-.venv/bin/python}
packages=(libsimdjson-dev valgrind)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi
  echo "installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
"$vpy" -m pip install -q orjson msgspec pysimdjson msgpack ormsgpack jsonpatch
