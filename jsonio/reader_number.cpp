// Reading and skipping numbers.
#include <limits>

#include "jsonio/chars.hpp"
#include "jsonio/number.hpp"
#include "jsonio/reader.hpp"

namespace vorlik::json {

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
    if (!any) fail_peek(!skipping && i_ >= n_ ? msg::kEofValue : msg::kInvalidNumber);
    fraction_or_exponent = true;
    d = peek();
  }
  if (d == 'e' || d == 'E') {
    ++i_;
    d = peek();
    if (d == '+' || d == '-') ++i_;
    if (i_ >= n_) fail_here(skipping ? msg::kInvalidNumber : msg::kEofValue);
    if (!is_digit(static_cast<unsigned char>(p_[i_++]))) fail_here(msg::kInvalidNumber);
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
  if (i_ >= n_) fail_here(msg::kEofValue);
  char c = p_[i_++];
  std::uint64_t significand = 0;
  bool is_float = false;
  if (c == '0') {
    if (is_digit(peek())) fail_peek(msg::kInvalidNumber);
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
    fail_here(msg::kInvalidNumber);
  }
  if (number_tail(/*skipping=*/false)) is_float = true;
  if (!is_float) {
    if (!negative) return Number::of_u64(significand);
    if (significand == 0) return Number::of_f64(-0.0);
    if (significand <= (std::uint64_t{1} << 63))
      return Number::of_i64(static_cast<std::int64_t>(0 - significand));
    return Number::of_f64(-static_cast<double>(significand));
  }
  const auto v = decimal_to_double(p_ + start, p_ + i_);
  if (!v) fail_here(msg::kNumberOutOfRange);
  return Number::of_f64(*v);
}

void Reader::skip_number() {
  // Syntax only: the value of a skipped number is never needed, so its range is not checked.
  if (p_[i_] == '-') ++i_;
  int c = peek();
  if (c != -1) ++i_;
  if (c == '0') {
    if (is_digit(peek())) fail_peek(msg::kInvalidNumber);
  } else if (c >= '1' && c <= '9') {
    while (is_digit(peek())) ++i_;
  } else {
    fail_here(msg::kInvalidNumber);
  }
  number_tail(/*skipping=*/true);
}

}  // namespace vorlik::json
