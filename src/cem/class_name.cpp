#include "src/cem/class_name.hpp"

#include "src/cem/unicode_text.hpp"

namespace vorlik {

std::string class_name(std::string_view tag_name) {
  std::string out;
  out.reserve(tag_name.size() + 2);
  std::size_t start = 0;
  for (std::size_t i = 0; i <= tag_name.size(); ++i) {
    if (i < tag_name.size() && tag_name[i] != '-' && tag_name[i] != '_') continue;
    // Only the first character of a piece changes: "ELEMENT" stays as written.
    append_upper_first(out, tag_name.substr(start, i - start));
    start = i + 1;
  }
  return out;
}

}  // namespace vorlik
