// Scanning runs of string bytes: most strings, read or written, need no attention from end to
// end, so their bytes are tested many at a time: sixteen with SSE2 (the x86-64 baseline) or NEON
// (the AArch64 baseline), eight in a 64-bit word elsewhere and for the last bytes before the end.
// Defining VORLIK_PORTABLE_SCAN leaves out the vector loops, so that the word loop, which other
// machines run from the first byte, is tested on these two as well.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(VORLIK_PORTABLE_SCAN)
#elif defined(__SSE2__)
#define VORLIK_SCAN_SSE2
#include <emmintrin.h>
#elif defined(__ARM_NEON) && !defined(__ARM_BIG_ENDIAN)
#define VORLIK_SCAN_NEON
#include <arm_neon.h>
#endif

#include "jsonio/chars.hpp"

namespace vorlik::json {

// A word's bytes that are a quote, a backslash or a control character, flagged by their high
// bit. Exact for bytes up to 0x7F and for the lowest byte flagged (borrows only run upwards);
// bytes above 0x7F are never flagged by themselves.
constexpr std::uint64_t string_special_bytes(std::uint64_t v) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  const std::uint64_t quote = v ^ (kOnes * '"');
  const std::uint64_t backslash = v ^ (kOnes * '\\');
  return (((quote - kOnes) & ~quote) | ((backslash - kOnes) & ~backslash) |
          ((v - kOnes * 0x20) & ~v)) &
         (kOnes * 0x80);
}

// The index of the first byte in p[i, n) that is a quote, a backslash or a control character;
// n when there is none. Reads nothing outside p[0, n).
[[gnu::always_inline]] inline std::size_t find_string_special(const char* p, std::size_t i,
                                                              std::size_t n) {
#if defined(VORLIK_SCAN_SSE2)
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
#elif defined(VORLIK_SCAN_NEON)
  const uint8x16_t quotes = vdupq_n_u8('"');
  const uint8x16_t backslashes = vdupq_n_u8('\\');
  const uint8x16_t space = vdupq_n_u8(0x20);
  while (i + 16 <= n) {
    const uint8x16_t v = vld1q_u8(reinterpret_cast<const std::uint8_t*>(p + i));
    const uint8x16_t hits =
        vorrq_u8(vorrq_u8(vceqq_u8(v, quotes), vceqq_u8(v, backslashes)), vcltq_u8(v, space));
    // Narrowing each 16-bit lane by four bits leaves four bits per byte, in byte order.
    const std::uint64_t mask =
        vget_lane_u64(vreinterpret_u64_u8(vshrn_n_u16(vreinterpretq_u16_u8(hits), 4)), 0);
    if (mask != 0) return i + static_cast<std::size_t>(std::countr_zero(mask) >> 2);
    i += 16;
  }
#endif
  if constexpr (std::endian::native == std::endian::little) {
    while (i + 8 <= n) {
      std::uint64_t v;
      std::memcpy(&v, p + i, 8);
      if (const std::uint64_t hits = string_special_bytes(v))
        return i + static_cast<std::size_t>(std::countr_zero(hits) >> 3);
      i += 8;
    }
  }
  while (i < n && !is_string_special(static_cast<unsigned char>(p[i]))) ++i;
  return i;
}

// Whether the `n` bytes at `p` are ASCII without quote, backslash or control character: text
// that needs neither escaping nor a UTF-8 check. `wide` tells whether a byte above 0x7F was
// seen. `avail` bytes from `p` on may be read (at least n): the last few bytes are then read as
// one word.
inline bool is_plain_ascii(const char* p, std::size_t n, std::size_t avail, bool& wide) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL, kHigh = kOnes * 0x80;
  std::uint64_t hits = 0, high = 0;
  std::size_t k = 0;
  for (; k + 8 <= n; k += 8) {
    std::uint64_t v;
    std::memcpy(&v, p + k, 8);
    hits |= string_special_bytes(v);
    high |= v;
  }
  if (k < n) {
    const std::size_t rest = n - k;  // 1..7
    std::uint64_t v = 0;
    if (avail - k >= 8)
      std::memcpy(&v, p + k, 8);
    else
      std::memcpy(&v, p + k, rest);
    // The bytes past the end become plain letters.
    const std::uint64_t keep = std::endian::native == std::endian::little
                                   ? (std::uint64_t{1} << (8 * rest)) - 1
                                   : ~(~std::uint64_t{0} >> (8 * rest));
    v = (v & keep) | (kOnes * 'a' & ~keep);
    hits |= string_special_bytes(v);
    high |= v;
  }
  wide = (high & kHigh) != 0;
  return hits == 0 && !wide;
}

}  // namespace vorlik::json
