#include "src/node.hpp"

#include <array>
#include <new>
#include <string>

#include "jsonio/record.hpp"
#include "jsonio/variant.hpp"

namespace vorlik {

namespace {

template <class T, class ReadEntry>
void read_entries(json::Reader& r, FlatMap<T>& map, ReadEntry&& read_entry) {
  map.clear();
  r.read_map([&](std::string_view key) {
    r.colon();
    map.emplace_back(key, read_entry(r));
  });
  settle_map(map);
}

Children read_children(json::Reader& r) {
  Children children;
  r.read_seq([&] { children.list.push_back(read_node(r)); });
  return children;
}

constexpr std::string_view kModeNames[] = {"one-way", "two-way"};

BindMode read_bind_mode(json::Reader& r) {
  return static_cast<BindMode>(json::read_unit_variant(r, kModeNames));
}

}  // namespace

Node read_node(json::Reader& r) {
  static constexpr json::FieldSpec kFields[] = {
      {"tag"},
      json::optional_field("key"),
      json::optional_field("props"),
      json::optional_field("slots"),
      json::optional_field("events"),
      json::optional_field("bindings"),
  };
  Node n;
  json::read_fields(r, "struct Node", kFields, [&](std::size_t field) {
    switch (field) {
      case 0:
        n.tag = r.read_str();
        break;
      case 1:
        n.key = r.read_optional_str();
        break;
      case 2:
        read_entries(r, n.props, [](json::Reader& rd) { return read_value(rd); });
        break;
      case 3:
        read_entries(r, n.slots, [](json::Reader& rd) { return read_children(rd); });
        break;
      case 4:
        read_entries(r, n.events, [](json::Reader& rd) { return read_action(rd); });
        break;
      case 5:
        read_entries(r, n.bindings, [](json::Reader& rd) { return read_binding(rd); });
        break;
    }
  });
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
    w.key("field");
    w.string(*b.field);
    w.raw(',');
  }
  if (b.compute) {
    w.key("compute");
    json::write_json(w, *b.compute);
    w.raw(',');
  }
  w.raw(b.mode == BindMode::OneWay ? "\"mode\":\"one-way\"}" : "\"mode\":\"two-way\"}");
}

namespace {

template <class Map, class WriteEntry>
void write_map(json::Writer& w, std::string_view name, const Map& map, WriteEntry&& write_entry) {
  if (map.empty()) return;
  w.raw(',');
  w.key(name);
  w.raw('{');
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
  w.string(n.tag);
  if (n.key) {
    w.raw(",\"key\":");
    w.string(*n.key);
  }
  write_map(w, "props", n.props, [&](const Value& v) { write_value(w, v); });
  if (n.slots.empty()) return false;
  w.raw(",\"slots\":{");
  return true;
}

// Everything after the slots.
void write_node_tail(json::Writer& w, const Node& n) {
  write_map(w, "events", n.events, [&](const Action& a) { write_action(w, a); });
  write_map(w, "bindings", n.bindings, [&](const Binding& b) { write_binding(w, b); });
  w.raw('}');
}

}  // namespace

void dismantle(Node& node) noexcept {
  std::vector<Node> rest;
  // Moves the children that have children of their own to `rest`; leaves go at once.
  auto detach = [&](Node& n) {
    for (auto& [name, children] : n.slots) {
      children.settle();
      for (Node& child : children.list)
        if (!child.slots.empty()) rest.push_back(std::move(child));
    }
    n.slots.clear();
  };
  try {
    detach(node);
    while (!rest.empty()) {
      Node n = std::move(rest.back());
      rest.pop_back();
      detach(n);
    }
  } catch (const std::bad_alloc&) {
    // Without memory for the work list the rest is freed the ordinary way.
  }
}

void write_node(json::Writer& w, const Node& root) {
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
    if (f.child == 0) {
      if (f.slot) w.raw(',');
      w.key(name);
      w.raw('[');
    }
    if (f.child == children.list.size()) {
      w.raw(']');
      ++f.slot;
      f.child = 0;
      continue;
    }
    const Node& child = children.list[f.child];
    if (f.child++) w.raw(',');
    if (write_node_head(w, child))
      open.push_back({&child, 0, 0});  // `f` is not used after this
    else
      write_node_tail(w, child);
  }
}

}  // namespace vorlik
