# The sampled test runs' choice of tests: sourced by the scripts that offer SAMPLE=1.

# sample_deselect [TEST...]: sets SAMPLE_ARGS to the pytest arguments that leave out the tests of
# scripts/lib/slow-tests.txt and the TESTs given (ids under tests/).
sample_deselect() {
  local list test
  list=$(dirname "${BASH_SOURCE[0]}")/slow-tests.txt
  SAMPLE_ARGS=()
  for test in $(grep -v '^#' "$list") "$@"; do
    SAMPLE_ARGS+=(--deselect "tests/$test")
  done
}
