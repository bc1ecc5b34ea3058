// An ordered map keyed by UTF-8 string, held in a per-call arena: entries in ascending byte order
// of their keys, looked up by binary search, for the trees that are built, compared and edited
// within one call.
#pragma once

#include <algorithm>
#include <string_view>

#include "containers/arena.hpp"
#include "containers/arena_vec.hpp"

namespace vorlik {

template <class T>
struct MapEntry {
  std::string_view first;
  T second;

  friend bool operator==(const MapEntry&, const MapEntry&) = default;
};

template <class T>
using ArenaMap = ArenaVec<MapEntry<T>>;

template <class Entry>
Entry* entry_lower_bound(ArenaVec<Entry>& map, std::string_view key) {
  return std::lower_bound(map.begin(), map.end(), key,
                          [](const Entry& entry, std::string_view k) { return entry.first < k; });
}

template <class Entry>
auto* entry_find(ArenaVec<Entry>& map, std::string_view key) {
  Entry* it = entry_lower_bound(map, key);
  return it != map.end() && it->first == key ? &it->second : nullptr;
}

// Adds or replaces the entry; returns its value.
template <class Entry, class T>
auto& entry_set(ArenaVec<Entry>& map, std::string_view key, const T& value, Arena& arena) {
  Entry* it = entry_lower_bound(map, key);
  if (it != map.end() && it->first == key) {
    it->second = value;
    return it->second;
  }
  return map.insert(it, Entry{key, value}, arena)->second;
}

template <class Entry>
bool entry_erase(ArenaVec<Entry>& map, std::string_view key) {
  Entry* it = entry_lower_bound(map, key);
  if (it == map.end() || it->first != key) return false;
  map.erase(it);
  return true;
}

}  // namespace vorlik
