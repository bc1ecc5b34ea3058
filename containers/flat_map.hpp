// An ordered map keyed by UTF-8 string: a vector of (key, value) pairs kept in ascending byte
// order of the keys. At the sizes component trees have, this beats a node-based map on every
// count: building, lookup, iteration and copying.
#pragma once

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "jsonio/ordered.hpp"

namespace vorlik {

template <class T>
using FlatMap = std::vector<std::pair<std::string_view, T>>;

// Sorts entries appended in input order; of equal keys the last one stays.
template <class T>
void settle_map(FlatMap<T>& map) {
  json::settle_entries(map);
}

template <class T>
auto map_lower_bound(FlatMap<T>& map, std::string_view key) {
  return std::lower_bound(map.begin(), map.end(), key,
                          [](const auto& entry, std::string_view k) { return entry.first < k; });
}

template <class T>
const T* map_find(const FlatMap<T>& map, std::string_view key) {
  auto it = std::lower_bound(map.begin(), map.end(), key,
                             [](const auto& entry, std::string_view k) { return entry.first < k; });
  return it != map.end() && it->first == key ? &it->second : nullptr;
}

template <class T>
T* map_find(FlatMap<T>& map, std::string_view key) {
  auto it = map_lower_bound(map, key);
  return it != map.end() && it->first == key ? &it->second : nullptr;
}

// Adds or replaces the entry; returns it.
template <class T>
T& map_set(FlatMap<T>& map, std::string_view key, T value) {
  auto it = map_lower_bound(map, key);
  if (it != map.end() && it->first == key) {
    it->second = std::move(value);
    return it->second;
  }
  return map.emplace(it, key, std::move(value))->second;
}

template <class T>
bool map_erase(FlatMap<T>& map, std::string_view key) {
  auto it = map_lower_bound(map, key);
  if (it == map.end() || it->first != key) return false;
  map.erase(it);
  return true;
}

}  // namespace vorlik
