// Byte classes of JSON text.
#pragma once

#include <cstdint>

namespace vorlik::json {

// Takes the result of a peek, so -1 (the end of input) is no digit.
constexpr bool is_digit(int c) {
  return c >= '0' && c <= '9';
}

// A byte that may start a number.
constexpr bool starts_number(int c) {
  return c == '-' || is_digit(c);
}

inline constexpr char kHexDigits[] = "0123456789abcdef";

// The value of a hexadecimal digit of either case; -1 for any other byte.
constexpr int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Bytes a JSON string may not hold as they are: the quote, the backslash and control characters.
constexpr bool is_string_special(unsigned char c) {
  return c == '"' || c == '\\' || c < 0x20;
}

}  // namespace vorlik::json
