#include "jsonio/writer.hpp"

#include <dragonbox/dragonbox.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "jsonio/chars.hpp"
#include "jsonio/digits.hpp"
#include "jsonio/scan.hpp"

namespace vorlik::json {

std::size_t format_double(double value, char* buf, bool plus_sign) {
  if (!std::isfinite(value)) {
    std::memcpy(buf, "null", 4);
    return 4;
  }
  char* out = buf;
  if (std::signbit(value)) {
    *out++ = '-';
    value = -value;
  }
  if (value == 0.0) {
    std::memcpy(out, "0.0", 3);
    return static_cast<std::size_t>(out + 3 - buf);
  }
  // The shortest digits that read back as `value`, the closest of them when several are as
  // short: value = significand * 10^exponent, without trailing zeros.
  const auto decimal = jkj::dragonbox::to_decimal(value, jkj::dragonbox::policy::sign::ignore,
                                                  jkj::dragonbox::policy::trailing_zero::remove);
  char digits[20];
  const auto count = static_cast<std::size_t>(write_decimal(decimal.significand, digits) - digits);
  const int ndigits = static_cast<int>(count);
  // The exponent of the scientific form d[.ddd]e±XX.
  int exp = decimal.exponent + ndigits - 1;

  if (exp >= -5 && exp <= 15) {
    if (exp < 0) {
      *out++ = '0';
      *out++ = '.';
      for (int k = -1; k > exp; --k) *out++ = '0';
      std::memcpy(out, digits, count);
      out += count;
    } else if (ndigits <= exp + 1) {
      std::memcpy(out, digits, count);
      out += count;
      for (int k = ndigits; k <= exp; ++k) *out++ = '0';
      *out++ = '.';
      *out++ = '0';
    } else {
      const auto whole = static_cast<std::size_t>(exp) + 1;
      std::memcpy(out, digits, whole);
      out += whole;
      *out++ = '.';
      std::memcpy(out, digits + whole, count - whole);
      out += count - whole;
    }
  } else {
    *out++ = digits[0];
    if (ndigits > 1) {
      *out++ = '.';
      std::memcpy(out, digits + 1, count - 1);
      out += count - 1;
    }
    *out++ = 'e';
    if (exp < 0) {
      *out++ = '-';
      exp = -exp;
    } else if (plus_sign) {
      *out++ = '+';
    }
    out = write_decimal(static_cast<std::uint64_t>(exp), out);
  }
  return static_cast<std::size_t>(out - buf);
}

namespace {

// The letter of a short escape, or 'u' for \u00XX, for each byte find_string_special stops at.
constexpr auto kEscape = [] {
  struct Table {
    char c[256];
  } t{};
  for (int b = 0; b < 0x20; ++b) t.c[b] = 'u';
  constexpr std::string_view bytes = "\b\t\n\f\r\"\\", letters = "btnfr\"\\";
  for (std::size_t k = 0; k < bytes.size(); ++k)
    t.c[static_cast<unsigned char>(bytes[k])] = letters[k];
  return t;
}();

}  // namespace

std::size_t escaped_form(std::uint32_t code_point, char* out) {
  if (code_point >= 0x80) return 0;
  const char e = kEscape.c[code_point];
  if (e == 0) return 0;
  out[0] = '\\';
  out[1] = e;
  if (e != 'u') return 2;
  out[2] = '0';
  out[3] = '0';
  out[4] = kHexDigits[code_point >> 4];
  out[5] = kHexDigits[code_point & 15];
  return 6;
}

namespace {
// The string's own growth doubles its capacity; only a stretch about to be written is cleared.
constexpr std::size_t kStretch = 4096;
}  // namespace

void Writer::grow(std::size_t n) {
  std::size_t size = used_ + (n > kStretch ? n : kStretch);
  // A stretch never runs past capacity that was reserved: that would move the whole text.
  if (size > out_.capacity() && used_ + n <= out_.capacity()) size = out_.capacity();
  out_.resize(size);
}

void Writer::append_beyond(std::string_view s) {
  if (s.size() <= kStretch) {
    grow(s.size());
    std::memcpy(out_.data() + used_, s.data(), s.size());
    used_ += s.size();
    return;
  }
  out_.resize(used_);
  out_.append(s);
  used_ = out_.size();
}

void Writer::scanned_string(std::string_view s) {
  const std::size_t first = find_string_special(s.data(), 0, s.size());
  if (first == s.size()) {
    plain_string(s);
    return;
  }
  raw('"');
  std::size_t start = 0;
  for (std::size_t k = first; k < s.size(); k = find_string_special(s.data(), k + 1, s.size())) {
    raw(s.substr(start, k - start));
    start = k + 1;
    char escape[6];
    raw(std::string_view(escape, escaped_form(static_cast<unsigned char>(s[k]), escape)));
  }
  raw(s.substr(start));
  raw('"');
}

void Writer::u64(std::uint64_t v) {
  advance(write_decimal(v, room(24)));
}

void Writer::i64(std::int64_t v) {
  char* p = room(24);
  // The magnitude in unsigned arithmetic: -INT64_MIN does not fit the signed type.
  auto magnitude = static_cast<std::uint64_t>(v);
  if (v < 0) {
    *p++ = '-';
    magnitude = ~magnitude + 1;
  }
  advance(write_decimal(magnitude, p));
}

void Writer::f64(double v) {
  char* p = room(32);
  advance(p + format_double(v, p));
}

void Writer::number(const Number& n) {
  visit(n, [this](auto v) {
    if constexpr (std::is_same_v<decltype(v), std::uint64_t>)
      u64(v);
    else if constexpr (std::is_same_v<decltype(v), std::int64_t>)
      i64(v);
    else
      f64(v);
  });
}

}  // namespace vorlik::json
