// Map order, the one rule every keyed collection follows: members in ascending byte order of
// their keys (a key that is a prefix of another first), and of equal keys only the last one read.
//
// map_order() states the rule once, over member indices. Two appliers use it: settle_range()
// puts entries held in memory into that order in place, and OrderedText (ordered_text.hpp) puts
// the members of maps already written out into that order when the text is gathered.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "containers/arena_vec.hpp"
#include "containers/staging.hpp"

namespace vorlik {

// Byte order of keys. Most keys of one map differ in their first byte, which spares the call to
// memcmp.
[[gnu::always_inline]] inline bool key_less(std::string_view a, std::string_view b) {
  if (!a.empty() && !b.empty() && a[0] != b[0])
    return static_cast<unsigned char>(a[0]) < static_cast<unsigned char>(b[0]);
  return a < b;
}

// The members a map keeps, in map order. `key(i)` is the key of member i, members numbered in
// the order they were read (0 <= i < n). Writes the numbers of the members kept to `order`
// (room for n) and returns how many there are.
template <class Key>
[[gnu::always_inline]] inline std::size_t map_order(std::size_t n, Key&& key,
                                                    std::uint32_t* order) {
  if (n == 2) {
    // Two members, many maps: one or two comparisons.
    const std::string_view a = key(0), b = key(1);
    const bool ab = key_less(a, b);
    if (ab || key_less(b, a)) {
      order[0] = ab ? 0 : 1;
      order[1] = ab ? 1 : 0;
      return 2;
    }
    order[0] = 1;  // equal keys: the last one read
    return 1;
  }
  if (n <= 16) {
    // Small maps, most of them: an insertion sort (stable) over the keys taken out once, each
    // with its first byte (one past it, 0 for the empty key), which decides most comparisons.
    // Left unset beyond n: a string_view array would clear all sixteen first.
    struct Span {
      const char* data;
      std::size_t size;
    };
    Span keys[16];
    unsigned lead[16];
    for (std::size_t i = 0; i < n; ++i) {
      const std::string_view k = key(static_cast<std::uint32_t>(i));
      keys[i] = {k.data(), k.size()};
      lead[i] = k.empty() ? 0 : static_cast<unsigned char>(k[0]) + 1u;
      order[i] = static_cast<std::uint32_t>(i);
    }
    const auto less = [&](std::uint32_t a, std::uint32_t b) {
      if (lead[a] != lead[b]) return lead[a] < lead[b];
      return std::string_view(keys[a].data, keys[a].size) <
             std::string_view(keys[b].data, keys[b].size);
    };
    for (std::size_t k = 1; k < n; ++k) {
      const std::uint32_t m = order[k];
      std::size_t j = k;
      for (; j > 0 && less(m, order[j - 1]); --j) order[j] = order[j - 1];
      order[j] = m;
    }
    std::size_t kept = 0;
    for (std::size_t j = 0; j < n; ++j)
      if (j + 1 == n || less(order[j], order[j + 1])) order[kept++] = order[j];
    return kept;
  }
  for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<std::uint32_t>(i);
  // Ties go to the member read first, which makes the sort stable without a buffer.
  std::sort(order, order + n, [&](std::uint32_t a, std::uint32_t b) {
    const std::string_view ka = key(a), kb = key(b);
    if (key_less(ka, kb)) return true;
    return a < b && !key_less(kb, ka);
  });
  // Of equal keys, which now stand together in the order they were read, the last one is kept.
  std::size_t kept = 0;
  for (std::size_t j = 0; j < n; ++j)
    if (j + 1 == n || key_less(key(order[j]), key(order[j + 1]))) order[kept++] = order[j];
  return kept;
}

// Puts n entries that do not stand in map order into it, in place; returns how many are kept.
// Kept apart from settle_range(), whose common case (already in order) then needs neither its
// buffers nor the registers they take.
template <class Entry>
[[gnu::noinline]] std::size_t reorder_entries(Entry* p, std::size_t n) {
  static_assert(std::is_trivially_copyable_v<Entry>, "entries are moved by copying bytes");
  // The entries kept are copied out in map order and back; small maps need no allocation.
  constexpr std::size_t kSmall = 16;
  std::uint32_t small_order[kSmall];
  alignas(Entry) std::byte small_copy[kSmall * sizeof(Entry)];
  std::vector<std::uint32_t> large_order;
  std::vector<Entry> large_copy;
  std::uint32_t* order = small_order;
  Entry* copy = reinterpret_cast<Entry*>(small_copy);
  if (n > kSmall) {
    large_order.resize(n);
    large_copy.resize(n);
    order = large_order.data();
    copy = large_copy.data();
  }
  const std::size_t kept = map_order(
      n, [&](std::uint32_t i) { return std::string_view(p[i].first); }, order);
  for (std::size_t j = 0; j < kept; ++j)
    std::memcpy(static_cast<void*>(copy + j), p + order[j], sizeof(Entry));
  std::memcpy(static_cast<void*>(p), copy, kept * sizeof(Entry));
  return kept;
}

// Orders [first, last) in place; returns the end of the entries kept. `ordered`, where given,
// tells whether the entries already stood in order, none repeated.
template <class It>
It settle_range(It first, It last, bool* ordered = nullptr) {
  const auto n = static_cast<std::size_t>(last - first);
  // Indexed through a pointer: iterators take only signed offsets.
  auto* const p = std::to_address(first);
  std::size_t k = 1;
  while (k < n && key_less(p[k - 1].first, p[k].first)) ++k;
  if (ordered) *ordered = k >= n;
  if (k >= n) return last;  // already in order, the common case
  return first + static_cast<std::ptrdiff_t>(reorder_entries(p, n));
}

// Orders the whole array in place and drops the entries not kept.
template <class Entry>
void settle_entries(ArenaVec<Entry>& entries) {
  Entry* const kept = settle_range(entries.begin(), entries.end());
  entries.truncate(static_cast<std::size_t>(kept - entries.begin()));
}

// Lays out the entries of a map, collected in input order, in map order.
template <class Entry, std::size_t N>
ArenaVec<Entry> lay_out_map(Staging<Entry, N>& entries, Arena& arena, bool* ordered = nullptr) {
  const auto all = entries.items();
  const auto kept =
      std::span<const Entry>(all.begin(), settle_range(all.begin(), all.end(), ordered));
  return {Staging<Entry, N>::lay_out(kept, arena), kept.size()};
}

}  // namespace vorlik
