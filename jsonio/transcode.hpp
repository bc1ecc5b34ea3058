// Reading a generic JSON value and writing it again in normal form, in one pass and without
// building a tree: objects come out with their members in ascending byte order of the keys and
// only the last of repeated keys, numbers and strings in the writer's form.
#pragma once

#include "jsonio/reader.hpp"
#include "jsonio/writer.hpp"

namespace vorlik::json {

// Same reading rules and errors as read_json (Generic shape) followed by write_json.
void transcode(Reader& reader, Writer& writer);

// The careful way alone, which transcode() takes wherever its quick way gives up: the exact
// reader walks the value. For tests that hold the two ways to each other.
void transcode_careful(Reader& reader, Writer& writer);

}  // namespace vorlik::json
