// Naming variants of tagged values: the "unknown variant" message and the unit variant, which
// stands as its bare name or as an object whose one key is the name and whose value is null.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "jsonio/names.hpp"
#include "jsonio/reader.hpp"

namespace vorlik::json {

// The index of name in names, or -1.
inline int variant_index(std::string_view name, std::span<const std::string_view> names) {
  return name_index(name, names);
}

// "unknown variant `x`, expected `a` or `b`", or "..., expected one of `a`, `b`, `c`".
std::string unknown_variant(std::string_view given, std::span<const std::string_view> names);

// The index of the unit variant read; an unknown name is refused just after it.
std::size_t read_unit_variant(Reader& reader, std::span<const std::string_view> names);

}  // namespace vorlik::json
