// The component tree: Node with its props, slots, events and bindings.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "belvane/value.hpp"
#include "containers/flat_map.hpp"
#include "jsonio/reader.hpp"
#include "jsonio/value.hpp"
#include "jsonio/writer.hpp"
#include "src/action.hpp"
#include "src/children.hpp"

namespace vorlik {

enum class BindMode : std::uint8_t { OneWay, TwoWay };

struct Binding {
  std::optional<std::string_view> field;
  std::optional<json::Json> compute;
  BindMode mode = BindMode::OneWay;

  friend bool operator==(const Binding&, const Binding&) = default;
};

struct Node {
  std::string_view tag;
  std::optional<std::string_view> key;
  FlatMap<Value> props;
  FlatMap<Children> slots;
  FlatMap<Action> events;
  FlatMap<Binding> bindings;
};

Node read_node(json::Reader& reader);
// Frees the subtrees below `node` without recursion and leaves it without slots.
void dismantle(Node& node) noexcept;
Binding read_binding(json::Reader& reader);
// The normal written form: members in order, key and empty maps left out. Written without
// recursion: a tree that patches built may be deeper than any reader accepts.
void write_node(json::Writer& writer, const Node& node);
void write_binding(json::Writer& writer, const Binding& binding);

}  // namespace vorlik
