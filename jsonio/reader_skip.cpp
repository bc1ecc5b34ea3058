// Stepping over a value without reading it.
#include <string>

#include "jsonio/reader.hpp"

namespace vorlik::json {

void Reader::skip_key() {
  int c = peek_ws();
  if (c == '"')
    skip_string();
  else if (c == -1)
    fail_peek(msg::kEofObject);
  else
    fail_peek(msg::kKeyMustBeString);
  colon();
}

void Reader::skip_value() {
  // The closing brackets of the containers standing open, innermost last. An explicit stack
  // rather than recursion: skipped values are not limited in depth.
  std::string open;
  for (;;) {
    // One value, or the opening of a container: an empty one is closed at once, otherwise the
    // loop goes on to its first value.
    switch (start_value()) {
      case Token::Array:
      case Token::Object: {
        const char close = p_[i_++] == '[' ? ']' : '}';
        int c = peek_ws();
        if (c != close) {
          if (c == -1) fail_peek(msg::eof_in(close));
          open.push_back(close);
          if (close == '}') skip_key();
          continue;
        }
        ++i_;
        break;
      }
      case Token::String:
        skip_string();
        break;
      case Token::Number:
        skip_number();
        break;
      default:
        break;  // null, true and false are read whole already
    }
    // After a value: close the containers that end here, then step over the comma before the
    // next value (and its key).
    for (;;) {
      if (open.empty()) return;
      int c = peek_ws();
      if (c == ',') break;
      if (c != open.back())
        fail_peek(c == -1 ? msg::eof_in(open.back()) : msg::expected_separator(open.back()));
      ++i_;
      open.pop_back();
    }
    ++i_;
    if (open.back() == '}') skip_key();
  }
}

}  // namespace vorlik::json
