#include "src/node/node.hpp"

#include <array>
#include <new>
#include <span>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "containers/ordered.hpp"
#include "jsonio/record.hpp"
#include "jsonio/variant.hpp"

namespace vorlik {

namespace {

// read_entry is T(Reader&), or bool(Reader&, T&) for a reader that may give up (Reader::held);
// false when it did.
template <class Entry, class ReadEntry>
bool read_entries(json::Reader& r, ArenaVec<Entry>& out, ReadEntry&& read_entry) {
  Staging<Entry> entries;
  const bool read = r.read_map([&](std::string_view key) {
    r.colon();
    if constexpr (std::is_invocable_v<ReadEntry&, json::Reader&>) {
      entries.push(Entry{key, read_entry(r)});
      return true;
    } else {
      Entry& e = entries.emplace();
      e.first = key;
      return read_entry(r, e.second);
    }
  });
  if (!read) return false;
  out = lay_out_map(entries, r.arena());
  return true;
}

bool read_node_held(json::Reader& r, Node& n);

bool read_children(json::Reader& r, Children& out) {
  Staging<Node> nodes;
  if (!r.read_seq([&] { return read_node_held(r, nodes.emplace()); })) return false;
  out = Children({Staging<Node>::lay_out(nodes.items(), r.arena()), nodes.size()});
  return true;
}

bool read_value_entry(json::Reader& r, Value& v) {
  return read_value(r, v);
}

constexpr std::string_view kModeNames[] = {"one-way", "two-way"};

BindMode read_bind_mode(json::Reader& r) {
  return static_cast<BindMode>(json::read_unit_variant(r, kModeNames));
}

}  // namespace

void Children::read_while_lent() {
  throw std::logic_error("a child list read while a patch's index holds it");
}

void Node::too_long() {
  throw std::bad_alloc();
}

NodeExtras& Node::edit_extras(Arena& arena) {
  if (!extras)
    extras = ::new (arena.allocate(sizeof(NodeExtras), alignof(NodeExtras))) NodeExtras();
  return *extras;
}

namespace {

// Nodes nest through their slots, values through their props: each node is one level that gives
// up on a fault deep inside (Reader::held), so that only the innermost level's frames unwind.
bool read_field_held(json::Reader& r, Node& n, NodeField field) {
  switch (field) {
    case NodeField::Tag:
      n.set_tag(r.read_str());
      break;
    case NodeField::Key:
      n.key = r.read_optional_str();
      break;
    case NodeField::Props:
      return read_entries<ValueEntry>(r, n.props, read_value_entry);
    case NodeField::Slots:
      return read_entries<MapEntry<Children>>(r, n.slots, read_children);
    case NodeField::Events: {
      ArenaVec<MapEntry<Action>> events;
      read_entries<MapEntry<Action>>(r, events, read_action);
      if (!events.empty()) n.edit_extras(r.arena()).events = events;
      break;
    }
    case NodeField::Bindings: {
      ArenaVec<MapEntry<Binding>> bindings;
      read_entries<MapEntry<Binding>>(r, bindings, read_binding);
      if (!bindings.empty()) n.edit_extras(r.arena()).bindings = bindings;
      break;
    }
  }
  return true;
}

bool read_node_held(json::Reader& r, Node& n) {
  return r.held([&] {
    return json::read_fields(r, "struct Node", kNodeFields, [&](std::size_t field) {
      return read_field_held(r, n, static_cast<NodeField>(field));
    });
  });
}

}  // namespace

void read_node_field(json::Reader& r, Node& n, NodeField field) {
  if (!read_field_held(r, n, field)) r.raise_held();
}

Node read_node(json::Reader& r) {
  Node n;
  if (!read_node_held(r, n)) r.raise_held();
  return n;
}

Binding read_binding(json::Reader& r) {
  static constexpr json::FieldSpec kFields[] = {
      json::optional_field("field"),
      json::optional_field("compute"),
      {"mode"},
  };
  Binding b;
  json::read_fields(r, "struct Binding", kFields, [&](std::size_t field) {
    switch (field) {
      case 0:
        b.field = r.read_optional_str();
        break;
      case 1:
        if (r.take_null())
          b.compute.reset();
        else
          b.compute = json::read_json(r);
        break;
      case 2:
        b.mode = read_bind_mode(r);
        break;
    }
  });
  return b;
}

void write_binding(json::Writer& w, const Binding& b) {
  w.raw('{');
  if (b.field) {
    w.raw("\"field\":");
    w.string(*b.field);
    w.raw(',');
  }
  if (b.compute) {
    w.raw("\"compute\":");
    json::write_json(w, *b.compute);
    w.raw(',');
  }
  w.raw(b.mode == BindMode::OneWay ? "\"mode\":\"one-way\"}" : "\"mode\":\"two-way\"}");
}

namespace {

// `head` is the member's opening, `,"name":{`.
template <class Map, class WriteEntry>
void write_map(json::Writer& w, std::string_view head, const Map& map, WriteEntry&& write_entry) {
  if (map.empty()) return;
  w.raw(head);
  for (std::size_t k = 0; k < map.size(); ++k) {
    if (k) w.raw(',');
    w.key(map[k].first);
    write_entry(map[k].second);
  }
  w.raw('}');
}

// Everything before the slots; returns whether the node has slots to write.
bool write_node_head(json::Writer& w, const Node& n) {
  w.raw("{\"tag\":");
  w.string(n.tag());
  if (n.key) {
    w.raw(",\"key\":");
    w.string(*n.key);
  }
  write_map(w, ",\"props\":{", n.props, [&](const Value& v) { write_value(w, v); });
  if (n.slots.empty()) return false;
  w.raw(",\"slots\":{");
  return true;
}

// Everything after the slots.
void write_node_tail(json::Writer& w, const Node& n) {
  if (n.extras) {
    write_map(w, ",\"events\":{", n.extras->events, [&](const Action& a) { write_action(w, a); });
    write_map(w, ",\"bindings\":{", n.extras->bindings,
              [&](const Binding& b) { write_binding(w, b); });
  }
  w.raw('}');
}

}  // namespace

void write_node(json::Writer& w, const Node& root) {
  if (const std::string_view text = root.written(); !text.empty()) {
    w.raw(text);
    return;
  }
  // One frame per node whose slots are being written: the slot and the child to write next.
  struct Frame {
    const Node* node;
    std::size_t slot;
    std::size_t child;
  };
  std::vector<Frame> open;
  if (write_node_head(w, root))
    open.push_back({&root, 0, 0});
  else
    write_node_tail(w, root);
  while (!open.empty()) {
    Frame& f = open.back();
    const auto& slots = f.node->slots;
    if (f.slot == slots.size()) {
      w.raw('}');
      write_node_tail(w, *f.node);
      open.pop_back();
      continue;
    }
    const auto& [name, children] = slots[f.slot];
    const ArenaVec<Node>& list = children.nodes();
    if (f.child == 0) {
      if (f.slot) w.raw(',');
      w.key(name);
      w.raw('[');
    }
    if (f.child == list.size()) {
      w.raw(']');
      ++f.slot;
      f.child = 0;
      continue;
    }
    const Node& child = list[f.child];
    if (f.child++) w.raw(',');
    if (const std::string_view text = child.written(); !text.empty())
      w.raw(text);
    else if (write_node_head(w, child))
      open.push_back({&child, 0, 0});  // `f` is not used after this
    else
      write_node_tail(w, child);
  }
}

}  // namespace vorlik
