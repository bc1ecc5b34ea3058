// encode_frame with the JSON codec, then decode_frame: any payload frames; one that decodes
// brings back the frame's parts.
#include "fuzz/frame_round_trip.hpp"

using namespace vorlik;
using namespace vorlik::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FrameCase c = frame_case(data, size);
  Outcome frame = encode_frame(c.payload, c.model_type, c.kind, c.rev, "application/json");
  check(ok(frame));
  Outcome decoded = decode_frame(frame.data);
  if (ok(decoded)) check(has_parts(decoded.data, c));
  return 0;
}
