// The names of a table (a record's fields, a tagged union's variants) and how readers find them.
//
// The exact reader compares a name read from the text with each name of the table. The fast
// readers match a member's key where it stands in compact text, quoted and followed by its
// colon, as a literal: told apart by its first letter and compared eight bytes at a time, a
// known name costs a few instructions instead of a scan. The tables are constants, and the match
// is unrolled over their names, so the compiler writes each name's letter, words and masks into
// the code as immediates.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <utility>

namespace vorlik::json {

[[gnu::always_inline]] inline bool same_name(std::string_view a, std::string_view b) {
  // Most names of a table differ in length or in the first byte, and the rest are short enough
  // that a loop costs less than the call to memcmp.
  const std::size_t n = a.size();
  if (n != b.size()) return false;
  if (n == 0) return true;
  if (a[0] != b[0]) return false;
  if (n > 16) return std::memcmp(a.data(), b.data(), n) == 0;
  for (std::size_t k = 1; k < n; ++k)
    if (a[k] != b[k]) return false;
  return true;
}

// The index of `name` in `names`, or -1.
inline int name_index(std::string_view name, std::span<const std::string_view> names) {
  for (std::size_t k = 0; k < names.size(); ++k)
    if (same_name(names[k], name)) return static_cast<int>(k);
  return -1;
}

template <std::size_t N>
class Names {
  static_assert(N > 0 && N < 128);

 public:
  // Every name up to 13 bytes long, so that `"name":` takes 16 at most.
  constexpr explicit Names(const std::array<std::string_view, N>& names) : names_(names) {
    for (std::size_t k = 0; k < N; ++k) {
      const std::string_view name = names[k];
      if (name.empty() || name.size() > kLongest) throw "a name for matching in place is too long";
      lead_[k] = name[0];
      length_[k] = static_cast<std::uint8_t>(name.size() + 3);
      char quoted[16] = {};
      quoted[0] = '"';
      for (std::size_t j = 0; j < name.size(); ++j) quoted[j + 1] = name[j];
      quoted[name.size() + 1] = '"';
      quoted[name.size() + 2] = ':';
      for (std::size_t half = 0; half < 2; ++half) {
        std::uint64_t bytes = 0, mask = 0;
        for (std::size_t j = 0; j < 8; ++j) {
          const std::size_t at = 8 * half + j;
          const std::size_t shift = 8 * (std::endian::native == std::endian::little ? j : 7 - j);
          bytes |= std::uint64_t{static_cast<unsigned char>(quoted[at])} << shift;
          if (at < length_[k]) mask |= std::uint64_t{0xFF} << shift;
        }
        bytes_[2 * k + half] = bytes;
        mask_[2 * k + half] = mask;
      }
    }
  }

  static constexpr std::size_t size() { return N; }
  constexpr std::string_view operator[](std::size_t k) const { return names_[k]; }
  // All of them, in order, as messages list them.
  constexpr std::span<const std::string_view> list() const { return names_; }

  // The index of `name`, or -1.
  int find(std::string_view name) const { return name_index(name, names_); }

  // At `p`, where a member's key may start: the index of the name that stands there as
  // `"name":`, with `p` moved past the colon; -1, `p` left as it was, for anything else.
  [[gnu::always_inline]] int match(const char*& p, const char* end) const {
    if (end - p < 16) return match_near_end(p, end);
    std::uint64_t low, high;
    std::memcpy(&low, p, 8);
    std::memcpy(&high, p + 8, 8);
    return match_words(p, p[1], low, high, std::make_index_sequence<N>());
  }

 private:
  static constexpr std::size_t kLongest = 13;

  template <std::size_t... K>
  [[gnu::always_inline]] int match_words(const char*& p, char lead, std::uint64_t low,
                                         std::uint64_t high, std::index_sequence<K...>) const {
    int found = -1;
    (void)((lead == lead_[K] && (low & mask_[2 * K]) == bytes_[2 * K] &&
            (high & mask_[2 * K + 1]) == bytes_[2 * K + 1] &&
            (p += length_[K], found = static_cast<int>(K), true)) ||
           ...);
    return found;
  }

  int match_near_end(const char*& p, const char* end) const {
    for (std::size_t k = 0; k < N; ++k) {
      const std::string_view name = names_[k];
      const std::size_t n = name.size();
      if (static_cast<std::size_t>(end - p) >= n + 3 && p[0] == '"' && p[n + 1] == '"' &&
          p[n + 2] == ':' && std::memcmp(p + 1, name.data(), n) == 0) {
        p += n + 3;
        return static_cast<int>(k);
      }
    }
    return -1;
  }

  std::array<std::string_view, N> names_;
  std::array<std::uint64_t, 2 * N> bytes_{};  // `"name":` in two words, zero past its end
  std::array<std::uint64_t, 2 * N> mask_{};   // the bytes of each word that belong to it
  std::array<std::uint8_t, N> length_{};      // of `"name":`
  std::array<char, N> lead_{};                // each name's first letter
};

}  // namespace vorlik::json
