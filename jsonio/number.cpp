#include "jsonio/number.hpp"

#include <fast_float/fast_float.h>

#include <cmath>

namespace vorlik::json {

// fast_float gives the correctly rounded double of any decimal text, however many digits it has,
// on every C++ runtime (the standard library's floating-point from_chars is missing from older
// ones and from some that WebAssembly builds use). A value beyond the double range comes back as
// an infinity; one below it rounds to zero or a subnormal, as it should.
std::optional<double> decimal_to_double(const char* first, const char* last) {
  double v = 0;
  const auto r = fast_float::from_chars(first, last, v);
  if (r.ec != std::errc() || r.ptr != last || std::isinf(v)) return std::nullopt;
  return v;
}

}  // namespace vorlik::json
