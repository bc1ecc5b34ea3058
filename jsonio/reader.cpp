// Typed reads and the ends of containers.
#include "jsonio/reader.hpp"

#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>

namespace vorlik::json {

int Reader::peek_after_space() {
  i_ = static_cast<std::size_t>(token::skip_space(p_ + i_, p_ + n_) - p_);
  return peek();
}

// --- Typed reads -------------------------------------------------------------------------------

std::string_view Reader::read_identifier(std::string_view expected) {
  int c = peek_ws();
  if (c == '"') return string_token();
  if (c == -1) fail_peek(msg::kEofValue);
  invalid_type(expected);
}

std::string_view Reader::read_str() {
  return read_identifier("a string");
}

bool Reader::read_bool() {
  int c = peek_ws();
  if (c == 't') {
    literal("true");
    return true;
  }
  if (c == 'f') {
    literal("false");
    return false;
  }
  if (c == -1) fail_peek(msg::kEofValue);
  invalid_type("a boolean");
}

Number Reader::read_number_or_type(std::string_view expected) {
  int c = peek_ws();
  if (starts_number(c)) return number_token();
  if (c == -1) fail_peek(msg::kEofValue);
  invalid_type(expected);
}

std::uint64_t Reader::read_u64() {
  Number n = read_number_or_type("u64");
  if (n.kind == Number::Kind::U64) return n.u;
  if (n.kind == Number::Kind::I64) fail_here(msg::invalid_value(describe_number(n), "u64"));
  fail_here(msg::invalid_type(describe_number(n), "u64"));
}

std::int64_t Reader::read_i64() {
  Number n = read_number_or_type("i64");
  if (n.kind == Number::Kind::I64) return n.i;
  if (n.kind == Number::Kind::U64) {
    if (n.u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
      return static_cast<std::int64_t>(n.u);
    fail_here(msg::invalid_value(describe_number(n), "i64"));
  }
  fail_here(msg::invalid_type(describe_number(n), "i64"));
}

double Reader::read_f64() {
  return visit(read_number_or_type("f64"), [](auto v) { return static_cast<double>(v); });
}

void Reader::read_unit() {
  int c = peek_ws();
  if (c == 'n') {
    literal("null");
    return;
  }
  if (c == -1) fail_peek(msg::kEofValue);
  invalid_type("unit");
}

bool Reader::take_null() {
  if (peek_ws() != 'n') return false;
  literal("null");
  return true;
}

void Reader::invalid_type(std::string_view expected) {
  std::string found;
  switch (start_value()) {
    case Token::Null:
      found = msg::kFoundNull;
      break;
    case Token::True:
      found = msg::kFoundTrue;
      break;
    case Token::False:
      found = msg::kFoundFalse;
      break;
    case Token::String:
      found = describe_string(string_token());
      break;
    case Token::Number:
      found = describe_number(number_token());
      break;
    case Token::Array:
      found = msg::kFoundSequence;
      break;
    case Token::Object:
      found = msg::kFoundMap;
      break;
  }
  fail_here(msg::invalid_type(found, expected));
}

void Reader::colon_after_space() {
  int c = peek_ws();
  if (c == ':') {
    ++i_;
    return;
  }
  if (c == -1) fail_peek(msg::kEofObject);
  fail_peek(msg::kExpectedColon);
}

void Reader::finish() {
  if (peek_ws() != -1) fail_peek(msg::kTrailingCharacters);
}

// --- Containers --------------------------------------------------------------------------------

void Reader::settle(char close) {
  int c = peek_ws();
  if (c == close) {
    ++i_;
  } else if (close == ']' && c == ',') {
    ++i_;
    peek_ws();
  }
}

void Reader::end_seq() {
  int c = peek_ws();
  if (c == ']') {
    ++i_;
    return;
  }
  if (c == ',') {
    ++i_;
    fail_peek(peek_ws() == ']' ? msg::kTrailingComma : msg::kTrailingCharacters);
  }
  if (c == -1) fail_peek(msg::kEofList);
  fail_peek(msg::kTrailingCharacters);
}

void Reader::end_map() {
  int c = peek_ws();
  if (c == '}') {
    ++i_;
    return;
  }
  if (c == ',') fail_peek(msg::kTrailingComma);
  if (c == -1) fail_peek(msg::kEofObject);
  fail_peek(msg::kTrailingCharacters);
}

}  // namespace vorlik::json
