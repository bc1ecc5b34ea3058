// Putting (key, value) entries read in input order into map order: ascending byte order of the
// keys, and of equal keys only the last one kept.
#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <memory>
#include <span>
#include <string_view>
#include <utility>

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

// Orders [first, last) in place; returns the end of the entries kept. `ordered`, where given,
// tells whether the entries already stood in order, none repeated.
template <class It>
It settle_range(It first, It last, bool* ordered = nullptr) {
  using Entry = typename std::iterator_traits<It>::value_type;
  const auto n = static_cast<std::size_t>(last - first);
  // Indexed through a pointer: iterators take only signed offsets.
  Entry* const p = std::to_address(first);
  std::size_t k = 1;
  while (k < n && key_less(p[k - 1].first, p[k].first)) ++k;
  if (ordered) *ordered = k >= n;
  if (k >= n) return last;  // already in order, the common case
  if (n <= 16) {
    // Small maps: a stable insertion sort, without the buffer a merge sort allocates.
    const auto at = [&](std::size_t m) { return first + static_cast<std::ptrdiff_t>(m); };
    for (; k < n; ++k) {
      std::size_t j = k;
      while (j > 0 && key_less(p[k].first, p[j - 1].first)) --j;
      if (j != k) std::rotate(at(j), at(k), at(k + 1));
    }
  } else {
    std::stable_sort(first, last,
                     [](const Entry& a, const Entry& b) { return key_less(a.first, b.first); });
  }
  std::size_t out = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (i + 1 < n && p[i + 1].first == p[i].first) continue;
    if (out != i) p[out] = std::move(p[i]);
    ++out;
  }
  return first + static_cast<std::ptrdiff_t>(out);
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
