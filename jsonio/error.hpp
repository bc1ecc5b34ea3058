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
#include <utility>

namespace vorlik::json {

inline constexpr std::size_t kUnplaced = SIZE_MAX;

struct ReadError {
  std::string description;
  std::size_t offset = kUnplaced;
};

// An error still without its place. Only these are caught on their way out of a container, to be
// placed there; an error with its place passes through every container at once.
struct UnplacedError : ReadError {};

[[noreturn]] inline void fail_unplaced(std::string description) {
  throw UnplacedError{{std::move(description), kUnplaced}};
}

// "{description} at line {line} column {column}", or the bare description when unplaced.
std::string format_error(std::string_view input, const ReadError& error);

}  // namespace vorlik::json
