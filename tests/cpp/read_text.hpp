// Running a reading routine over a whole text the way the module's entry points do: the value,
// then only white space, and a failure as its positioned message.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "containers/arena.hpp"
#include "jsonio/error.hpp"
#include "jsonio/reader.hpp"

namespace vorlik::testing {

// The message of the first error, or an empty string when the text reads.
template <class Read>
std::string read_error(std::string_view text, Read&& read, bool check_utf8 = false) {
  Arena arena;
  json::Reader reader(text, arena, check_utf8);
  try {
    read(reader);
    reader.finish();
  } catch (const json::ReadError& e) {
    return json::format_error(text, e);
  }
  return {};
}

}  // namespace vorlik::testing
