// The edits a patch makes to child lists. Short lists are edited in place; a long list that
// receives child ops is lent to a positional index (child_index.hpp) for the rest of the patch,
// so that each insert, removal or move stays logarithmic, and is given back as a plain list by
// settle() before the tree is read or written again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "containers/arena.hpp"
#include "src/diff/child_index.hpp"
#include "src/node/children.hpp"
#include "src/node/node.hpp"

namespace vorlik {

class ChildLists {
 public:
  // `seed` chooses the indexes' shapes (never the children's order): pass unpredictable_seed()
  // where a peer writes the patch, a fixed one to reproduce a run.
  ChildLists(Arena& arena, std::uint64_t seed);
  ~ChildLists();
  ChildLists(const ChildLists&) = delete;
  ChildLists& operator=(const ChildLists&) = delete;

  // A seed no patch can choose: from where the call's data lies and from the clock.
  static std::uint64_t unpredictable_seed(const void* where);

  static std::size_t size(const Children& children) {
    return children.index() ? children.index()->size() : children.nodes().size();
  }
  static Node& at(Children& children, std::size_t pos) {
    return children.index() ? children.index()->at(pos) : children.edit_nodes()[pos];
  }
  void insert(Children& children, std::size_t pos, const Node& node);
  Node take(Children& children, std::size_t pos);
  void move(Children& children, std::size_t from, std::size_t to);
  // Gives every lent list below `root` back as a plain list; the indexes end here.
  void settle(Node& root);

  // Below this length shifting the siblings costs less than keeping an index.
  static constexpr std::size_t kIndexFrom = 64;

 private:
  bool use_index(Children& children);

  Arena& arena_;
  std::uint64_t seed_;
  std::vector<std::unique_ptr<ChildIndex>> indexes_;
};

}  // namespace vorlik
