// The child list of one slot: a plain array of nodes in the call's arena, read, compared and
// written as such. While a patch is applied, a long list that receives child ops is lent to a
// positional index (apply's, src/diff/child_lists.hpp), which holds the children until it gives
// them back before the tree is written. Reading the list while it is lent is a fault of the
// caller, and fails loudly rather than showing an empty list.
#pragma once

#include <cstddef>

#include "containers/arena_vec.hpp"

namespace vorlik {

struct Node;
class ChildIndex;

class Children {
 public:
  Children() = default;
  explicit Children(ArenaVec<Node> nodes) : nodes_(nodes) {}

  // The children in order.
  const ArenaVec<Node>& nodes() const {
    require_plain();
    return nodes_;
  }
  ArenaVec<Node>& edit_nodes() {
    require_plain();
    return nodes_;
  }

  // The index that holds the children, or null while they are a plain list.
  ChildIndex* index() const { return index_; }
  // Lends the list to `index`, which has taken the nodes: the list reads as lent from now on.
  void lend(ChildIndex& index) {
    nodes_.clear();
    index_ = &index;
  }
  // Ends the loan: the plain list may be read and edited again.
  ChildIndex& take_back() {
    ChildIndex& index = *index_;
    index_ = nullptr;
    return index;
  }

 private:
  void require_plain() const {
    if (index_) [[unlikely]]
      read_while_lent();
  }
  [[noreturn, gnu::cold]] static void read_while_lent();

  ArenaVec<Node> nodes_;
  ChildIndex* index_ = nullptr;
};

}  // namespace vorlik
