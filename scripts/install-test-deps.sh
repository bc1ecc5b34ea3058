#!/usr/bin/env bash
# Installs ICU's runtime library, when it is missing, so the generated Unicode tables can be
# checked against it. The build itself never needs ICU.
set -euo pipefail
if ldconfig -p | grep -q 'libicuuc\.so\.[0-9]'; then exit 0; fi
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi
$sudo apt-get update -qq
package=$(apt-cache search --names-only '^libicu[0-9]+$' | awk '{print $1}' | sort -V | tail -n1)
if [ -z "$package" ]; then
  echo "no ICU runtime package found; the Unicode table check will be skipped"
  exit 0
fi
echo "installing: $package"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$package" >/dev/null
