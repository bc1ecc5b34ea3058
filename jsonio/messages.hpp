// The descriptions of reading errors: fixed texts and the builders of the composed ones.
//
// Callers match these texts byte for byte, so every raise site spells them from here.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vorlik::json::msg {

// --- Syntax --------------------------------------------------------------------------------------
inline constexpr char kEofValue[] = "EOF while parsing a value";
inline constexpr char kEofString[] = "EOF while parsing a string";
inline constexpr char kEofList[] = "EOF while parsing a list";
inline constexpr char kEofObject[] = "EOF while parsing an object";
inline constexpr char kExpectedValue[] = "expected value";
inline constexpr char kExpectedIdent[] = "expected ident";
inline constexpr char kExpectedColon[] = "expected `:`";
inline constexpr char kExpectedListSeparator[] = "expected `,` or `]`";
inline constexpr char kExpectedObjectSeparator[] = "expected `,` or `}`";
inline constexpr char kKeyMustBeString[] = "key must be a string";
inline constexpr char kTrailingComma[] = "trailing comma";
inline constexpr char kTrailingCharacters[] = "trailing characters";
inline constexpr char kRecursionLimit[] = "recursion limit exceeded";

// --- Strings and numbers -------------------------------------------------------------------------
inline constexpr char kControlCharacter[] =
    "control character (\\u0000-\\u001F) found while parsing a string";
inline constexpr char kInvalidEscape[] = "invalid escape";
inline constexpr char kLoneSurrogate[] = "lone leading surrogate in hex escape";
inline constexpr char kEndOfHexEscape[] = "unexpected end of hex escape";
inline constexpr char kInvalidCodePoint[] = "invalid unicode code point";
inline constexpr char kInvalidNumber[] = "invalid number";
inline constexpr char kNumberOutOfRange[] = "number out of range";

// The texts that depend on the kind of container.
inline const char* eof_in(char close) {
  return close == ']' ? kEofList : kEofObject;
}
inline const char* expected_separator(char close) {
  return close == ']' ? kExpectedListSeparator : kExpectedObjectSeparator;
}

// --- How a value met is named --------------------------------------------------------------------
inline constexpr char kFoundNull[] = "null";
inline constexpr char kFoundTrue[] = "boolean `true`";
inline constexpr char kFoundFalse[] = "boolean `false`";
inline constexpr char kFoundSequence[] = "sequence";
inline constexpr char kFoundMap[] = "map";
inline constexpr char kFoundUnitVariant[] = "unit variant";

// --- What was expected ---------------------------------------------------------------------------
inline constexpr char kExpectedVariantIdentifier[] = "variant identifier";

// "internally tagged enum Action"
inline std::string internally_tagged(std::string_view type) {
  std::string m = "internally tagged enum ";
  m += type;
  return m;
}

// "struct variant Op::SetProp"
inline std::string struct_variant(std::string_view type, std::string_view variant) {
  std::string m = "struct variant ";
  m += type;
  m += "::";
  m += variant;
  return m;
}

// "variant index 0 <= i < 10"
inline std::string variant_index(std::size_t count) {
  return "variant index 0 <= i < " + std::to_string(count);
}

// "data did not match any variant of untagged enum EndpointUrl"
inline std::string no_untagged_variant(std::string_view type) {
  std::string m = "data did not match any variant of untagged enum ";
  m += type;
  return m;
}

// --- Typing --------------------------------------------------------------------------------------
// "invalid type: {found}, expected {expected}"
inline std::string invalid_type(std::string_view found, std::string_view expected) {
  std::string m = "invalid type: ";
  m += found;
  m += ", expected ";
  m += expected;
  return m;
}

// "invalid value: {found}, expected {expected}"
inline std::string invalid_value(std::string_view found, std::string_view expected) {
  std::string m = "invalid value: ";
  m += found;
  m += ", expected ";
  m += expected;
  return m;
}

// "`name`"
inline std::string quoted(std::string_view name) {
  std::string m = "`";
  m += name;
  m += '`';
  return m;
}

// "duplicate field `key`"
inline std::string duplicate_field(std::string_view key) {
  return "duplicate field " + quoted(key);
}

// "missing field `key`"
inline std::string missing_field(std::string_view key) {
  return "missing field " + quoted(key);
}

// "1 element", "7 elements"
inline std::string elements(std::size_t n) {
  return std::to_string(n) + (n == 1 ? " element" : " elements");
}

// "3 elements in sequence"
inline std::string elements_in_sequence(std::size_t n) {
  return elements(n) + " in sequence";
}

// "invalid length {length}, expected {expected}"
inline std::string invalid_length(std::size_t length, std::string_view expected) {
  std::string m = "invalid length " + std::to_string(length) + ", expected ";
  m += expected;
  return m;
}

}  // namespace vorlik::json::msg
