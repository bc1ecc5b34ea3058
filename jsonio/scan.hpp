// Scanning runs of string bytes: most strings, read or written, need no attention from end to
// end, so their bytes are tested many at a time: sixteen with SSE2 (the x86-64 baseline), eight
// in a 64-bit word elsewhere and for the last bytes before the end.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "jsonio/chars.hpp"

namespace vorlik::json {

// The index of the first byte in p[i, n) that is a quote, a backslash or a control character;
// n when there is none. Reads nothing outside p[0, n).
[[gnu::always_inline]] inline std::size_t find_string_special(const char* p, std::size_t i,
                                                              std::size_t n) {
#if defined(__SSE2__)
  const __m128i quotes = _mm_set1_epi8('"');
  const __m128i backslashes = _mm_set1_epi8('\\');
  const __m128i controls = _mm_set1_epi8(0x1f);
  while (i + 16 <= n) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    // A byte is a control character when the unsigned minimum with 0x1f leaves it unchanged.
    const __m128i hits =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, quotes), _mm_cmpeq_epi8(v, backslashes)),
                     _mm_cmpeq_epi8(_mm_min_epu8(v, controls), v));
    if (const int mask = _mm_movemask_epi8(hits))
      return i + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(mask)));
    i += 16;
  }
#endif
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
    while (i + 8 <= n) {
      std::uint64_t v;
      std::memcpy(&v, p + i, 8);
      std::uint64_t quote = v ^ (kOnes * '"');
      std::uint64_t backslash = v ^ (kOnes * '\\');
      std::uint64_t hits = ((quote - kOnes) & ~quote) | ((backslash - kOnes) & ~backslash) |
                           ((v - kOnes * 0x20) & ~v);
      // The lowest flagged byte is always a true hit (borrows only run upwards).
      if (hits &= kHigh) return i + static_cast<std::size_t>(std::countr_zero(hits) >> 3);
      i += 8;
    }
  }
  while (i < n && !is_string_special(static_cast<unsigned char>(p[i]))) ++i;
  return i;
}

}  // namespace vorlik::json
