#include "src/children.hpp"

#include <algorithm>
#include <utility>

#include "src/child_index.hpp"
#include "src/node.hpp"

namespace vorlik {

std::size_t Children::size() const {
  return index ? index->size() : list.size();
}

Node& Children::at(std::size_t pos) {
  return index ? index->at(pos) : list[pos];
}

ChildLists::ChildLists(Arena& arena) : arena_(arena) {}
ChildLists::~ChildLists() = default;

bool ChildLists::use_index(Children& children) {
  if (!children.index && children.list.size() >= kIndexFrom) {
    indexes_.push_back(std::make_unique<ChildIndex>(children.list, arena_));
    children.index = indexes_.back().get();
  }
  return children.index != nullptr;
}

void ChildLists::insert(Children& children, std::size_t pos, const Node& node) {
  if (use_index(children))
    children.index->insert(pos, node);
  else
    children.list.insert(children.list.begin() + pos, node, arena_);
}

Node ChildLists::take(Children& children, std::size_t pos) {
  if (use_index(children)) return children.index->take(pos);
  Node* it = children.list.begin() + pos;
  Node node = *it;
  children.list.erase(it);
  return node;
}

void ChildLists::move(Children& children, std::size_t from, std::size_t to) {
  if (use_index(children)) return children.index->move(from, to);
  Node* first = children.list.begin();
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
      if (children.index) {
        children.index->drain_into(children.list);
        children.index = nullptr;
      }
      for (Node& child : children.list)
        if (!child.slots.empty()) open.push_back(&child);
    }
  }
  indexes_.clear();
}

}  // namespace vorlik
