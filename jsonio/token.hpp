// The tokens of JSON text, scanned once for every reader: white space, the literals, strings
// and their escapes, numbers and their kind.
//
// The scanners work on a range of bytes and place no error. On a fault they tell which one and
// where they stopped: just after the byte that decided it, or at the end of the text when the
// token was cut off there. The exact reader turns that into its description and position; the
// fast cursor gives up.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "jsonio/chars.hpp"
#include "jsonio/number.hpp"
#include "jsonio/scan.hpp"

namespace vorlik::json::token {

enum class Fault : std::uint8_t {
  None,
  Truncated,         // the text ends inside the token
  Literal,           // true, false or null misspelt
  Number,            // a malformed number
  Escape,            // an escape letter or hexadecimal digit that is none
  LoneSurrogate,     // half of a surrogate pair standing alone
  SurrogatePair,     // a leading surrogate followed by something other than \u
  ControlCharacter,  // a raw control character in a string
};

struct Stop {
  const char* at;  // past the token; where the fault was decided otherwise
  Fault fault = Fault::None;
};

// --- White space ---------------------------------------------------------------------------------

constexpr bool is_space(char c) {
  return c == ' ' || c == '\n' || c == '\t' || c == '\r';
}

// The first byte at or after `p` that is not white space, or `end`.
inline const char* skip_space(const char* p, const char* end) {
  while (p < end && is_space(*p)) {
    ++p;
    // Indentation comes in runs of spaces: step over them eight at a time.
    while (std::endian::native == std::endian::little && end - p >= 8) {
      std::uint64_t w;
      std::memcpy(&w, p, 8);
      if (const std::uint64_t d = w ^ 0x2020202020202020ULL) {
        p += std::countr_zero(d) >> 3;
        break;
      }
      p += 8;
    }
  }
  return p;
}

// --- Literals ------------------------------------------------------------------------------------

// Where `word` and the text part: at the first byte that differs, or the end of the text.
inline Stop literal_fault(const char* p, const char* end, std::string_view word) {
  for (const char c : word) {
    if (p == end) return {end, Fault::Truncated};
    if (*p++ != c) return {p, Fault::Literal};
  }
  return {p};
}

// The literal `word` ("true", "false" or "null") at `p`.
template <std::size_t N>
[[gnu::always_inline]] inline Stop literal(const char* p, const char* end, const char (&word)[N]) {
  constexpr std::size_t n = N - 1;
  if (static_cast<std::size_t>(end - p) >= n && std::memcmp(p, word, n) == 0) return {p + n};
  return literal_fault(p, end, {word, n});
}

// --- Strings -------------------------------------------------------------------------------------

// From `p` inside a string: the closing quote when no escape or control character comes first,
// otherwise the first of them; `end` when there is neither.
[[gnu::always_inline]] inline const char* string_run(const char* p, const char* end) {
  return p + find_string_special(p, 0, static_cast<std::size_t>(end - p));
}

struct Escape {
  const char* at;  // past the escape; where the fault was decided otherwise
  Fault fault = Fault::None;
  std::uint32_t code_point = 0;  // the character it stands for
};

constexpr bool is_leading_surrogate(std::uint32_t n) {
  return n >= 0xD800 && n <= 0xDBFF;
}
constexpr bool is_trailing_surrogate(std::uint32_t n) {
  return n >= 0xDC00 && n <= 0xDFFF;
}

// The byte a one-letter escape stands for; 0 where the letter is none.
constexpr char unescaped(char letter) {
  switch (letter) {
    case '"':
      return '"';
    case '\\':
      return '\\';
    case '/':
      return '/';
    case 'b':
      return '\b';
    case 'f':
      return '\f';
    case 'n':
      return '\n';
    case 'r':
      return '\r';
    case 't':
      return '\t';
    default:
      return 0;
  }
}

// The four hexadecimal digits at `p`.
inline Escape hex4(const char* p, const char* end) {
  if (end - p < 4) return {end, Fault::Truncated};
  std::uint32_t n = 0;
  for (int k = 0; k < 4; ++k) {
    const int v = hex_value(p[k]);
    if (v < 0) return {p + k + 1, Fault::Escape};
    n = (n << 4) | static_cast<std::uint32_t>(v);
  }
  return {p + 4, Fault::None, n};
}

// The escape at `p`, a backslash. kFormOnly: a \u escape counts by its four digits alone, as a
// string that is stepped over is checked; otherwise surrogates must come in pairs.
template <bool kFormOnly = false>
inline Escape escape(const char* p, const char* end) {
  if (end - p < 2) return {end, Fault::Truncated};
  const char letter = p[1];
  if (letter != 'u') {
    const char byte = unescaped(letter);
    if (byte == 0) return {p + 2, Fault::Escape};
    return {p + 2, Fault::None, static_cast<unsigned char>(byte)};
  }
  Escape e = hex4(p + 2, end);
  if (kFormOnly || e.fault != Fault::None) return e;
  if (is_trailing_surrogate(e.code_point)) return {e.at, Fault::LoneSurrogate};
  if (!is_leading_surrogate(e.code_point)) return e;
  // A leading surrogate must be followed by the escape of a trailing one.
  const char* q = e.at;
  for (const char expected : {'\\', 'u'}) {
    if (q == end) return {end, Fault::Truncated};
    if (*q++ != expected) return {q, Fault::SurrogatePair};
  }
  const Escape low = hex4(q, end);
  if (low.fault != Fault::None) return low;
  if (!is_trailing_surrogate(low.code_point)) return {low.at, Fault::LoneSurrogate};
  return {low.at, Fault::None,
          (((e.code_point - 0xD800) << 10) | (low.code_point - 0xDC00)) + 0x10000};
}

// The end of the string whose opening quote is at `p`, stepped over: just past its closing quote.
// Escapes count by their form only.
inline Stop skip_string(const char* p, const char* end) {
  for (++p;;) {
    p = string_run(p, end);
    if (p == end) return {end, Fault::Truncated};
    if (*p == '"') return {p + 1};
    if (*p != '\\') return {p + 1, Fault::ControlCharacter};
    const Escape e = escape</*kFormOnly=*/true>(p, end);
    if (e.fault != Fault::None) return {e.at, e.fault};
    p = e.at;
  }
}

// --- Numbers -------------------------------------------------------------------------------------

struct NumberToken {
  const char* at;  // past the number; where the fault was decided otherwise
  Fault fault;     // None, Truncated or Number
  bool negative;
  bool integral;            // neither a fraction nor an exponent
  bool wide;                // integral, but more than 64 bits
  std::uint64_t magnitude;  // the integer, when integral and not wide

  // An integer of the reader's kinds: without fraction or exponent, non-negative within 64 bits
  // (unsigned) or negative within them (signed). -0 and the rest are doubles.
  bool is_integer() const {
    return integral && !wide &&
           (!negative || (magnitude != 0 && magnitude <= (std::uint64_t{1} << 63)));
  }
  // An integer within the signed 64-bit range.
  bool is_i64() const {
    return is_integer() && (negative || magnitude <= std::uint64_t{INT64_MAX});
  }
};

namespace detail {

[[gnu::always_inline]] inline const char* digits(const char* p, const char* end) {
  while (p < end && is_digit(*p)) ++p;
  return p;
}

// After a fraction's point or an exponent's letter (and sign): at least one digit.
[[gnu::always_inline]] inline const char* required_digits(const char* p, const char* end,
                                                          NumberToken& t) {
  if (p == end) {
    t.fault = Fault::Truncated;
    return end;
  }
  if (!is_digit(*p)) {
    t.fault = Fault::Number;
    return p + 1;
  }
  return digits(p + 1, end);
}

// The digits [first, last) are more than 19: whether they still fit 64 bits.
inline bool fits_u64(const char* first, const char* last, std::uint64_t& value) {
  if (last - first > 20) return false;
  std::uint64_t v = 0;
  for (const char* d = first; d < last - 1; ++d) v = v * 10 + static_cast<std::uint64_t>(*d - '0');
  return !__builtin_mul_overflow(v, 10, &v) &&
         !__builtin_add_overflow(v, static_cast<std::uint64_t>(last[-1] - '0'), &value);
}

}  // namespace detail

// The number at `p`, a '-' or a digit: where it ends and what kind it is.
[[gnu::always_inline]] inline NumberToken scan_number(const char* p, const char* end) {
  NumberToken t{p, Fault::None, *p == '-', true, false, 0};
  const char* q = p + (t.negative ? 1 : 0);
  if (q == end) return {end, Fault::Truncated, t.negative, true, false, 0};
  const char* const first = q;
  if (*q == '0') {
    ++q;
    if (q < end && is_digit(*q)) return {q + 1, Fault::Number, t.negative, true, false, 0};
  } else if (is_digit(*q)) {
    // Up to 19 digits cannot overflow 64 bits.
    std::uint64_t v = 0;
    for (; q < end && is_digit(*q); ++q) v = v * 10 + static_cast<std::uint64_t>(*q - '0');
    if (q - first > 19) [[unlikely]]
      t.wide = !detail::fits_u64(first, q, v);
    t.magnitude = v;
  } else {
    return {q + 1, Fault::Number, t.negative, true, false, 0};
  }
  if (q < end && *q == '.') {
    t.integral = false;
    q = detail::required_digits(q + 1, end, t);
    if (t.fault != Fault::None) {
      t.at = q;
      return t;
    }
  }
  if (q < end && (*q == 'e' || *q == 'E')) {
    t.integral = false;
    ++q;
    if (q < end && (*q == '+' || *q == '-')) ++q;
    q = detail::required_digits(q, end, t);
  }
  t.at = q;
  return t;
}

// The value of a number scanned without fault, in its kind: integers without fraction or
// exponent are unsigned when non-negative and within 64 bits, signed when negative and within
// 64 bits; everything else, -0 included, is a double. std::nullopt when it lies beyond the double
// range.
inline std::optional<Number> number_value(const char* first, const NumberToken& t) {
  if (t.is_integer())
    return t.negative ? Number::of_i64(static_cast<std::int64_t>(0 - t.magnitude))
                      : Number::of_u64(t.magnitude);
  // -0, and negative integers below the signed range.
  if (t.integral && !t.wide) return Number::of_f64(-static_cast<double>(t.magnitude));
  const std::optional<double> v = decimal_to_double(first, t.at);
  if (!v) return std::nullopt;
  return Number::of_f64(*v);
}

}  // namespace vorlik::json::token
