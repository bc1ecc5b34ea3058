#include "src/diff/apply.hpp"

#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "containers/map_edits.hpp"
#include "src/diff/child_lists.hpp"

namespace vorlik {

// The edits to one node's long maps, each held apart from its map from the first op that adds
// to it or removes from it until the last op has run.
struct NodeEdits {
  std::optional<MapEdits<ValueEntry>> props;
  std::optional<MapEdits<MapEntry<Children>>> slots;
  std::optional<MapEdits<MapEntry<Action>>> events;
  std::optional<MapEdits<MapEntry<Binding>>> bindings;
};

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
// drops stays there until the call ends. Adding an entry to a sorted map or removing one moves
// every later entry, and shifting a list moves every later child: long maps that ops add to or
// remove from are edited apart (MapEdits), and long child lists that receive child ops switch to
// a positional index (ChildLists), so that each op stays logarithmic whatever the order the
// patch gives. Both are turned back into plain maps and lists once the last op has run.
class Applier {
 public:
  Applier(Node& root, Arena& arena, std::uint64_t seed)
      : root_(root), arena_(arena), lists_(arena, seed) {}
  void apply(Op& op);
  void finish() {
    if (!edits_.empty()) settle_maps();
    lists_.settle(root_);
  }

 private:
  // Below this length moving the later entries costs less than holding the edits apart.
  static constexpr std::size_t kEditApartFrom = 64;

  template <class Entry>
  using EditsOf = std::optional<MapEdits<Entry>> NodeEdits::*;

  Node& resolve(const Path& path);
  template <class Entry>
  MapEdits<Entry>* edits_of(Node& node, ArenaVec<Entry>& map, EditsOf<Entry> which);
  template <class Entry, class T>
  void set_entry(Node& node, ArenaVec<Entry>& map, EditsOf<Entry> which, std::string_view name,
                 const T& value);
  template <class Entry>
  void erase_entry(Node& node, ArenaVec<Entry>& map, EditsOf<Entry> which, std::string_view name);
  Children* find_slot(Node& node, std::string_view name);
  void insert_child(Node& parent, const op::InsertChild& op);
  void remove_child(Node& parent, const op::RemoveChild& op);
  void move_child(Node& parent, const op::MoveChild& op);
  void settle_maps();

  Node& root_;
  Arena& arena_;
  ChildLists lists_;
  // The nodes point at theirs, so each stays where it was made. (Not a deque: its block map's
  // allocation check needs a newer C++ runtime than the rest of the module.)
  std::vector<std::unique_ptr<NodeEdits>> edits_;
};

// The node at `path`, about to be edited: it and every node above it no longer stand as read.
Node& Applier::resolve(const Path& path) {
  Node* node = &root_;
  node->forget_written();
  for (const PathSeg& seg : path) {
    Children* children = find_slot(*node, seg.slot);
    if (!children) throw ApplyError{"path references an existing slot"};
    if (const std::size_t len = ChildLists::size(*children); seg.index >= len) {
      throw ApplyError{"index out of bounds: the len is " + std::to_string(len) +
                       " but the index is " + std::to_string(seg.index)};
    }
    node = &ChildLists::at(*children, static_cast<std::size_t>(seg.index));
    node->forget_written();
  }
  return *node;
}

// The edits held apart for `map`, one of `node`'s, from the first edit of a long map on; null
// while the map is edited in place.
template <class Entry>
MapEdits<Entry>* Applier::edits_of(Node& node, ArenaVec<Entry>& map, EditsOf<Entry> which) {
  NodeEdits* edits = node.extras ? node.extras->edits : nullptr;
  if (edits && edits->*which) return &*(edits->*which);
  if (map.size() < kEditApartFrom) return nullptr;
  if (!edits)
    edits = node.edit_extras(arena_).edits =
        edits_.emplace_back(std::make_unique<NodeEdits>()).get();
  MapEdits<Entry>& held = (edits->*which).emplace(map);
  // The map's entries are the edits' until they are merged back: nothing reads them meanwhile.
  map.clear();
  return &held;
}

template <class Entry, class T>
void Applier::set_entry(Node& node, ArenaVec<Entry>& map, EditsOf<Entry> which,
                        std::string_view name, const T& value) {
  if (MapEdits<Entry>* edits = edits_of(node, map, which))
    edits->set(name, value);
  else
    entry_set(map, name, value, arena_);
}

template <class Entry>
void Applier::erase_entry(Node& node, ArenaVec<Entry>& map, EditsOf<Entry> which,
                          std::string_view name) {
  if (MapEdits<Entry>* edits = edits_of(node, map, which))
    edits->erase(name);
  else
    entry_erase(map, name);
}

Children* Applier::find_slot(Node& node, std::string_view name) {
  if (node.extras && node.extras->edits && node.extras->edits->slots)
    return node.extras->edits->slots->find(name);
  return entry_find(node.slots, name);
}

void Applier::insert_child(Node& parent, const op::InsertChild& op) {
  Children* children = find_slot(parent, op.slot);
  if (!children) {
    set_entry(parent, parent.slots, &NodeEdits::slots, op.slot, Children{});
    children = find_slot(parent, op.slot);
  }
  const std::size_t len = ChildLists::size(*children);
  if (op.index > len) insertion_out_of_range(op.index, len);
  lists_.insert(*children, static_cast<std::size_t>(op.index), *op.node);
}

void Applier::remove_child(Node& parent, const op::RemoveChild& op) {
  Children* children = find_slot(parent, op.slot);
  if (!children) return;
  const std::size_t len = ChildLists::size(*children);
  if (op.index >= len) removal_out_of_range(op.index, len);
  lists_.take(*children, static_cast<std::size_t>(op.index));
  if (len == 1) erase_entry(parent, parent.slots, &NodeEdits::slots, op.slot);
}

void Applier::move_child(Node& parent, const op::MoveChild& op) {
  Children* children = find_slot(parent, op.slot);
  if (!children) return;
  const std::size_t len = ChildLists::size(*children);
  if (op.from >= len) removal_out_of_range(op.from, len);
  // `to` counts positions in the list without the moved child.
  if (op.to > len - 1) insertion_out_of_range(op.to, len - 1);
  lists_.move(*children, static_cast<std::size_t>(op.from), static_cast<std::size_t>(op.to));
}

void Applier::apply(Op& op) {
  std::visit(
      [&](auto& o) {
        using T = std::decay_t<decltype(o)>;
        Node& node = resolve(o.path);
        if constexpr (std::is_same_v<T, op::SetProp>) {
          set_entry(node, node.props, &NodeEdits::props, o.name, o.value);
        } else if constexpr (std::is_same_v<T, op::RemoveProp>) {
          erase_entry(node, node.props, &NodeEdits::props, o.name);
        } else if constexpr (std::is_same_v<T, op::SetEvent>) {
          set_entry(node, node.edit_extras(arena_).events, &NodeEdits::events, o.name, *o.action);
        } else if constexpr (std::is_same_v<T, op::RemoveEvent>) {
          if (node.extras) erase_entry(node, node.extras->events, &NodeEdits::events, o.name);
        } else if constexpr (std::is_same_v<T, op::SetBinding>) {
          set_entry(node, node.edit_extras(arena_).bindings, &NodeEdits::bindings, o.name,
                    *o.binding);
        } else if constexpr (std::is_same_v<T, op::RemoveBinding>) {
          if (node.extras) erase_entry(node, node.extras->bindings, &NodeEdits::bindings, o.name);
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

// Merges the edits held apart back into the maps of every node still in the tree; nodes that
// later ops took out or replaced keep theirs unmerged, to be dropped with the arena.
void Applier::settle_maps() {
  std::vector<Node*> open{&root_};
  while (!open.empty()) {
    Node& node = *open.back();
    open.pop_back();
    if (node.extras && node.extras->edits) {
      NodeEdits& edits = *node.extras->edits;
      if (edits.props) node.props = edits.props->merged(arena_);
      if (edits.slots) node.slots = edits.slots->merged(arena_);
      if (edits.events) node.extras->events = edits.events->merged(arena_);
      if (edits.bindings) node.extras->bindings = edits.bindings->merged(arena_);
      node.extras->edits = nullptr;
    }
    for (auto& [name, children] : node.slots) {
      for (std::size_t i = 0, n = ChildLists::size(children); i < n; ++i) {
        Node& child = ChildLists::at(children, i);
        if (!child.slots.empty() || child.extras) open.push_back(&child);
      }
    }
  }
  edits_.clear();
}

}  // namespace

void apply_patch(Node& root, Patch&& patch, Arena& arena, std::uint64_t seed) {
  Applier applier(root, arena, seed);
  for (Op& op : patch.ops) applier.apply(op);
  applier.finish();
}

}  // namespace vorlik
