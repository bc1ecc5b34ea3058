// Putting (key, value) entries read in input order into map order: ascending byte order of the
// keys, and of equal keys only the last one kept.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace vorlik::json {

template <class Entry>
void settle_entries(std::vector<Entry>& entries) {
  const std::size_t n = entries.size();
  std::size_t k = 1;
  while (k < n && entries[k - 1].first < entries[k].first) ++k;
  if (k >= n) return;  // already in order, the common case
  if (n <= 16) {
    // Small maps: a stable insertion sort, without the buffer a merge sort allocates.
    const auto at = [&](std::size_t m) { return entries.begin() + static_cast<std::ptrdiff_t>(m); };
    for (; k < n; ++k) {
      std::size_t j = k;
      while (j > 0 && entries[k].first < entries[j - 1].first) --j;
      if (j != k) std::rotate(at(j), at(k), at(k + 1));
    }
  } else {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.first < b.first; });
  }
  std::size_t out = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (i + 1 < n && entries[i + 1].first == entries[i].first) continue;
    if (out != i) entries[out] = std::move(entries[i]);
    ++out;
  }
  entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(out), entries.end());
}

}  // namespace vorlik::json
