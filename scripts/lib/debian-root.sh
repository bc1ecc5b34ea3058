# Minimal Debian roots made with debootstrap, for the checks that install what was built where
# nothing of this machine is: sourced by those scripts. Needs root.

# The Debian release and the mirror every root is made from (SUITE=..., MIRROR=... choose others).
suite=${SUITE:-bookworm}
mirror=${MIRROR:-http://deb.debian.org/debian}

# require_root WHY: stops the script unless it runs as root.
require_root() {
  if [[ $(id -u) != 0 ]]; then
    echo "needs root ($1)" >&2
    exit 2
  fi
}

# make_root DIR SUITE MIRROR ARCH PACKAGES: bootstraps DIR (minbase and the comma-separated
# PACKAGES) unless it already holds a root, which is then reused as it is.
make_root() {
  local root=$1 suite=$2 mirror=$3 arch=$4 packages=$5
  if [[ -x $root/usr/bin/python3 ]]; then return 0; fi
  if [[ -e $root ]] && [[ -n $(ls -A "$root") ]]; then
    echo "$root exists but holds no bootstrapped root; remove it or choose another folder" >&2
    return 2
  fi
  command -v debootstrap >/dev/null || apt-get install -y -q debootstrap
  mkdir -p "$root"
  debootstrap --variant=minbase --arch="$arch" --include="$packages" "$suite" "$root" "$mirror"
}

# packages_matching DIR REGEX: the packages installed in the root whose names match.
packages_matching() {
  chroot "$1" dpkg-query -W -f '${Package}\n' | grep -E -- "$2" || true
}

# in_root DIR [--offline] COMMAND...: runs COMMAND in the root with a clean environment and /proc
# mounted for it alone (a mount namespace of its own, gone when it ends). With --offline it gets a
# network namespace with only loopback up; otherwise the root is given this machine's resolver and
# trusts the certificate authorities this machine trusts (a proxy on the way may sign for PyPI).
# A build in the root runs CMAKE_BUILD_PARALLEL_LEVEL compiler jobs (2 unless set).
in_root() {
  local root=$1 offline=""
  shift
  if [[ $1 == --offline ]]; then
    offline=--net
    shift
  else
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    if [[ -f /etc/ssl/certs/ca-certificates.crt ]]; then
      mkdir -p "$root/etc/ssl/certs"
      cp /etc/ssl/certs/ca-certificates.crt "$root/etc/ssl/certs/ca-certificates.crt"
    fi
  fi
  OFFLINE=$offline JOBS=${CMAKE_BUILD_PARALLEL_LEVEL:-2} unshare --mount --fork $offline sh -c '
    root=$1
    shift
    if [ -n "$OFFLINE" ]; then ip link set lo up; fi
    mount -t proc proc "$root/proc"
    exec chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 CMAKE_BUILD_PARALLEL_LEVEL="$JOBS" \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"' sh "$root" "$@"
}

# stage_check DIR FILE...: fills DIR (the root's /check) with what scripts/lib/check-installed.sh
# reads, as run.sh, and the FILEs to install in DIR/dist; nothing else of the source tree.
stage_check() {
  local check=$1
  shift
  rm -rf "$check"
  mkdir -p "$check/dist"
  cp "$@" "$check/dist/"
  cp scripts/lib/check-installed.sh "$check/run.sh"
  cp README.md tests/readme_examples.py "$check/"
  cp -r examples "$check/"
  rm -rf "$check/examples/__pycache__"
}
