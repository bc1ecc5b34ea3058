// The component tree: Node with its props, slots, events and bindings.
//
// A tree lives in the arena of the call that reads it: nodes, their maps and child lists are
// trivially destructible views into the arena, so a tree of any size or depth is freed at once
// with the call, without a destructor walk.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "belvane/value.hpp"
#include "containers/arena_map.hpp"
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

static_assert(std::is_trivially_copyable_v<Binding>);

struct Node {
  std::string_view tag;
  std::optional<std::string_view> key;
  ArenaVec<ValueEntry> props;
  ArenaMap<Children> slots;
  ArenaMap<Action> events;
  ArenaMap<Binding> bindings;
};

static_assert(std::is_trivially_copyable_v<Node> && std::is_trivially_destructible_v<Node>);

// Lays the node out in the reader's arena.
Node read_node(json::Reader& reader);
Binding read_binding(json::Reader& reader);
// The normal written form: members in order, key and empty maps left out. Written without
// recursion: a tree that patches built may be deeper than any reader accepts.
void write_node(json::Writer& writer, const Node& root);
void write_binding(json::Writer& writer, const Binding& binding);

}  // namespace vorlik
