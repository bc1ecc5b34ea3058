// JSON text to MessagePack in one pass, without building a document: the reading rules and
// errors are those of the generic JSON reader, the output that of the value encoder (smallest
// forms, floats as float 64, object members in ascending byte order of their keys, the last of
// repeated keys kept).
#pragma once

#include <string>

#include "jsonio/reader.hpp"

namespace vorlik::wire {

// Reads one JSON value and appends its MessagePack form to `out`. A string, array or object too
// large for its 32-bit length throws
// belvane::WireError.
void pack_json(json::Reader& reader, std::string& out);

}  // namespace vorlik::wire
