// A property's type as a client sees it, read from the type text of a manifest attribute.
#pragma once

#include <memory_resource>
#include <string_view>
#include <vector>

#include "jsonio/writer.hpp"

namespace vorlik {

// Optional never nests and never wraps Any, so it is a flag on the base type rather than a
// wrapper around it.
struct PropType {
  enum class Base { Bool, Str, Number, Enum, Any };

  explicit PropType(std::pmr::memory_resource* memory = std::pmr::get_default_resource())
      : literals(memory) {}

  Base base = Base::Any;
  bool optional = false;
  std::pmr::vector<std::string_view> literals;  // the values of an Enum, views into the text

  bool operator==(const PropType&) const = default;
};

// Reads a union type text such as "'a' | 'b' | undefined". Anything it cannot describe is Any.
// Enum values are listed in `memory`.
PropType parse_type(std::string_view text,
                    std::pmr::memory_resource* memory = std::pmr::get_default_resource());

// "Str", {"Enum":[...]}, {"Optional":...}.
void write_prop_type(const PropType& type, json::Writer& out);

}  // namespace vorlik
