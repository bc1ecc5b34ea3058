// The payload codecs a frame header may name.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vorlik::wire {

enum class Codec : std::uint8_t { Json, MsgPack };

// Exact, case-sensitive match of the media type.
inline std::optional<Codec> find_codec(std::string_view name) {
  if (name == "application/json") return Codec::Json;
  if (name == "application/msgpack") return Codec::MsgPack;
  return std::nullopt;
}

}  // namespace vorlik::wire
