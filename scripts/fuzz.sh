#!/usr/bin/env bash
# Builds the fuzz targets with clang under AddressSanitizer and UndefinedBehaviorSanitizer
# (CMakePresets.json: fuzz) and runs each one for the given number of seconds (default 60) on a
# corpus seeded from the tests' and examples' inputs. The corpus grows under build/fuzz/corpus;
# inputs that crash are kept under build/fuzz/findings and fail the run.
#
#   scripts/fuzz.sh [--grow] [seconds] [target...]
#
# --grow: the size-growth run, for the long runs only. Inputs go up to a megabyte from the first
# execution on (the ordinary run stays near the few kilobytes its seeds have), the corpus, under
# build/fuzz/corpus-large, is seeded with megabyte inputs shaped where a cost growing faster than
# the input would show, and an input that takes more than 10 seconds is a finding: a linear path
# reads a megabyte in well under a second even under the sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
grow=0
if [ "${1:-}" = --grow ]; then
  grow=1
  shift
fi
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(diff_json apply_json encode_frame_json encode_frame_msgpack
                                     decode_frame parse_cem tree_reader transcode)
bash scripts/install-deps.sh clang libclang-rt-14-dev
python=.venv/bin/python
[ -x "$python" ] || python=python3
build=build/fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target $(printf 'fuzz_%s ' "${targets[@]}")
corpus="$build/corpus"
options=(-timeout=20)
if [ $grow -eq 1 ]; then
  corpus="$build/corpus-large"
  options=(-timeout=10 -max_len=1048576 -len_control=0)
  "$python" fuzz/make_seeds.py --large "$corpus"
else
  "$python" fuzz/make_seeds.py "$corpus"
fi
mkdir -p "$build/findings"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for t in "${targets[@]}"; do
  echo "== fuzz_$t for ${seconds}s$([ $grow -eq 1 ] && echo ', inputs up to 1 MB')"
  "$build/fuzz/fuzz_$t" -max_total_time="$seconds" "${options[@]}" -rss_limit_mb=3072 \
    -dict=fuzz/vorlik.dict -artifact_prefix="$build/findings/$t-" -print_final_stats=1 \
    "$corpus/$t" 2>"$build/fuzz_$t.log" && found=0 || found=1
  grep -E '^(#[0-9]+.*(DONE|pulse)|stat::number_of_executed_units|stat::peak_rss_mb|==[0-9]+==ERROR|SUMMARY)' \
    "$build/fuzz_$t.log" | tail -n 4
  echo "corpus: $(ls "$corpus/$t" | wc -l) inputs"
  if [ $found -ne 0 ]; then
    status=1
    echo "fuzz_$t found a fault; see $build/fuzz_$t.log"
    tail -n 40 "$build/fuzz_$t.log"
  fi
done
exit $status
