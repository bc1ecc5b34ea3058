// Reading and skipping strings.
#include <string_view>

#include "jsonio/chars.hpp"
#include "jsonio/reader.hpp"
#include "jsonio/scan.hpp"
#include "jsonio/utf8.hpp"

namespace vorlik::json {

namespace {

// The byte each one-letter escape stands for; 0 where the letter is no escape.
constexpr auto kUnescaped = [] {
  struct Table {
    char byte[256];
    constexpr char operator[](char c) const { return byte[static_cast<unsigned char>(c)]; }
  } t{};
  constexpr std::string_view letters = "\"\\/bfnrt", bytes = "\"\\/\b\f\n\r\t";
  for (std::size_t k = 0; k < letters.size(); ++k)
    t.byte[static_cast<unsigned char>(letters[k])] = bytes[k];
  return t;
}();

bool is_leading_surrogate(std::uint32_t n) {
  return n >= 0xD800 && n <= 0xDBFF;
}
bool is_trailing_surrogate(std::uint32_t n) {
  return n >= 0xDC00 && n <= 0xDFFF;
}

}  // namespace

std::uint32_t Reader::hex4() {
  if (i_ + 4 > n_) {
    i_ = n_;
    fail_here(msg::kEofString);
  }
  std::uint32_t n = 0;
  for (int k = 0; k < 4; ++k) {
    int v = hex_value(p_[i_]);
    ++i_;
    if (v < 0) fail_here(msg::kInvalidEscape);
    n = (n << 4) | static_cast<std::uint32_t>(v);
  }
  return n;
}

void Reader::unicode_escape(std::string& out) {
  std::uint32_t n = hex4();
  if (is_trailing_surrogate(n)) fail_here(msg::kLoneSurrogate);
  if (!is_leading_surrogate(n)) {
    append_utf8(out, n);
    return;
  }
  // A leading surrogate must be followed by the escape of a trailing one.
  for (char expected : {'\\', 'u'}) {
    if (i_ >= n_) fail_here(msg::kEofString);
    bool match = p_[i_] == expected;
    ++i_;
    if (!match) fail_here(msg::kEndOfHexEscape);
  }
  std::uint32_t n2 = hex4();
  if (!is_trailing_surrogate(n2)) fail_here(msg::kLoneSurrogate);
  append_utf8(out, (((n - 0xD800) << 10) | (n2 - 0xDC00)) + 0x10000);
}

std::string_view Reader::string_token_in_full() {
  ++i_;  // the opening quote
  std::size_t start = i_;
  bool escaped = false;
  for (;;) {
    i_ = find_string_special(p_, i_, n_);
    if (i_ >= n_) fail_here(msg::kEofString);
    char c = p_[i_];
    if (c == '"') {
      std::string_view result(p_ + start, i_ - start);
      if (escaped) {
        scratch_.append(result);
        result = scratch_;
      }
      ++i_;
      if (check_utf8_ && find_utf8_fault(result)) fail_here(msg::kInvalidCodePoint);
      last_string_plain_ = !escaped;
      return escaped ? arena_.copy(result) : result;
    }
    if (c != '\\') {
      ++i_;
      fail_here(msg::kControlCharacter);
    }
    if (!escaped) {
      scratch_.clear();
      escaped = true;
    }
    scratch_.append(p_ + start, i_ - start);
    ++i_;
    if (i_ >= n_) fail_here(msg::kEofString);
    char e = p_[i_++];
    if (e == 'u') {
      unicode_escape(scratch_);
    } else if (char byte = kUnescaped[e]) {
      scratch_.push_back(byte);
    } else {
      fail_here(msg::kInvalidEscape);
    }
    start = i_;
  }
}

void Reader::skip_string() {
  ++i_;  // the opening quote
  for (;;) {
    i_ = find_string_special(p_, i_, n_);
    if (i_ >= n_) fail_here(msg::kEofString);
    char c = p_[i_];
    if (c == '"') {
      ++i_;
      return;
    }
    // A skipped string reports a control character at the character itself.
    if (c != '\\') fail_here(msg::kControlCharacter);
    ++i_;
    if (i_ >= n_) fail_here(msg::kEofString);
    char e = p_[i_++];
    if (e == 'u')
      hex4();  // only the form counts here, not which code point it names
    else if (!kUnescaped[e])
      fail_here(msg::kInvalidEscape);
  }
}

}  // namespace vorlik::json
