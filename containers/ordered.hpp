// Putting (key, value) entries read in input order into map order: ascending byte order of the
// keys, and of equal keys only the last one kept.
#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <memory>
#include <utility>

#include "containers/arena_vec.hpp"

namespace vorlik {

// Orders [first, last) in place; returns the end of the entries kept.
template <class It>
It settle_range(It first, It last) {
  using Entry = typename std::iterator_traits<It>::value_type;
  const auto n = static_cast<std::size_t>(last - first);
  // Indexed through a pointer: iterators take only signed offsets.
  Entry* const p = std::to_address(first);
  std::size_t k = 1;
  while (k < n && p[k - 1].first < p[k].first) ++k;
  if (k >= n) return last;  // already in order, the common case
  if (n <= 16) {
    // Small maps: a stable insertion sort, without the buffer a merge sort allocates.
    const auto at = [&](std::size_t m) { return first + static_cast<std::ptrdiff_t>(m); };
    for (; k < n; ++k) {
      std::size_t j = k;
      while (j > 0 && p[k].first < p[j - 1].first) --j;
      if (j != k) std::rotate(at(j), at(k), at(k + 1));
    }
  } else {
    std::stable_sort(first, last, [](const Entry& a, const Entry& b) { return a.first < b.first; });
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

}  // namespace vorlik
