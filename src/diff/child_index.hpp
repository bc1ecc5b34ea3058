// The children of one long slot while a patch is applied: an implicit treap (a balanced tree
// ordered by position, balanced by random priorities) over boxed nodes. Looking up, inserting,
// removing and moving the child at a position each cost O(log n) instead of shifting every later
// sibling, so a patch of many child ops on one long slot stays n log n. The nodes stay where the
// arena holds them; the index orders pointers to them. The priorities come from a seed the caller
// gives: the shape depends on it, the order of the children never does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "containers/arena.hpp"
#include "containers/arena_vec.hpp"

namespace vorlik {

struct Node;

class ChildIndex {
 public:
  // Indexes the nodes in place, in order, and leaves `nodes` empty; inserted nodes are placed in
  // `arena`.
  ChildIndex(ArenaVec<Node>& nodes, Arena& arena, std::uint64_t seed);
  ~ChildIndex();
  ChildIndex(const ChildIndex&) = delete;
  ChildIndex& operator=(const ChildIndex&) = delete;

  std::size_t size() const { return size_of(root_); }
  Node& at(std::size_t pos);
  void insert(std::size_t pos, const Node& node);
  Node take(std::size_t pos);
  void move(std::size_t from, std::size_t to);
  // Lays the children out in order as `out` and leaves the index empty.
  void drain_into(ArenaVec<Node>& out);

  // The first broken invariant (subtree sizes, priority order, every item reachable once or
  // free), or null. Debug builds check it after every edit; tests call it directly.
  const char* fault() const;

 private:
  using Ref = std::uint32_t;
  static constexpr Ref kNil = UINT32_MAX;

  struct Item {
    Node* node = nullptr;
    Ref left = kNil;
    Ref right = kNil;
    std::uint32_t size = 1;
    std::uint64_t priority = 0;
  };

  std::size_t size_of(Ref t) const { return t == kNil ? 0 : items_[t].size; }
  void update(Ref t);
  Ref new_item(Node* node);
  std::uint64_t next_priority();
  // Splits `t` into its first `k` children (`left`) and the rest (`right`).
  void split(Ref t, std::size_t k, Ref& left, Ref& right);
  Ref merge(Ref left, Ref right);
  Ref detach(std::size_t pos);
  void attach(std::size_t pos, Ref item);
  // Debug builds: stops the process on a broken invariant.
  void check();
  [[noreturn, gnu::cold]] static void lost();

  Arena& arena_;
  std::vector<Item> items_;
  std::vector<Ref> free_;  // items whose node was taken out
  Ref root_ = kNil;
  std::uint64_t state_;                         // the priorities' generator
  [[maybe_unused]] std::size_t unchecked_ = 0;  // edits since the last check (debug builds)
};

}  // namespace vorlik
