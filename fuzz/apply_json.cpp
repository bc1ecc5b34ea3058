// apply_json on a tree and a patch. A result within the reader's limits is in normal form: it
// replays the empty patch to itself and diffs against itself to the empty patch.
#include "fuzz/fuzz_support.hpp"

using namespace vorlik;
using namespace vorlik::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto [root, patch] = split(as_text(data, size));
  Outcome result = apply_json(root, patch);
  if (!ok(result)) return 0;
  Outcome again = apply_json(result.data, "{\"ops\":[]}");
  if (too_deep(again)) return 0;
  check(ok(again) && again.data == result.data);
  Outcome same = diff_json(result.data, result.data);
  check(ok(same) && same.data == "{\"ops\":[]}");
  return 0;
}
