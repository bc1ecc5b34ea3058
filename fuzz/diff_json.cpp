// diff_json on two trees. A tree against itself gives the empty patch; the patch replays on the
// old tree, and what it gives equals the new tree (by the diff's own equality, which takes -0.0
// for 0.0 and leaves empty slots aside).
#include "fuzz/fuzz_support.hpp"

using namespace vorlik;
using namespace vorlik::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto [old_text, new_text] = split(as_text(data, size));
  Outcome patch = diff_json(old_text, new_text);
  if (!ok(patch)) return 0;
  Outcome same = diff_json(old_text, old_text);
  check(ok(same) && same.data == "{\"ops\":[]}");
  Outcome replayed = apply_json(old_text, patch.data);
  if (too_deep(replayed)) return 0;
  check(ok(replayed));
  Outcome rest = diff_json(replayed.data, new_text);
  check(ok(rest) && rest.data == "{\"ops\":[]}");
  return 0;
}
