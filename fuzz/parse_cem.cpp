// parse_cem on any text: schemas that come out are JSON the reader takes back.
#include "fuzz/fuzz_support.hpp"

using namespace vorlik;
using namespace vorlik::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Outcome schemas = parse_cem(as_text(data, size));
  if (!ok(schemas)) return 0;
  check(ok(encode_frame(schemas.data, "m", "snapshot", 0, "application/msgpack")));
  return 0;
}
