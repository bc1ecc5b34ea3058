#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are missing; packages
# named as arguments (a check's own tools) are added to them.
set -euo pipefail
python=${PYTHON:-python3}
packages=(g++ make cmake libdragonbox-dev libfast-float-dev libmsgpack-cxx-dev libgtest-dev "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
# Debian's own interpreter ships venv and the C headers separately.
if ! "$python" -c "import ensurepip, venv" >/dev/null 2>&1; then missing+=(python3-venv); fi
if ! "$python" -c "import os, sysconfig; assert os.path.exists(os.path.join(sysconfig.get_paths()['include'], 'Python.h'))" >/dev/null 2>&1; then
  missing+=(python3-dev)
fi
if ((${#missing[@]})); then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi
  echo "installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
