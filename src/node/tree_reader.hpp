// Reading a whole tree document on the fast path.
//
// The trees a host sends are nearly always compact, well formed and plain. For them a reader
// that keeps its cursor in a register, places no error and steps over nothing twice builds the
// same tree as the exact reader at a fraction of the cost. What it does not take on itself
// (handlers, bindings, unknown members, escapes, floats, records in array form) it hands to the
// exact reader at that place. On the first fault it gives up, and the caller reads the whole
// text again with the exact reader, which finds the fault and describes it.
#pragma once

#include <optional>
#include <string_view>

#include "containers/arena.hpp"
#include "src/node/node.hpp"

namespace vorlik {

// The tree in `text`, laid out in `arena`, or nullopt where the exact reader must read the text
// again (a fault, or nesting at the limit). Whenever it returns a tree, the exact reader reads an
// equal one from the same text. What it laid out before giving up stays in the arena.
// `keep_written`: the nodes whose text is already in written form keep it (Node::written), for
// a tree that is to be written out again.
std::optional<Node> read_tree_fast(std::string_view text, Arena& arena, bool keep_written);

}  // namespace vorlik
