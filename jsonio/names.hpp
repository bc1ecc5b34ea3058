// Comparing a name read from the text with the names of a table (fields, variants): most of
// them differ in length or in the first byte, which spares the call to memcmp.
#pragma once

#include <cstring>
#include <string_view>

namespace vorlik::json {

inline bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         (a.empty() || (a[0] == b[0] && std::memcmp(a.data(), b.data(), a.size()) == 0));
}

}  // namespace vorlik::json
