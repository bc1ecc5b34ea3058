// The reader's tokens: the scanners of the token layer, with the reader's descriptions and
// places for what they stop at.
#include <optional>
#include <string_view>

#include "jsonio/reader.hpp"
#include "jsonio/token.hpp"
#include "jsonio/utf8.hpp"
#include "jsonio/walk.hpp"

namespace vorlik::json {

namespace {

using token::Fault;

const char* string_fault(Fault fault) {
  switch (fault) {
    case Fault::Truncated:
      return msg::kEofString;
    case Fault::LoneSurrogate:
      return msg::kLoneSurrogate;
    case Fault::SurrogatePair:
      return msg::kEndOfHexEscape;
    case Fault::ControlCharacter:
      return msg::kControlCharacter;
    default:
      return msg::kInvalidEscape;
  }
}

}  // namespace

Number Reader::number_token() {
  const char* const first = p_ + i_;
  const token::NumberToken t = token::scan_number(first, p_ + n_);
  if (t.fault != Fault::None)
    fail_at(t.at, t.fault == Fault::Truncated ? msg::kEofValue : msg::kInvalidNumber);
  i_ = static_cast<std::size_t>(t.at - p_);
  const std::optional<Number> n = token::number_value(first, t);
  if (!n) fail_here(msg::kNumberOutOfRange);
  return *n;
}

void Reader::skip_number() {
  // Only the form counts: the value of a skipped number is never needed, nor its range.
  const token::NumberToken t = token::scan_number(p_ + i_, p_ + n_);
  if (t.fault != Fault::None) fail_at(t.at, msg::kInvalidNumber);
  i_ = static_cast<std::size_t>(t.at - p_);
}

std::string_view Reader::string_token_in_full() {
  const char* const end = p_ + n_;
  const char* p = p_ + i_ + 1;  // past the opening quote
  const char* start = p;
  bool escaped = false;
  for (;;) {
    p = token::string_run(p, end);
    if (p == end) fail_at(end, msg::kEofString);
    if (*p == '"') {
      std::string_view result(start, static_cast<std::size_t>(p - start));
      if (escaped) {
        scratch_.append(result);
        result = scratch_;
      }
      i_ = static_cast<std::size_t>(p + 1 - p_);
      if (check_utf8_ && find_utf8_fault(result)) fail_here(msg::kInvalidCodePoint);
      last_string_plain_ = !escaped;
      return escaped ? arena_.copy(result) : result;
    }
    if (*p != '\\') fail_at(p + 1, msg::kControlCharacter);
    if (!escaped) {
      scratch_.clear();
      escaped = true;
    }
    scratch_.append(start, static_cast<std::size_t>(p - start));
    const token::Escape e = token::escape(p, end);
    if (e.fault != Fault::None) fail_at(e.at, string_fault(e.fault));
    append_utf8(scratch_, e.code_point);
    p = start = e.at;
  }
}

void Reader::skip_string() {
  const token::Stop s = token::skip_string(p_ + i_, p_ + n_);
  if (s.fault == Fault::None) {
    i_ = static_cast<std::size_t>(s.at - p_);
    return;
  }
  // A skipped string reports a control character at the character itself.
  fail_at(s.fault == Fault::ControlCharacter ? s.at - 1 : s.at, string_fault(s.fault));
}

void Reader::skip_key() {
  const int c = peek_ws();
  if (c == '"')
    skip_string();
  else if (c == -1)
    fail_peek(msg::kEofObject);
  else
    fail_peek(msg::kKeyMustBeString);
  colon();
}

namespace {

// What a skipped value is told: nothing.
struct Ignore {
  void null() {}
  void boolean(bool) {}
  void string(std::string_view) {}
  void number(const Number&) {}
  void open_array() {}
  void close_array() {}
  void open_object() {}
  void key(std::string_view) {}
  void close_object() {}
};

}  // namespace

void Reader::skip_value() {
  Ignore ignore;
  walk_value</*kSkip=*/true>(ignore);
}

}  // namespace vorlik::json
