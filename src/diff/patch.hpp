// Patches: the ordered list of ops that turns one component tree into another, and reading
// their JSON form (patch_writer.hpp writes it). Every op addresses its node by a path of (slot,
// index) steps from the root; the three child ops address the parent that owns the slot.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <variant>
#include <vector>

#include "belvane/value.hpp"
#include "containers/box.hpp"
#include "jsonio/reader.hpp"
#include "src/action/action.hpp"
#include "src/node/node.hpp"

namespace vorlik {

struct PathSeg {
  std::string_view slot;
  std::uint64_t index = 0;

  friend bool operator==(const PathSeg&, const PathSeg&) = default;
};

using Path = std::vector<PathSeg>;

namespace op {

struct SetProp {
  Path path;
  std::string_view name;
  Value value;
};
struct RemoveProp {
  Path path;
  std::string_view name;
};
// Handlers, bindings and nodes are boxed: they are large, and a patch is mostly small ops.
struct SetEvent {
  Path path;
  std::string_view name;
  Box<Action> action;
};
struct RemoveEvent {
  Path path;
  std::string_view name;
};
struct SetBinding {
  Path path;
  std::string_view name;
  Box<Binding> binding;
};
struct RemoveBinding {
  Path path;
  std::string_view name;
};
struct SetKey {
  Path path;
  std::optional<std::string_view> key;  // none: the node loses its key
};
struct InsertChild {
  Path path;
  std::string_view slot;
  std::uint64_t index = 0;
  Box<Node> node;
};
struct RemoveChild {
  Path path;
  std::string_view slot;
  std::uint64_t index = 0;
};
struct MoveChild {
  Path path;
  std::string_view slot;
  std::uint64_t from = 0;
  std::uint64_t to = 0;  // counted in the list without the moved child
};
struct Replace {
  Path path;
  Box<Node> node;
};

}  // namespace op

// The alternatives in variant order, which is also the order of the names in messages.
using Op = std::variant<op::SetProp, op::RemoveProp, op::SetEvent, op::RemoveEvent, op::SetBinding,
                        op::RemoveBinding, op::SetKey, op::InsertChild, op::RemoveChild,
                        op::MoveChild, op::Replace>;

struct Patch {
  std::vector<Op> ops;
};

// The variant name of each alternative, by variant index.
inline constexpr std::array<std::string_view, std::variant_size_v<Op>> kOpNames = {
    "SetProp", "RemoveProp",  "SetEvent",    "RemoveEvent", "SetBinding", "RemoveBinding",
    "SetKey",  "InsertChild", "RemoveChild", "MoveChild",   "Replace"};

Patch read_patch(json::Reader& reader);
Op read_op(json::Reader& reader);

}  // namespace vorlik
