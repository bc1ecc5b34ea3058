// encode_frame with the MessagePack codec, then decode_frame: a payload that encodes decodes
// back, to the same text as through the JSON codec.
#include "fuzz/frame_round_trip.hpp"

using namespace vorlik;
using namespace vorlik::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FrameCase c = frame_case(data, size);
  Outcome frame = encode_frame(c.payload, c.model_type, c.kind, c.rev, "application/msgpack");
  if (!ok(frame) || !is_text(c.model_type) || !is_text(c.payload)) return 0;
  Outcome decoded = decode_frame(frame.data);
  check(ok(decoded) && has_parts(decoded.data, c));
  Outcome as_json = encode_frame(c.payload, c.model_type, c.kind, c.rev, "application/json");
  Outcome decoded_json = decode_frame(as_json.data);
  check(ok(decoded_json) && decoded_json.data == decoded.data);
  return 0;
}
