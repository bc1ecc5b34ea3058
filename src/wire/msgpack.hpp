// Frame payload codecs: the payload is a generic JSON value carried as JSON text or as one
// MessagePack value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "jsonio/value.hpp"

namespace vorlik::wire {

enum class Codec : std::uint8_t { Json, MsgPack };

// Exact, case-sensitive match of the media type.
std::optional<Codec> find_codec(std::string_view name);

struct Decoded {
  json::Json value;   // strings view the decoded bytes
  std::size_t depth;  // deepest nesting of arrays and maps met
};

// Decodes the first MessagePack value of `bytes` (anything after it is ignored). Refuses bin,
// ext, non-string map keys, strings that are not UTF-8 and nesting of 1024 levels; a failure
// throws Failure with the decoder's message.
Decoded from_msgpack(std::string_view bytes);

}  // namespace vorlik::wire
