// Replaying a patch on a tree.
#pragma once

#include <cstdint>
#include <string>

#include "containers/arena.hpp"
#include "src/diff/patch.hpp"
#include "src/node/node.hpp"

namespace vorlik {

// A patch that does not fit its tree; the message is final and needs no position.
struct ApplyError {
  std::string message;
};

// Applies the ops in order, each against the tree as the earlier ones left it. The ops' nodes,
// values, handlers and bindings are moved into the tree, which lives in `arena` (where its text
// was read). A patch that does not fit the tree throws ApplyError; the tree is then partly edited
// and only good for discarding. `seed` shapes the indexes of long child lists, never the result
// (ChildLists).
void apply_patch(Node& root, Patch&& patch, Arena& arena, std::uint64_t seed);

}  // namespace vorlik
