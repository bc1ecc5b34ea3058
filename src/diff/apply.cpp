#include "src/diff/apply.hpp"

#include <algorithm>
#include <string>
#include <type_traits>
#include <utility>

namespace vorlik {

namespace {

[[noreturn]] void removal_out_of_range(std::uint64_t index, std::size_t len) {
  throw ApplyError{"removal index (is " + std::to_string(index) + ") should be < len (is " +
                   std::to_string(len) + ")"};
}

[[noreturn]] void insertion_out_of_range(std::uint64_t index, std::size_t len) {
  throw ApplyError{"insertion index (is " + std::to_string(index) + ") should be <= len (is " +
                   std::to_string(len) + ")"};
}

Node& resolve(Node& root, const Path& path) {
  Node* node = &root;
  for (const PathSeg& seg : path) {
    Children* children = map_find(node->slots, seg.slot);
    if (!children) throw ApplyError{"path references an existing slot"};
    if (seg.index >= children->size()) {
      throw ApplyError{"index out of bounds: the len is " + std::to_string(children->size()) +
                       " but the index is " + std::to_string(seg.index)};
    }
    node = &children->at(seg.index);
  }
  return *node;
}

// Replays ops on one tree. Long child lists that receive child ops switch to a positional index
// on the way; they are turned back into plain lists once the last op has run.
class Applier {
 public:
  explicit Applier(Node& root) : root_(root) {}
  void apply(Op& op);
  void finish();

 private:
  void insert_child(Node& parent, op::InsertChild& op);
  void remove_child(Node& parent, const op::RemoveChild& op);
  void move_child(Node& parent, const op::MoveChild& op);
  void note(const Children& children) { indexed_ = indexed_ || children.indexed(); }

  Node& root_;
  bool indexed_ = false;
};

void Applier::insert_child(Node& parent, op::InsertChild& op) {
  auto it = map_lower_bound(parent.slots, op.slot);
  if (it == parent.slots.end() || it->first != op.slot)
    it = parent.slots.emplace(it, op.slot, Children{});
  Children& children = it->second;
  if (op.index > children.size()) insertion_out_of_range(op.index, children.size());
  children.insert(op.index, std::move(*op.node));
  note(children);
}

void Applier::remove_child(Node& parent, const op::RemoveChild& op) {
  auto it = map_lower_bound(parent.slots, op.slot);
  if (it == parent.slots.end() || it->first != op.slot) return;
  Children& children = it->second;
  if (op.index >= children.size()) removal_out_of_range(op.index, children.size());
  Node removed = children.take(op.index);
  dismantle(removed);
  note(children);
  if (children.size() == 0) parent.slots.erase(it);
}

void Applier::move_child(Node& parent, const op::MoveChild& op) {
  Children* children = map_find(parent.slots, op.slot);
  if (!children) return;
  const std::size_t len = children->size();
  if (op.from >= len) removal_out_of_range(op.from, len);
  // `to` counts positions in the list without the moved child.
  if (op.to > len - 1) insertion_out_of_range(op.to, len - 1);
  children->move(op.from, op.to);
  note(*children);
}

void Applier::finish() {
  if (!indexed_) return;
  std::vector<Node*> open{&root_};
  while (!open.empty()) {
    Node* node = open.back();
    open.pop_back();
    for (auto& [name, children] : node->slots) {
      children.settle();
      for (Node& child : children.list)
        if (!child.slots.empty()) open.push_back(&child);
    }
  }
}

void Applier::apply(Op& op) {
  std::visit(
      [&](auto& o) {
        using T = std::decay_t<decltype(o)>;
        Node& node = resolve(root_, o.path);
        if constexpr (std::is_same_v<T, op::SetProp>) {
          map_set(node.props, o.name, std::move(o.value));
        } else if constexpr (std::is_same_v<T, op::RemoveProp>) {
          map_erase(node.props, o.name);
        } else if constexpr (std::is_same_v<T, op::SetEvent>) {
          map_set(node.events, o.name, std::move(*o.action));
        } else if constexpr (std::is_same_v<T, op::RemoveEvent>) {
          map_erase(node.events, o.name);
        } else if constexpr (std::is_same_v<T, op::SetBinding>) {
          map_set(node.bindings, o.name, std::move(*o.binding));
        } else if constexpr (std::is_same_v<T, op::RemoveBinding>) {
          map_erase(node.bindings, o.name);
        } else if constexpr (std::is_same_v<T, op::SetKey>) {
          node.key = o.key;
        } else if constexpr (std::is_same_v<T, op::InsertChild>) {
          insert_child(node, o);
        } else if constexpr (std::is_same_v<T, op::RemoveChild>) {
          remove_child(node, o);
        } else if constexpr (std::is_same_v<T, op::MoveChild>) {
          move_child(node, o);
        } else {
          static_assert(std::is_same_v<T, op::Replace>);
          dismantle(node);
          node = std::move(*o.node);
        }
      },
      op);
}

}  // namespace

void apply_patch(Node& root, Patch&& patch) {
  Applier applier(root);
  for (Op& op : patch.ops) applier.apply(op);
  applier.finish();
}

EditedTree::~EditedTree() {
  dismantle(root);
}

}  // namespace vorlik
