// Replaying a patch on a tree.
#pragma once

#include <string>

#include "src/diff/patch.hpp"
#include "src/node.hpp"

namespace vorlik {

// A patch that does not fit its tree; the message is final and needs no position.
struct ApplyError {
  std::string message;
};

// A tree that patches edit. Patches can nest nodes deeper than any reader accepts, so the tree is
// freed without recursion.
struct EditedTree {
  Node root;
  ~EditedTree();
};

// Applies the ops in order, each against the tree as the earlier ones left it. The ops' nodes,
// values, handlers and bindings are moved into the tree. A patch that does not fit the tree
// throws ApplyError; the tree is then partly edited and only good for discarding.
void apply_patch(Node& root, Patch&& patch);

}  // namespace vorlik
