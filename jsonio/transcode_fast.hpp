// The quick way through transcode, for text that reads without fault.
//
// Text already in normal form is not written again: the output is assembled from pieces of the
// input (and of a small buffer for what had to be rewritten), and an object whose members are
// out of order only relinks its members' pieces, whatever they hold, so nothing is copied more
// than once however deep the reordering goes.
#pragma once

#include "jsonio/reader.hpp"
#include "jsonio/writer.hpp"

namespace vorlik::json {

// Appends the normal form of the value at the reader's cursor to `out`, leaves the reader just
// after the value and returns true. Returns false, with `out` and the reader as they were, on
// anything it does not take on itself (every fault among them): the careful reading then
// decides. The reader must not be checking UTF-8.
bool transcode_fast(Reader& reader, Writer& out);

}  // namespace vorlik::json
