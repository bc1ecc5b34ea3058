// Edits to a long ordered map (an ArenaMap or any sorted ArenaVec of entries), held apart from it
// and merged into it once. Adding or removing an entry of the sorted array moves every later
// entry, so a run of edits to one long map in an unlucky order (every removal at the front, every
// name below the last) would cost its length each. While the edits are held, the array keeps its
// entries where they stand (a value may still be replaced in place), entries added or removed go
// into an ordered side table, and a look-up asks the side table first: each edit costs O(log n)
// whatever the order, and the merge at the end is one pass over both.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <new>
#include <string_view>

#include "containers/arena.hpp"
#include "containers/arena_map.hpp"
#include "containers/arena_vec.hpp"
#include "containers/ordered.hpp"

namespace vorlik {

template <class Entry>
class MapEdits {
 public:
  using Mapped = decltype(Entry::second);

  // `map` stays as it is until merged() replaces it; nothing else may add or remove its entries
  // meanwhile. Keys given to the edits must outlive them, as the map's own keys do.
  explicit MapEdits(ArenaVec<Entry> map) : base_(map) {}

  // The value of `key`, or nullptr when the map does not hold it. The value stays where it is
  // until the merge.
  Mapped* find(std::string_view key) {
    if (auto it = edits_.find(key); it != edits_.end())
      return it->second.present ? &it->second.value : nullptr;
    Entry* at = base_entry(key);
    return at ? &at->second : nullptr;
  }

  // Adds or replaces the entry; returns its value.
  Mapped& set(std::string_view key, const Mapped& value) {
    if (auto it = edits_.find(key); it != edits_.end()) {
      it->second = {value, true};
      return it->second.value;
    }
    if (Entry* at = base_entry(key); at) {
      at->second = value;
      return at->second;
    }
    return edits_.emplace(key, Edit{value, true}).first->second.value;
  }

  // Removes the entry; returns whether there was one.
  bool erase(std::string_view key) {
    if (auto it = edits_.find(key); it != edits_.end()) {
      const bool was = it->second.present;
      it->second.present = false;
      return was;
    }
    if (!base_entry(key)) return false;
    edits_.emplace(key, Edit{Mapped{}, false});
    return true;
  }

  // The map with every edit made, laid out anew in `arena`, in key order.
  ArenaVec<Entry> merged(Arena& arena) const {
    const std::size_t most = base_.size() + edits_.size();
    if (most == 0) return {};
    if (most > SIZE_MAX / sizeof(Entry)) throw std::bad_alloc();
    auto* const out =
        std::launder(static_cast<Entry*>(arena.allocate(most * sizeof(Entry), alignof(Entry))));
    std::size_t n = 0;
    const Entry* a = base_.begin();
    auto e = edits_.begin();
    while (a != base_.end() || e != edits_.end()) {
      if (e == edits_.end() || (a != base_.end() && key_less(a->first, e->first))) {
        ::new (static_cast<void*>(out + n++)) Entry(*a++);
        continue;
      }
      // An edit of a key the array holds takes its place.
      if (a != base_.end() && a->first == e->first) ++a;
      if (e->second.present) ::new (static_cast<void*>(out + n++)) Entry{e->first, e->second.value};
      ++e;
    }
    return {out, n};
  }

 private:
  struct Edit {
    Mapped value;
    bool present;  // false: removed
  };

  Entry* base_entry(std::string_view key) {
    Entry* it = entry_lower_bound(base_, key);
    return it != base_.end() && it->first == key ? it : nullptr;
  }

  ArenaVec<Entry> base_;
  // Byte order of keys, as the array's.
  std::map<std::string_view, Edit, std::less<>> edits_;
};

}  // namespace vorlik
