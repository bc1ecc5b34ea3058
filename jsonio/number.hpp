// A JSON number as the readers classify it: integers without fraction or exponent are unsigned
// when non-negative and fit 64 bits, signed when negative and fit 64 bits; everything else,
// "-0" included, is a double.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vorlik::json {

struct Number {
  enum class Kind : std::uint8_t { U64, I64, F64 };
  Kind kind = Kind::U64;
  union {
    std::uint64_t u;
    std::int64_t i;
    double f;
  };
  Number() : u(0) {}
  static Number of_u64(std::uint64_t v) {
    Number n;
    n.kind = Kind::U64;
    n.u = v;
    return n;
  }
  static Number of_i64(std::int64_t v) {
    Number n;
    n.kind = Kind::I64;
    n.i = v;
    return n;
  }
  static Number of_f64(double v) {
    Number n;
    n.kind = Kind::F64;
    n.f = v;
    return n;
  }
};

// The double nearest to the decimal number [first, last), which must be JSON number syntax;
// std::nullopt when it lies beyond the double range.
std::optional<double> decimal_to_double(const char* first, const char* last);

// Calls f with the value in its own type: std::uint64_t, std::int64_t or double.
template <class F>
decltype(auto) visit(const Number& n, F&& f) {
  switch (n.kind) {
    case Number::Kind::U64:
      return f(n.u);
    case Number::Kind::I64:
      return f(n.i);
    case Number::Kind::F64:
      break;
  }
  return f(n.f);
}

// Same kind and same value; doubles by IEEE equality (0.0 == -0.0, NaN != NaN).
inline bool operator==(const Number& a, const Number& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case Number::Kind::U64:
      return a.u == b.u;
    case Number::Kind::I64:
      return a.i == b.i;
    case Number::Kind::F64:
      return a.f == b.f;
  }
  return false;
}

}  // namespace vorlik::json
