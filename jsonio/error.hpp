// The one error type of the JSON layer: a description and the byte offset it refers to.
//
// Errors about something the reader looked at are placed just after that byte; errors about a
// value already read are placed just after it. Errors raised while typing an already buffered
// value have no place yet: the nearest enclosing container gives them its own position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vorlik::json {

inline constexpr std::size_t kUnplaced = SIZE_MAX;

struct ReadError {
  std::string description;
  std::size_t offset = kUnplaced;
};

[[noreturn]] inline void fail_unplaced(std::string description) {
  throw ReadError{std::move(description), kUnplaced};
}

// "{description} at line {line} column {column}", or the bare description when unplaced.
std::string format_error(std::string_view input, const ReadError& error);

}  // namespace vorlik::json
