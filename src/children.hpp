// The child list of one slot. Outside patch application it is a plain array of nodes in the
// call's arena, read, compared and written as such. While a patch is applied, a long list that
// receives child ops switches to a positional index, so that each insert, removal or move stays
// logarithmic; ChildLists, which edits the lists and owns their indexes, turns them back into
// arrays before the tree is written.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "containers/arena.hpp"
#include "containers/arena_vec.hpp"

namespace vorlik {

struct Node;
class ChildIndex;

struct Children {
  // The children in order, whenever the list is not indexed.
  ArenaVec<Node> list;
  // Not owned: ChildLists owns the index while the patch is applied.
  ChildIndex* index = nullptr;

  std::size_t size() const;
  Node& at(std::size_t pos);
};

// The edits a patch makes to child lists.
class ChildLists {
 public:
  explicit ChildLists(Arena& arena);
  ~ChildLists();
  ChildLists(const ChildLists&) = delete;
  ChildLists& operator=(const ChildLists&) = delete;

  void insert(Children& children, std::size_t pos, const Node& node);
  Node take(Children& children, std::size_t pos);
  void move(Children& children, std::size_t from, std::size_t to);
  // Turns every indexed list below `root` back into an array; the indexes end here.
  void settle(Node& root);

 private:
  // Below this length shifting the siblings costs less than keeping an index.
  static constexpr std::size_t kIndexFrom = 64;
  bool use_index(Children& children);

  Arena& arena_;
  std::vector<std::unique_ptr<ChildIndex>> indexes_;
};

}  // namespace vorlik
