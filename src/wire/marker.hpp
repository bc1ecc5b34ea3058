// What each of the 256 MessagePack marker bytes announces: the family of the item, how many
// bytes its head takes and where its length or count comes from.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace vorlik::wire {

enum class Family : std::uint8_t { Unused, Nil, Bool, Uint, Int, Float, Str, Bin, Ext, Array, Map };

struct Marker {
  Family family = Family::Unused;
  // Bytes of the head: the marker, then a length or count field, or a scalar's value, or (the
  // fixed ext forms) the whole item.
  std::uint8_t head = 1;
  std::uint8_t field = 0;  // bytes of the big-endian length or count field after the marker
  std::uint8_t mask = 0;   // for the fix forms: the marker's bits holding the length or count
  std::uint8_t extra = 0;  // bytes after the head not counted by the length (ext's type byte)
};

namespace detail {

constexpr std::array<Marker, 256> make_markers() {
  std::array<Marker, 256> t{};
  auto set = [&](unsigned from, unsigned to, Marker m) {
    for (unsigned b = from; b <= to; ++b) t[b] = m;
  };
  using F = Family;
  set(0x00, 0x7F, {F::Uint, 1, 0, 0, 0});
  set(0x80, 0x8F, {F::Map, 1, 0, 0x0F, 0});
  set(0x90, 0x9F, {F::Array, 1, 0, 0x0F, 0});
  set(0xA0, 0xBF, {F::Str, 1, 0, 0x1F, 0});
  t[0xC0] = {F::Nil, 1, 0, 0, 0};
  t[0xC2] = t[0xC3] = {F::Bool, 1, 0, 0, 0};
  for (unsigned k = 0; k < 3; ++k) {
    const auto field = static_cast<std::uint8_t>(1u << k);  // 1, 2, 4
    const auto head = static_cast<std::uint8_t>(1 + field);
    t[0xC4 + k] = {F::Bin, head, field, 0, 0};
    t[0xC7 + k] = {F::Ext, head, field, 0, 1};
    t[0xD9 + k] = {F::Str, head, field, 0, 0};
  }
  t[0xCA] = {F::Float, 5, 0, 0, 0};
  t[0xCB] = {F::Float, 9, 0, 0, 0};
  for (unsigned k = 0; k < 4; ++k) {
    const auto head = static_cast<std::uint8_t>(1 + (1u << k));  // 2, 3, 5, 9
    t[0xCC + k] = {F::Uint, head, 0, 0, 0};
    t[0xD0 + k] = {F::Int, head, 0, 0, 0};
  }
  for (unsigned k = 0; k < 5; ++k)  // fixext 1, 2, 4, 8, 16: marker, type, data
    t[0xD4 + k] = {F::Ext, static_cast<std::uint8_t>(2 + (1u << k)), 0, 0, 0};
  t[0xDC] = {F::Array, 3, 2, 0, 0};
  t[0xDD] = {F::Array, 5, 4, 0, 0};
  t[0xDE] = {F::Map, 3, 2, 0, 0};
  t[0xDF] = {F::Map, 5, 4, 0, 0};
  set(0xE0, 0xFF, {F::Int, 1, 0, 0, 0});
  return t;
}

}  // namespace detail

inline constexpr std::array<Marker, 256> kMarkers = detail::make_markers();

// Big-endian unsigned value of `bytes` bytes (at most 8) at `s`.
inline std::uint64_t read_be(const unsigned char* s, unsigned bytes) {
  std::uint64_t v = 0;
  for (unsigned k = 0; k < bytes; ++k) v = (v << 8) | s[k];
  return v;
}

// The float 32 or float 64 whose big-endian bits stand at `s` (copied, which every C++ runtime
// compiles to a plain move; std::bit_cast is missing from some).
template <class Float>
Float read_be_float(const unsigned char* s) {
  static_assert(sizeof(Float) == 4 || sizeof(Float) == 8);
  using Bits = std::conditional_t<sizeof(Float) == 4, std::uint32_t, std::uint64_t>;
  const auto bits = static_cast<Bits>(read_be(s, sizeof(Float)));
  Float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

// The length (str, bin, ext: payload bytes) or count (array, map: entries) the item at `s`
// announces, 0 for the other families. Its head must be present.
inline std::uint64_t announced(const unsigned char* s) {
  const Marker& m = kMarkers[s[0]];
  return m.field ? read_be(s + 1, m.field) : (s[0] & m.mask);
}

// Bytes taken by the item at `s`: for an array or a map its head only, for anything else the
// whole item. Its head must be present.
inline std::uint64_t item_size(const unsigned char* s) {
  const Marker& m = kMarkers[s[0]];
  if (m.family == Family::Array || m.family == Family::Map) return m.head;
  return m.head + announced(s) + m.extra;
}

}  // namespace vorlik::wire
