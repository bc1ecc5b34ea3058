// Writing unsigned integers in decimal. std::to_chars takes the digits two at a time off the
// whole 64-bit value, one long chain of 64-bit divisions. Numbers of more than eight digits
// (the 16 and 17 digit significands of doubles above all) are cut into blocks of eight digits
// here, each written with 32-bit arithmetic, which takes a third to a half less time; shorter
// numbers, where std::to_chars is quicker, are left to it.
#pragma once

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace vorlik::json {

namespace digits_detail {

inline constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

inline void pair(char* at, std::uint32_t v) {
  std::memcpy(at, kPairs + std::size_t{2} * v, 2);
}

// Exactly eight digits, leading zeros included, of v < 10^8.
inline void eight(char* at, std::uint32_t v) {
  const std::uint32_t high = v / 10000, low = v % 10000;
  pair(at, high / 100);
  pair(at + 2, high % 100);
  pair(at + 4, low / 100);
  pair(at + 6, low % 100);
}

}  // namespace digits_detail

// The number of decimal digits of v, 1 to 20.
inline int decimal_length(std::uint64_t v) {
  static constexpr std::uint64_t kPowers[20] = {1ULL,
                                                10ULL,
                                                100ULL,
                                                1000ULL,
                                                10000ULL,
                                                100000ULL,
                                                1000000ULL,
                                                10000000ULL,
                                                100000000ULL,
                                                1000000000ULL,
                                                10000000000ULL,
                                                100000000000ULL,
                                                1000000000000ULL,
                                                10000000000000ULL,
                                                100000000000000ULL,
                                                1000000000000000ULL,
                                                10000000000000000ULL,
                                                100000000000000000ULL,
                                                1000000000000000000ULL,
                                                10000000000000000000ULL};
  // floor(log10(2) * bit width) is the length or one less. Zero counts as one: v | 1 keeps
  // every other comparison (the powers above one are even).
  const std::uint64_t u = v | 1;
  const auto t = static_cast<int>((std::bit_width(u) * 1233) >> 12);
  return t + (u >= kPowers[t] ? 1 : 0);
}

// Writes the digits of v at `out` (20 bytes are enough); returns the end.
inline char* write_decimal(std::uint64_t v, char* out) {
  using namespace digits_detail;
  if (v < 100000000) return std::to_chars(out, out + 8, v).ptr;
  char* end = out + decimal_length(v);
  char* p = end;
  while (v >= 100000000) {
    p -= 8;
    eight(p, static_cast<std::uint32_t>(v % 100000000));
    v /= 100000000;
  }
  auto w = static_cast<std::uint32_t>(v);
  while (w >= 100) {
    p -= 2;
    pair(p, w % 100);
    w /= 100;
  }
  if (w >= 10)
    pair(p - 2, w);
  else
    p[-1] = static_cast<char>('0' + w);
  return end;
}

}  // namespace vorlik::json
