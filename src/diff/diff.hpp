// The tree diff: compares an old and a new component tree and produces the patch that turns
// the first into the second.
//
// The ops are written straight into the output through OpWriter, the writer write_op uses,
// rather than collected as Op values first: an op's path, names and payloads are written from
// the trees themselves, so nothing is copied but the output bytes.
#pragma once

#include <string>

#include "jsonio/writer.hpp"
#include "src/node/node.hpp"

namespace vorlik {

// Writes `{"ops":[...]}` for the pair of roots.
void write_diff(json::Writer& writer, const Node& old_root, const Node& new_root);

}  // namespace vorlik
