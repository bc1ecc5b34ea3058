#include "src/diff/child_lists.hpp"

#include <algorithm>
#include <chrono>
#include <utility>

namespace vorlik {

ChildLists::ChildLists(Arena& arena, std::uint64_t seed) : arena_(arena), seed_(seed) {}
ChildLists::~ChildLists() = default;

std::uint64_t ChildLists::unpredictable_seed(const void* where) {
  return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(where)) ^
         static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
}

bool ChildLists::use_index(Children& children) {
  if (!children.index() && children.nodes().size() >= kIndexFrom) {
    // Each index draws its own stream: the golden-ratio step keeps the seeds apart.
    seed_ += 0x9E3779B97F4A7C15ULL;
    indexes_.push_back(std::make_unique<ChildIndex>(children.edit_nodes(), arena_, seed_));
    children.lend(*indexes_.back());
  }
  return children.index() != nullptr;
}

void ChildLists::insert(Children& children, std::size_t pos, const Node& node) {
  if (use_index(children)) {
    children.index()->insert(pos, node);
    return;
  }
  ArenaVec<Node>& list = children.edit_nodes();
  list.insert(list.begin() + pos, node, arena_);
}

Node ChildLists::take(Children& children, std::size_t pos) {
  if (use_index(children)) return children.index()->take(pos);
  ArenaVec<Node>& list = children.edit_nodes();
  Node* it = list.begin() + pos;
  Node node = *it;
  list.erase(it);
  return node;
}

void ChildLists::move(Children& children, std::size_t from, std::size_t to) {
  if (use_index(children)) return children.index()->move(from, to);
  Node* first = children.edit_nodes().begin();
  if (from < to)
    std::rotate(first + from, first + from + 1, first + to + 1);
  else if (to < from)
    std::rotate(first + to, first + from, first + from + 1);
}

void ChildLists::settle(Node& root) {
  if (indexes_.empty()) return;
  std::vector<Node*> open{&root};
  while (!open.empty()) {
    Node* node = open.back();
    open.pop_back();
    for (auto& [name, children] : node->slots) {
      if (children.index()) {
        ChildIndex& index = children.take_back();
        index.drain_into(children.edit_nodes());
      }
      for (Node& child : children.edit_nodes())
        if (!child.slots.empty()) open.push_back(&child);
    }
  }
  indexes_.clear();
}

}  // namespace vorlik
