// Comparing two byte ranges as memcmp does, a word at a time: what the WebAssembly module uses as
// its memcmp (memcmp.cpp). Most ranges are short (member names), so a range of 4 to 16 bytes
// takes two words, the second overlapping the first where the length is not a multiple.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vorlik::wasm {

static_assert(std::endian::native == std::endian::little);

namespace detail {

template <class Word>
Word load(const unsigned char* p) noexcept {
  Word w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

// The sign of the first differing byte of two unequal words: the lowest one that differs.
template <class Word>
int differ(Word x, Word y) noexcept {
  const int shift = std::countr_zero(static_cast<Word>(x ^ y)) & ~7;
  return static_cast<int>((x >> shift) & 0xff) - static_cast<int>((y >> shift) & 0xff);
}

// Whole words from p and q, then the last word of the range, which may overlap the one before:
// its bytes before the end of that one are known equal, so its first difference is the range's.
template <class Word>
int compare_words(const unsigned char* p, const unsigned char* q, std::size_t n) noexcept {
  constexpr std::size_t kSize = sizeof(Word);
  for (std::size_t at = 0; at + kSize < n; at += kSize) {
    const Word x = load<Word>(p + at);
    const Word y = load<Word>(q + at);
    if (x != y) return differ(x, y);
  }
  const Word x = load<Word>(p + n - kSize);
  const Word y = load<Word>(q + n - kSize);
  return x != y ? differ(x, y) : 0;
}

}  // namespace detail

// Negative, zero or positive as the first differing byte of p is below, absent or above q's.
inline int compare_bytes(const unsigned char* p, const unsigned char* q, std::size_t n) noexcept {
  if (n >= 8) return detail::compare_words<std::uint64_t>(p, q, n);
  if (n >= 4) return detail::compare_words<std::uint32_t>(p, q, n);
  for (; n > 0; --n, ++p, ++q) {
    if (*p != *q) return *p - *q;
  }
  return 0;
}

}  // namespace vorlik::wasm
