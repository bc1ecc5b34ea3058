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
#include "containers/arena.hpp"
#include "containers/arena_map.hpp"
#include "jsonio/reader.hpp"
#include "jsonio/record.hpp"
#include "jsonio/value.hpp"
#include "jsonio/writer.hpp"
#include "src/action/action.hpp"
#include "src/node/children.hpp"

namespace vorlik {

enum class BindMode : std::uint8_t { OneWay, TwoWay };

struct Binding {
  std::optional<std::string_view> field;
  std::optional<json::Json> compute;
  BindMode mode = BindMode::OneWay;

  friend bool operator==(const Binding&, const Binding&) = default;
};

static_assert(std::is_trivially_copyable_v<Binding>);

// A node's key: a string that may be absent, in the room of a string_view. Absent is a null
// data pointer, which no present string has: an empty one is made to point at a literal.
class NodeKey {
 public:
  NodeKey() = default;
  NodeKey(std::optional<std::string_view> key)  // NOLINT: converts like the optional it stores
      : s_(key ? (key->data() ? *key : kEmpty) : std::string_view()) {}

  bool has_value() const { return s_.data() != nullptr; }
  explicit operator bool() const { return has_value(); }
  std::string_view operator*() const { return s_; }
  operator std::optional<std::string_view>() const {  // NOLINT: as above
    return has_value() ? std::optional<std::string_view>(s_) : std::nullopt;
  }

  friend bool operator==(NodeKey a, NodeKey b) {
    return a.has_value() == b.has_value() && a.s_ == b.s_;
  }

 private:
  static constexpr std::string_view kEmpty = "";  // present, empty, and not null
  std::string_view s_;
};

struct NodeEdits;

// Handlers and bindings, which most nodes do not have, stand apart: a node without them does not
// carry their empty maps.
struct NodeExtras {
  ArenaMap<Action> events;
  ArenaMap<Binding> bindings;
  // Not owned: while a patch is applied, the edits to the node's long maps, which are held apart
  // from the maps until the last op has run (src/diff/apply.cpp); null otherwise.
  NodeEdits* edits = nullptr;
};

struct Node {
  std::string_view tag() const { return {tag_, tag_size_}; }
  // Also forgets the written text (below), which starts where the tag does.
  void set_tag(std::string_view tag) {
    if (tag.size() >= UINT32_MAX) too_long();
    tag_ = tag.data();
    tag_size_ = static_cast<std::uint32_t>(tag.size());
    written_size_ = 0;
  }
  NodeKey key;
  ArenaVec<ValueEntry> props;
  ArenaMap<Children> slots;
  // Null when the node has neither handlers nor bindings.
  NodeExtras* extras = nullptr;

  // The node's text as it was read, where that is already its written form: it is then written
  // out as it stands. Whatever edits the node or anything below it forgets it first.
  std::string_view written() const {
    if (written_size_ == 0) return {};
    return {tag_ - kTagOpening.size(), written_size_};
  }
  // Keeps `text` as the written text when it opens with the tag as read in place, as written
  // text always does, and is not too long to keep.
  void keep_written(std::string_view text) {
    if (text.data() + kTagOpening.size() == tag_ && text.size() < UINT32_MAX)
      written_size_ = static_cast<std::uint32_t>(text.size());
  }
  void forget_written() { written_size_ = 0; }

  const ArenaMap<Action>& events() const { return extras ? extras->events : kNone.events; }
  const ArenaMap<Binding>& bindings() const { return extras ? extras->bindings : kNone.bindings; }
  // The maps to edit, placed in `arena` the first time.
  NodeExtras& edit_extras(Arena& arena);

 private:
  // Four billion bytes take a text longer than any reader is given.
  [[noreturn, gnu::cold]] static void too_long();

  static constexpr NodeExtras kNone{};
  static constexpr std::string_view kTagOpening = "{\"tag\":\"";

  // The tag's length takes half a word, so that the written text's length fits beside it; the
  // written text is found from the tag.
  const char* tag_ = nullptr;
  std::uint32_t tag_size_ = 0;
  std::uint32_t written_size_ = 0;
};

static_assert(std::is_trivially_copyable_v<Node> && std::is_trivially_destructible_v<Node>);

// Lays the node out in the reader's arena.
Node read_node(json::Reader& reader);
// The members of a node record, in the order of its written form, and their table: every
// reader of nodes takes the names and the required member from it.
enum class NodeField : std::uint8_t { Tag, Key, Props, Slots, Events, Bindings };
inline constexpr auto kNodeFields =
    json::field_table(json::required_field("tag"), json::optional_field("key"),
                      json::optional_field("props"), json::optional_field("slots"),
                      json::optional_field("events"), json::optional_field("bindings"));
// Reads the value of one member of a node record into `node`, the cursor on that value.
void read_node_field(json::Reader& reader, Node& node, NodeField field);
Binding read_binding(json::Reader& reader);
// The normal written form: members in order, key and empty maps left out. Written without
// recursion: a tree that patches built may be deeper than any reader accepts.
void write_node(json::Writer& writer, const Node& root);
void write_binding(json::Writer& writer, const Binding& binding);

}  // namespace vorlik
