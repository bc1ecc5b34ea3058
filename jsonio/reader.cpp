#include "jsonio/reader.hpp"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "jsonio/utf8.hpp"
#include "jsonio/writer.hpp"

namespace vorlik::json {

namespace {

bool is_digit(int c) {
  return c >= '0' && c <= '9';
}

// The end of the run of string bytes that need no attention (no quote, backslash or control
// character), eight bytes at a time: most strings are plain from end to end.
std::size_t plain_run_end(const char* p, std::size_t i, std::size_t n) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
  while (i + 8 <= n) {
    std::uint64_t v;
    std::memcpy(&v, p + i, 8);
    std::uint64_t quote = v ^ (kOnes * '"');
    std::uint64_t backslash = v ^ (kOnes * '\\');
    std::uint64_t hits =
        ((quote - kOnes) & ~quote) | ((backslash - kOnes) & ~backslash) | ((v - kOnes * 0x20) & ~v);
    // The lowest flagged byte is always a true hit (borrows only run upwards).
    if (hits &= kHigh) {
      if constexpr (std::endian::native == std::endian::little)
        return i + static_cast<std::size_t>(std::countr_zero(hits) >> 3);
      break;
    }
    i += 8;
  }
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(p[i]);
    if (c == '"' || c == '\\' || c < 0x20) break;
    ++i;
  }
  return i;
}

// The byte each one-letter escape stands for; 0 where the letter is no escape.
constexpr auto kUnescaped = [] {
  struct Table {
    char byte[256];
    constexpr char operator[](unsigned char c) const { return byte[c]; }
  } t{};
  constexpr std::string_view letters = "\"\\/bfnrt", bytes = "\"\\/\b\f\n\r\t";
  for (std::size_t k = 0; k < letters.size(); ++k)
    t.byte[static_cast<unsigned char>(letters[k])] = bytes[k];
  return t;
}();

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void push_utf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Correctly rounded; std::nullopt when the value overflows the double range (underflow gives
// zero or a subnormal, as the value rounds).
std::optional<double> parse_double(const char* first, const char* last) {
  double v = 0;
  auto r = std::from_chars(first, last, v);
  if (r.ec == std::errc()) return v;
  // from_chars refuses both overflow and underflow; strtod tells them apart. The text is plain
  // JSON number syntax, which strtod reads the same in every locale that uses '.'.
  std::string copy(first, last);
  v = std::strtod(copy.c_str(), nullptr);
  if (std::isinf(v)) return std::nullopt;
  return v;
}

}  // namespace

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

// --- Tokens ------------------------------------------------------------------------------------

std::uint32_t Reader::hex4() {
  if (i_ + 4 > n_) {
    i_ = n_;
    fail_here("EOF while parsing a string");
  }
  std::uint32_t n = 0;
  for (int k = 0; k < 4; ++k) {
    int v = hex_value(p_[i_]);
    ++i_;
    if (v < 0) fail_here("invalid escape");
    n = (n << 4) | static_cast<std::uint32_t>(v);
  }
  return n;
}

void Reader::unicode_escape(std::string& out) {
  std::uint32_t n = hex4();
  if (n >= 0xDC00 && n <= 0xDFFF) fail_here("lone leading surrogate in hex escape");
  if (n < 0xD800 || n > 0xDBFF) {
    push_utf8(out, n);
    return;
  }
  // A leading surrogate must be followed by the escape of a trailing one.
  for (char expected : {'\\', 'u'}) {
    if (i_ >= n_) fail_here("EOF while parsing a string");
    bool match = p_[i_] == expected;
    ++i_;
    if (!match) fail_here("unexpected end of hex escape");
  }
  std::uint32_t n2 = hex4();
  if (n2 < 0xDC00 || n2 > 0xDFFF) fail_here("lone leading surrogate in hex escape");
  push_utf8(out, (((n - 0xD800) << 10) | (n2 - 0xDC00)) + 0x10000);
}

std::string_view Reader::string_token() {
  ++i_;  // the opening quote
  std::size_t start = i_;
  bool escaped = false;
  for (;;) {
    i_ = plain_run_end(p_, i_, n_);
    if (i_ >= n_) fail_here("EOF while parsing a string");
    char c = p_[i_];
    if (c == '"') {
      std::string_view result(p_ + start, i_ - start);
      if (escaped) {
        scratch_.append(result);
        result = scratch_;
      }
      ++i_;
      if (check_utf8_ && find_utf8_fault(result)) fail_here("invalid unicode code point");
      last_string_plain_ = !escaped;
      return escaped ? arena_.copy(result) : result;
    }
    if (c == '\\') {
      if (!escaped) {
        scratch_.clear();
        escaped = true;
      }
      scratch_.append(p_ + start, i_ - start);
      ++i_;
      if (i_ >= n_) fail_here("EOF while parsing a string");
      char e = p_[i_++];
      if (e == 'u') {
        unicode_escape(scratch_);
      } else if (char byte = kUnescaped[static_cast<unsigned char>(e)]) {
        scratch_.push_back(byte);
      } else {
        fail_here("invalid escape");
      }
      start = i_;
    } else {
      ++i_;
      fail_here("control character (\\u0000-\\u001F) found while parsing a string");
    }
  }
}

void Reader::ident(std::string_view rest) {
  for (char expected : rest) {
    if (i_ >= n_) fail_here("EOF while parsing a value");
    char c = p_[i_++];
    if (c != expected) fail_here("expected ident");
  }
}

bool Reader::number_tail(bool skipping) {
  // Where the input ends early, a value being read says so; a value being skipped is only
  // checked for its form.
  bool fraction_or_exponent = false;
  int d = peek();
  if (d == '.') {
    ++i_;
    bool any = false;
    while (is_digit(peek())) {
      ++i_;
      any = true;
    }
    if (!any) fail_peek(!skipping && i_ >= n_ ? "EOF while parsing a value" : "invalid number");
    fraction_or_exponent = true;
    d = peek();
  }
  if (d == 'e' || d == 'E') {
    ++i_;
    d = peek();
    if (d == '+' || d == '-') ++i_;
    if (i_ >= n_) fail_here(skipping ? "invalid number" : "EOF while parsing a value");
    if (!is_digit(static_cast<unsigned char>(p_[i_++]))) fail_here("invalid number");
    while (is_digit(peek())) ++i_;
    fraction_or_exponent = true;
  }
  return fraction_or_exponent;
}

Number Reader::number_token() {
  const std::size_t start = i_;
  bool negative = false;
  if (p_[i_] == '-') {
    ++i_;
    negative = true;
  }
  if (i_ >= n_) fail_here("EOF while parsing a value");
  char c = p_[i_++];
  std::uint64_t significand = 0;
  bool is_float = false;
  if (c == '0') {
    if (is_digit(peek())) fail_peek("invalid number");
  } else if (c >= '1' && c <= '9') {
    significand = static_cast<std::uint64_t>(c - '0');
    for (int d = peek(); is_digit(d); d = peek()) {
      auto digit = static_cast<std::uint64_t>(d - '0');
      if (!is_float) {
        if (significand > (std::numeric_limits<std::uint64_t>::max() - digit) / 10)
          is_float = true;  // too long for 64 bits: read as a double
        else
          significand = significand * 10 + digit;
      }
      ++i_;
    }
  } else {
    fail_here("invalid number");
  }
  if (number_tail(/*skipping=*/false)) is_float = true;
  if (!is_float) {
    if (!negative) return Number::of_u64(significand);
    if (significand == 0) return Number::of_f64(-0.0);
    if (significand <= (std::uint64_t{1} << 63))
      return Number::of_i64(static_cast<std::int64_t>(0 - significand));
    return Number::of_f64(-static_cast<double>(significand));
  }
  auto v = parse_double(p_ + start, p_ + i_);
  if (!v) fail_here("number out of range");
  return Number::of_f64(*v);
}

// --- Typed reads -------------------------------------------------------------------------------

std::string_view Reader::read_identifier(std::string_view expected) {
  int c = peek_ws();
  if (c == '"') return string_token();
  if (c == -1) fail_peek("EOF while parsing a value");
  invalid_type(expected);
}

std::string_view Reader::read_str() {
  return read_identifier("a string");
}

bool Reader::read_bool() {
  int c = peek_ws();
  if (c == 't') {
    ++i_;
    ident("rue");
    return true;
  }
  if (c == 'f') {
    ++i_;
    ident("alse");
    return false;
  }
  if (c == -1) fail_peek("EOF while parsing a value");
  invalid_type("a boolean");
}

Number Reader::read_number_or_type(std::string_view expected) {
  int c = peek_ws();
  if (c == '-' || is_digit(c)) return number_token();
  if (c == -1) fail_peek("EOF while parsing a value");
  invalid_type(expected);
}

std::uint64_t Reader::read_u64() {
  Number n = read_number_or_type("u64");
  if (n.kind == Number::Kind::U64) return n.u;
  if (n.kind == Number::Kind::I64)
    fail_here("invalid value: " + describe_number(n) + ", expected u64");
  fail_here("invalid type: " + describe_number(n) + ", expected u64");
}

std::int64_t Reader::read_i64() {
  Number n = read_number_or_type("i64");
  if (n.kind == Number::Kind::I64) return n.i;
  if (n.kind == Number::Kind::U64) {
    if (n.u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
      return static_cast<std::int64_t>(n.u);
    fail_here("invalid value: " + describe_number(n) + ", expected i64");
  }
  fail_here("invalid type: " + describe_number(n) + ", expected i64");
}

double Reader::read_f64() {
  Number n = read_number_or_type("f64");
  switch (n.kind) {
    case Number::Kind::U64:
      return static_cast<double>(n.u);
    case Number::Kind::I64:
      return static_cast<double>(n.i);
    case Number::Kind::F64:
      break;
  }
  return n.f;
}

void Reader::read_unit() {
  int c = peek_ws();
  if (c == 'n') {
    ++i_;
    ident("ull");
    return;
  }
  if (c == -1) fail_peek("EOF while parsing a value");
  invalid_type("unit");
}

bool Reader::take_null() {
  if (peek_ws() != 'n') return false;
  ++i_;
  ident("ull");
  return true;
}

void Reader::invalid_type(std::string_view expected) {
  std::string found;
  int c = peek();
  switch (c) {
    case 'n':
      ++i_;
      ident("ull");
      found = "null";
      break;
    case 't':
      ++i_;
      ident("rue");
      found = "boolean `true`";
      break;
    case 'f':
      ++i_;
      ident("alse");
      found = "boolean `false`";
      break;
    case '"':
      found = describe_string(string_token());
      break;
    case '[':
      found = "sequence";
      break;
    case '{':
      found = "map";
      break;
    default:
      if (c == '-' || is_digit(c)) {
        found = describe_number(number_token());
        break;
      }
      fail_peek("expected value");
  }
  std::string message = "invalid type: ";
  message += found;
  message += ", expected ";
  message += expected;
  fail_here(std::move(message));
}

void Reader::colon() {
  int c = peek_ws();
  if (c == ':') {
    ++i_;
    return;
  }
  if (c == -1) fail_peek("EOF while parsing an object");
  fail_peek("expected `:`");
}

void Reader::finish() {
  if (peek_ws() != -1) fail_peek("trailing characters");
}

// --- Skipping ----------------------------------------------------------------------------------

void Reader::skip_string() {
  ++i_;  // the opening quote
  for (;;) {
    i_ = plain_run_end(p_, i_, n_);
    if (i_ >= n_) fail_here("EOF while parsing a string");
    char c = p_[i_];
    if (c == '"') {
      ++i_;
      return;
    }
    // A skipped string reports a control character at the character itself.
    if (c != '\\') fail_here("control character (\\u0000-\\u001F) found while parsing a string");
    ++i_;
    if (i_ >= n_) fail_here("EOF while parsing a string");
    char e = p_[i_++];
    if (e == 'u')
      hex4();  // only the form counts here, not which code point it names
    else if (!kUnescaped[static_cast<unsigned char>(e)])
      fail_here("invalid escape");
  }
}

void Reader::skip_number() {
  // Syntax only: the value of a skipped number is never needed, so its range is not checked.
  int c = peek();
  if (c != -1) ++i_;
  if (c == '0') {
    if (is_digit(peek())) fail_peek("invalid number");
  } else if (c >= '1' && c <= '9') {
    while (is_digit(peek())) ++i_;
  } else {
    fail_here("invalid number");
  }
  number_tail(/*skipping=*/true);
}

void Reader::skip_value() {
  // An explicit stack of open brackets: skipped values are not limited in depth.
  std::string stack;
  char enclosing = 0;
  for (;;) {
    int c = peek_ws();
    if (c == -1) fail_peek("EOF while parsing a value");
    char frame = 0;
    switch (c) {
      case 'n':
        ++i_;
        ident("ull");
        break;
      case 't':
        ++i_;
        ident("rue");
        break;
      case 'f':
        ++i_;
        ident("alse");
        break;
      case '-':
        ++i_;
        skip_number();
        break;
      case '"':
        skip_string();
        break;
      case '[':
      case '{':
        if (enclosing) stack.push_back(enclosing);
        enclosing = 0;
        ++i_;
        frame = static_cast<char>(c);
        break;
      default:
        if (!is_digit(c)) fail_peek("expected value");
        skip_number();
    }
    bool accept_comma;
    if (frame) {
      accept_comma = false;
    } else if (enclosing) {
      frame = enclosing;
      enclosing = 0;
      accept_comma = true;
    } else if (!stack.empty()) {
      frame = stack.back();
      stack.pop_back();
      accept_comma = true;
    } else {
      return;
    }
    for (;;) {
      c = peek_ws();
      if (c == ',' && accept_comma) {
        ++i_;
        break;
      }
      bool closes = (c == ']' && frame == '[') || (c == '}' && frame == '{');
      if (!closes) {
        if (c == -1)
          fail_peek(frame == '[' ? "EOF while parsing a list" : "EOF while parsing an object");
        if (accept_comma) fail_peek(frame == '[' ? "expected `,` or `]`" : "expected `,` or `}`");
        break;
      }
      ++i_;
      if (stack.empty()) return;
      frame = stack.back();
      stack.pop_back();
      accept_comma = true;
    }
    if (frame == '{') {
      c = peek_ws();
      if (c == '"')
        skip_string();
      else if (c == -1)
        fail_peek("EOF while parsing an object");
      else
        fail_peek("key must be a string");
      colon();
    }
    enclosing = frame;
  }
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
    if (peek_ws() == ']') fail_peek("trailing comma");
    fail_peek("trailing characters");
  }
  if (c == -1) fail_peek("EOF while parsing a list");
  fail_peek("trailing characters");
}

void Reader::end_map() {
  int c = peek_ws();
  if (c == '}') {
    ++i_;
    return;
  }
  if (c == ',') fail_peek("trailing comma");
  if (c == -1) fail_peek("EOF while parsing an object");
  fail_peek("trailing characters");
}

bool Reader::Elements::next() {
  return r_.next_item(first_, ']', "EOF while parsing a list", "expected `,` or `]`");
}

bool Reader::Members::next(std::string_view& key) {
  if (!r_.next_item(first_, '}', "EOF while parsing an object", "expected `,` or `}`"))
    return false;
  if (r_.peek() != '"') r_.fail_peek("key must be a string");
  key = r_.string_token();
  return true;
}

// --- Descriptions ------------------------------------------------------------------------------

std::string describe_number(const Number& n) {
  switch (n.kind) {
    case Number::Kind::U64:
      return "integer `" + std::to_string(n.u) + "`";
    case Number::Kind::I64:
      return "integer `" + std::to_string(n.i) + "`";
    case Number::Kind::F64:
      break;
  }
  char buf[32];
  std::size_t len = format_double(n.f, buf, /*plus_sign=*/false);
  return "floating point `" + std::string(buf, len) + "`";
}

std::string describe_string(std::string_view s) {
  // The string quoted with its special and non-printable characters escaped.
  std::string out = "string \"";
  static constexpr char kHex[] = "0123456789abcdef";
  auto escape_code = [&](std::uint32_t cp) {
    out += "\\u{";
    bool started = false;
    for (int shift = 20; shift >= 0; shift -= 4) {
      unsigned digit = (cp >> shift) & 15;
      if (digit || started || shift == 0) {
        out.push_back(kHex[digit]);
        started = true;
      }
    }
    out.push_back('}');
  };
  for (std::size_t k = 0; k < s.size();) {
    unsigned char b = static_cast<unsigned char>(s[k]);
    if (b < 0x80) {
      switch (b) {
        case '"':
          out += "\\\"";
          break;
        case '\\':
          out += "\\\\";
          break;
        case '\t':
          out += "\\t";
          break;
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case 0:
          out += "\\0";
          break;
        default:
          if (b < 0x20 || b == 0x7F)
            escape_code(b);
          else
            out.push_back(static_cast<char>(b));
      }
      ++k;
      continue;
    }
    std::size_t len = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
    if (k + len > s.size()) len = s.size() - k;
    std::uint32_t cp = b & (0xFF >> (len + 1));
    for (std::size_t m = 1; m < len; ++m) cp = (cp << 6) | (s[k + m] & 0x3F);
    // C1 controls and the invisible format characters are shown escaped.
    bool hidden = (cp >= 0x80 && cp < 0xA0) || cp == 0xAD || (cp >= 0x200B && cp <= 0x200F) ||
                  (cp >= 0x2028 && cp <= 0x202E) || (cp >= 0x2060 && cp <= 0x2064) || cp == 0xFEFF;
    if (hidden)
      escape_code(cp);
    else
      out.append(s.substr(k, len));
    k += len;
  }
  out.push_back('"');
  return out;
}

}  // namespace vorlik::json
