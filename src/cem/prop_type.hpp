// A property's type as a client sees it, read from the type text of a manifest attribute.
#pragma once

#include <string_view>
#include <vector>

#include "jsonio/writer.hpp"

namespace vorlik {

// Optional never nests and never wraps Any, so it is a flag on the base type rather than a
// wrapper around it.
struct PropType {
  enum class Base { Bool, Str, Number, Enum, Any };
  Base base = Base::Any;
  bool optional = false;
  std::vector<std::string_view> literals;  // the values of an Enum, views into the type text

  bool operator==(const PropType&) const = default;
};

// Reads a union type text such as "'a' | 'b' | undefined" into `type`, reusing its storage.
// Anything the text cannot describe is Any, and so is an empty text.
void parse_type(std::string_view text, PropType& type);

// "Str", {"Enum":[...]}, {"Optional":...}.
void write_prop_type(const PropType& type, json::Writer& out);

}  // namespace vorlik
