#include "jsonio/error.hpp"

namespace vorlik::json {

std::string format_error(std::string_view input, const ReadError& error) {
  if (error.offset == kUnplaced) return error.description;
  std::size_t i = error.offset < input.size() ? error.offset : input.size();
  std::size_t line = 1, line_start = 0;
  for (std::size_t k = 0; k < i; ++k) {
    if (input[k] == '\n') {
      ++line;
      line_start = k + 1;
    }
  }
  return error.description + " at line " + std::to_string(line) + " column " +
         std::to_string(i - line_start);
}

}  // namespace vorlik::json
