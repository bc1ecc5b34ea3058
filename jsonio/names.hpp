// Comparing a name read from the text with the names of a table (fields, variants): most of
// them differ in length or in the first byte, and the rest are short enough that a loop costs
// less than the call to memcmp.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace vorlik::json {

[[gnu::always_inline]] inline bool same_name(std::string_view a, std::string_view b) {
  const std::size_t n = a.size();
  if (n != b.size()) return false;
  if (n == 0) return true;
  if (a[0] != b[0]) return false;
  if (n > 16) return std::memcmp(a.data(), b.data(), n) == 0;
  for (std::size_t k = 1; k < n; ++k)
    if (a[k] != b[k]) return false;
  return true;
}

}  // namespace vorlik::json
