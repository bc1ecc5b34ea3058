#include "src/diff/apply.hpp"

#include <string>
#include <type_traits>
#include <utility>

#include "src/diff/child_lists.hpp"

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

// Replays ops on one tree, in the tree's arena: edited maps and lists grow there, and what an op
// drops stays there until the call ends. Long child lists that receive child ops switch to a
// positional index on the way; they are turned back into plain lists once the last op has run.
class Applier {
 public:
  Applier(Node& root, Arena& arena, std::uint64_t seed)
      : root_(root), arena_(arena), lists_(arena, seed) {}
  void apply(Op& op);
  void finish() { lists_.settle(root_); }

 private:
  Node& resolve(const Path& path);
  void insert_child(Node& parent, const op::InsertChild& op);
  void remove_child(Node& parent, const op::RemoveChild& op);
  void move_child(Node& parent, const op::MoveChild& op);

  Node& root_;
  Arena& arena_;
  ChildLists lists_;
};

// The node at `path`, about to be edited: it and every node above it no longer stand as read.
Node& Applier::resolve(const Path& path) {
  Node* node = &root_;
  node->forget_written();
  for (const PathSeg& seg : path) {
    Children* children = entry_find(node->slots, seg.slot);
    if (!children) throw ApplyError{"path references an existing slot"};
    if (const std::size_t len = ChildLists::size(*children); seg.index >= len) {
      throw ApplyError{"index out of bounds: the len is " + std::to_string(len) +
                       " but the index is " + std::to_string(seg.index)};
    }
    node = &ChildLists::at(*children, seg.index);
    node->forget_written();
  }
  return *node;
}

void Applier::insert_child(Node& parent, const op::InsertChild& op) {
  auto* it = entry_lower_bound(parent.slots, op.slot);
  if (it == parent.slots.end() || it->first != op.slot)
    it = parent.slots.insert(it, {op.slot, Children{}}, arena_);
  Children& children = it->second;
  const std::size_t len = ChildLists::size(children);
  if (op.index > len) insertion_out_of_range(op.index, len);
  lists_.insert(children, op.index, *op.node);
}

void Applier::remove_child(Node& parent, const op::RemoveChild& op) {
  auto* it = entry_lower_bound(parent.slots, op.slot);
  if (it == parent.slots.end() || it->first != op.slot) return;
  Children& children = it->second;
  const std::size_t len = ChildLists::size(children);
  if (op.index >= len) removal_out_of_range(op.index, len);
  lists_.take(children, op.index);
  if (len == 1) parent.slots.erase(it);
}

void Applier::move_child(Node& parent, const op::MoveChild& op) {
  Children* children = entry_find(parent.slots, op.slot);
  if (!children) return;
  const std::size_t len = ChildLists::size(*children);
  if (op.from >= len) removal_out_of_range(op.from, len);
  // `to` counts positions in the list without the moved child.
  if (op.to > len - 1) insertion_out_of_range(op.to, len - 1);
  lists_.move(*children, op.from, op.to);
}

void Applier::apply(Op& op) {
  std::visit(
      [&](auto& o) {
        using T = std::decay_t<decltype(o)>;
        Node& node = resolve(o.path);
        if constexpr (std::is_same_v<T, op::SetProp>) {
          entry_set(node.props, o.name, o.value, arena_);
        } else if constexpr (std::is_same_v<T, op::RemoveProp>) {
          entry_erase(node.props, o.name);
        } else if constexpr (std::is_same_v<T, op::SetEvent>) {
          entry_set(node.edit_extras(arena_).events, o.name, *o.action, arena_);
        } else if constexpr (std::is_same_v<T, op::RemoveEvent>) {
          if (node.extras) entry_erase(node.extras->events, o.name);
        } else if constexpr (std::is_same_v<T, op::SetBinding>) {
          entry_set(node.edit_extras(arena_).bindings, o.name, *o.binding, arena_);
        } else if constexpr (std::is_same_v<T, op::RemoveBinding>) {
          if (node.extras) entry_erase(node.extras->bindings, o.name);
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
          node = *o.node;
        }
      },
      op);
}

}  // namespace

void apply_patch(Node& root, Patch&& patch, Arena& arena, std::uint64_t seed) {
  Applier applier(root, arena, seed);
  for (Op& op : patch.ops) applier.apply(op);
  applier.finish();
}

}  // namespace vorlik
