// What the fuzz targets share: splitting one input into several texts, and the checks that turn
// a broken property into a crash libFuzzer reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "src/api.hpp"

namespace vorlik::fuzz {

inline std::string_view as_text(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// The text before the first NUL byte and the text after it (empty without one), so that the
// two-argument routines see independent inputs.
inline std::pair<std::string_view, std::string_view> split(std::string_view input) {
  auto cut = input.find('\0');
  if (cut == std::string_view::npos) return {input, {}};
  return {input.substr(0, cut), input.substr(cut + 1)};
}

inline void check(bool holds) {
  if (!holds) __builtin_trap();
}

inline bool ok(const Outcome& outcome) {
  return outcome.status == Outcome::Status::Ok;
}

inline bool starts_with(const std::string& text, std::string_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// A patch carrying a subtree nests a few levels deeper than the tree did, and a patch can nest
// node into node without bound, so some results are beyond what the reader takes back.
inline bool too_deep(const Outcome& outcome) {
  return outcome.status == Outcome::Status::Failed &&
         starts_with(outcome.data, "recursion limit exceeded");
}

// The module hands the core only valid UTF-8 text; the properties hold for such text.
bool is_text(std::string_view bytes);

}  // namespace vorlik::fuzz
