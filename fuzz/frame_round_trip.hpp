// The frame targets: the input's first part is the model type, the rest the payload; its length
// picks kind and revision. A frame that encodes decodes back to its parts.
#pragma once

#include <string>

#include "fuzz/fuzz_support.hpp"
#include "jsonio/writer.hpp"

namespace vorlik::fuzz {

struct FrameCase {
  std::string_view model_type;
  std::string_view payload;
  std::string_view kind;
  std::uint64_t rev;
};

inline FrameCase frame_case(const std::uint8_t* data, std::size_t size) {
  auto [model_type, payload] = split(as_text(data, size));
  return {model_type, payload, size % 2 ? "patch" : "snapshot", size * 0x9E3779B97F4A7C15ULL};
}

// decode_frame's text around the payload: the kind and model type before it, the rev after it.
inline bool has_parts(const std::string& decoded, const FrameCase& c) {
  json::Writer head;
  head.raw("{\"kind\":\"");
  head.raw(c.kind);
  head.raw("\",\"model_type\":");
  head.string(c.model_type);
  head.raw(",\"payload\":");
  const std::string tail = ",\"rev\":" + std::to_string(c.rev) + "}";
  return decoded.size() >= head.view().size() + tail.size() && starts_with(decoded, head.view()) &&
         decoded.compare(decoded.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace vorlik::fuzz
