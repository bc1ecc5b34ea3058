// MessagePack payloads to JSON text in one pass, without building a document.
#pragma once

#include <cstddef>
#include <string_view>

#include "containers/arena.hpp"
#include "jsonio/writer.hpp"

namespace vorlik::wire {

// Writes the first MessagePack value of `bytes` (anything after it is ignored) to `out` as
// compact JSON: maps' members in ascending byte order of their keys, the last of repeated keys
// kept; floats that are not finite as null. Refuses bin, ext, non-string map keys, strings that
// are not UTF-8 and nesting of 1024 levels, throwing belvane::WireError. Returns the deepest
// nesting of arrays and maps met. `arena` holds what putting the maps in order takes.
std::size_t msgpack_to_json(std::string_view bytes, json::Writer& out, Arena& arena);

}  // namespace vorlik::wire
