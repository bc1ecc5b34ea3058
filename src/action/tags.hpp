// The tags of the handler types: how each tagged union is named in the text and in messages.
// The variants of each stand in the order of their alternatives.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "jsonio/variant.hpp"

namespace vorlik::handler {

struct TaggedType {
  std::string_view tag_key;
  std::string_view type_name;
  std::span<const std::string_view> tags;
  std::span<const std::string_view> names;
};

inline constexpr std::array<std::string_view, 2> kRefTags = {"this", "id"};
inline constexpr std::array<std::string_view, 2> kRefNames = {"This", "Id"};
inline constexpr std::array<std::string_view, 7> kExprTags = {"lit",   "event", "not",   "prop",
                                                              "field", "obj",   "concat"};
inline constexpr std::array<std::string_view, 7> kExprNames = {"Lit",   "Event", "Not",   "Prop",
                                                               "Field", "Obj",   "Concat"};
inline constexpr std::array<std::string_view, 10> kActionTags = {
    "set", "toggle", "set-field", "toggle-field", "seq", "emit", "patch", "if", "call", "js"};
inline constexpr std::array<std::string_view, 10> kActionNames = {
    "SetProp", "Toggle",    "SetField", "ToggleField",  "Sequence",
    "Emit",    "SendPatch", "If",       "CallEndpoint", "NamedJs"};

inline constexpr TaggedType kRef{"ref", "Ref", kRefTags, kRefNames};
inline constexpr TaggedType kExpr{"expr", "Expr", kExprTags, kExprNames};
inline constexpr TaggedType kAction{"kind", "Action", kActionTags, kActionNames};

// The variant named `name`, or -1.
inline int find_tag(std::string_view name, const TaggedType& t) {
  return json::variant_index(name, t.tags);
}

inline std::string unknown_variant(std::string_view given, const TaggedType& t) {
  return json::unknown_variant(given, t.tags);
}

}  // namespace vorlik::handler
