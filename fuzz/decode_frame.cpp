// decode_frame on any bytes: a frame that decodes gives the result object.
#include "fuzz/fuzz_support.hpp"

using namespace vorlik;
using namespace vorlik::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Outcome decoded = decode_frame(as_text(data, size));
  if (ok(decoded)) check(starts_with(decoded.data, "{\"kind\":\""));
  return 0;
}
