#include "src/diff/child_index.hpp"

#include <cstdio>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <utility>

#include "src/node/node.hpp"

namespace vorlik {

ChildIndex::ChildIndex(ArenaVec<Node>& nodes, Arena& arena, std::uint64_t seed)
    : arena_(arena), state_(seed) {
  items_.reserve(nodes.size());
  // A Cartesian tree built left to right: the stack holds the right spine; a node leaves it once
  // a later node outranks it, and its subtree is complete then.
  std::vector<Ref> spine;
  for (Node& node : nodes) {
    const Ref t = new_item(&node);
    Ref last = kNil;
    while (!spine.empty() && items_[spine.back()].priority < items_[t].priority) {
      last = spine.back();
      spine.pop_back();
      update(last);
    }
    items_[t].left = last;
    if (!spine.empty()) items_[spine.back()].right = t;
    spine.push_back(t);
  }
  while (!spine.empty()) {
    root_ = spine.back();
    spine.pop_back();
    update(root_);
  }
  nodes.clear();
  check();
}

ChildIndex::~ChildIndex() = default;

std::uint64_t ChildIndex::next_priority() {
  // splitmix64
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

ChildIndex::Ref ChildIndex::new_item(Node* node) {
  Item item;
  item.node = node;
  item.priority = next_priority();
  if (!free_.empty()) {
    const Ref t = free_.back();
    free_.pop_back();
    items_[t] = item;
    return t;
  }
  items_.push_back(item);
  return static_cast<Ref>(items_.size() - 1);
}

void ChildIndex::update(Ref t) {
  Item& item = items_[t];
  item.size = static_cast<std::uint32_t>(1 + size_of(item.left) + size_of(item.right));
}

// The recursion of split and merge follows the tree's depth, which the random priorities keep
// logarithmic whatever order the ops come in.
void ChildIndex::split(Ref t, std::size_t k, Ref& left, Ref& right) {
  if (t == kNil) {
    left = right = kNil;
    return;
  }
  const std::size_t before = size_of(items_[t].left);
  if (k <= before) {
    split(items_[t].left, k, left, items_[t].left);
    right = t;
  } else {
    split(items_[t].right, k - before - 1, items_[t].right, right);
    left = t;
  }
  update(t);
}

ChildIndex::Ref ChildIndex::merge(Ref left, Ref right) {
  if (left == kNil) return right;
  if (right == kNil) return left;
  if (items_[left].priority > items_[right].priority) {
    items_[left].right = merge(items_[left].right, right);
    update(left);
    return left;
  }
  items_[right].left = merge(left, items_[right].left);
  update(right);
  return right;
}

Node& ChildIndex::at(std::size_t pos) {
  Ref t = root_;
  for (;;) {
    // Callers look up positions below size(): running off the tree means the index is broken,
    // which must not become a read outside it.
    if (t == kNil) [[unlikely]]
      lost();
    const std::size_t before = size_of(items_[t].left);
    if (pos < before) {
      t = items_[t].left;
    } else if (pos == before) {
      return *items_[t].node;
    } else {
      pos -= before + 1;
      t = items_[t].right;
    }
  }
}

void ChildIndex::lost() {
  throw std::logic_error("a position lookup ran off the child index");
}

ChildIndex::Ref ChildIndex::detach(std::size_t pos) {
  Ref left, middle, right;
  split(root_, pos, left, right);
  split(right, 1, middle, right);
  root_ = merge(left, right);
  return middle;
}

void ChildIndex::attach(std::size_t pos, Ref item) {
  Ref left, right;
  split(root_, pos, left, right);
  root_ = merge(merge(left, item), right);
}

void ChildIndex::insert(std::size_t pos, const Node& node) {
  void* place = arena_.allocate(sizeof(Node), alignof(Node));
  attach(pos, new_item(::new (place) Node(node)));
  check();
}

Node ChildIndex::take(std::size_t pos) {
  const Ref t = detach(pos);
  Node node = *items_[t].node;
  items_[t] = Item{};
  free_.push_back(t);
  check();
  return node;
}

void ChildIndex::move(std::size_t from, std::size_t to) {
  attach(to, detach(from));
  check();
}

void ChildIndex::drain_into(ArenaVec<Node>& out) {
  const std::size_t n = size();
  Node* nodes = n ? static_cast<Node*>(arena_.allocate(n * sizeof(Node), alignof(Node))) : nullptr;
  std::size_t filled = 0;
  std::vector<Ref> path;
  for (Ref t = root_; t != kNil || !path.empty();) {
    if (t != kNil) {
      path.push_back(t);
      t = items_[t].left;
      continue;
    }
    t = path.back();
    path.pop_back();
    ::new (nodes + filled++) Node(*items_[t].node);
    t = items_[t].right;
  }
  out = ArenaVec<Node>(nodes, n);
  items_.clear();
  free_.clear();
  root_ = kNil;
}

const char* ChildIndex::fault() const {
  std::vector<bool> seen(items_.size(), false);
  std::size_t reached = 0;
  // Every item below the root, each with its parent's priority.
  std::vector<std::pair<Ref, std::uint64_t>> open;
  if (root_ != kNil) {
    if (root_ >= items_.size()) return "the root lies outside the items";
    open.emplace_back(root_, UINT64_MAX);
  }
  while (!open.empty()) {
    const auto [t, above] = open.back();
    open.pop_back();
    if (seen[t]) return "an item is reached twice";
    seen[t] = true;
    ++reached;
    const Item& item = items_[t];
    for (const Ref link : {item.left, item.right})
      if (link != kNil && link >= items_.size()) return "a link leads outside the items";
    if (!item.node) return "an item in the tree holds no node";
    if (item.priority > above) return "an item outranks its parent";
    if (item.size != 1 + size_of(item.left) + size_of(item.right))
      return "a subtree's size is not the sum of its parts";
    if (item.left != kNil) open.emplace_back(item.left, item.priority);
    if (item.right != kNil) open.emplace_back(item.right, item.priority);
  }
  for (const Ref t : free_) {
    if (t >= items_.size() || seen[t]) return "a free item is in the tree or outside the items";
    seen[t] = true;
  }
  if (reached + free_.size() != items_.size()) return "an item is neither in the tree nor free";
  return nullptr;
}

void ChildIndex::check() {
#ifndef NDEBUG
  // A full walk costs O(n): after every edit while the list is short, then after about every
  // n/256th, so that a long patch stays near n log n in a debug build too.
  if (++unchecked_ * 256 < size()) return;
  unchecked_ = 0;
  if (const char* what = fault()) {
    std::fprintf(stderr, "ChildIndex: %s\n", what);
    std::abort();
  }
#endif
}

}  // namespace vorlik
