// Collects the elements of a sequence whose length is known only at its end, then lays them
// out once, contiguously, in an arena. The first few stay in an inline buffer, so that the
// short sequences most values have cost no heap allocation at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <span>
#include <type_traits>
#include <vector>

#include "containers/arena.hpp"

namespace vorlik {

template <class T, std::size_t N = 8>
class Staging {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>,
                "laid out by copying bytes and never destroyed");

 public:
  Staging() = default;
  Staging(const Staging&) = delete;
  Staging& operator=(const Staging&) = delete;

  void push(const T& item) {
    if (size_ < N) {
      std::memcpy(static_cast<void*>(&inline_[size_ * sizeof(T)]), &item, sizeof(T));
    } else {
      if (spill_.empty()) spill_.assign(data(), data() + N);
      spill_.push_back(item);
    }
    ++size_;
  }
  // A new element, value-initialised, to be filled where it stands: an element built apart and
  // then pushed is loaded whole from the smaller stores that built it, which stalls. The
  // reference holds until the next push or emplace.
  T& emplace() {
    T* slot;
    if (size_ < N) {
      slot = ::new (static_cast<void*>(&inline_[size_ * sizeof(T)])) T{};
    } else {
      if (spill_.empty()) spill_.assign(data(), data() + N);
      slot = &spill_.emplace_back();
    }
    ++size_;
    return *slot;
  }
  std::size_t size() const { return size_; }
  // Keeps the first `n` elements.
  void truncate(std::size_t n) {
    if (size_ > N && n <= N) {
      // Back in place: what lies in place is looked at only while it holds them all.
      std::memcpy(static_cast<void*>(inline_), spill_.data(), n * sizeof(T));
      spill_.clear();
    } else if (size_ > N) {
      spill_.resize(n);
    }
    size_ = n;
  }
  // The elements so far, in order, for reordering in place before they are laid out.
  std::span<T> items() { return {size_ <= N ? data() : spill_.data(), size_}; }
  // Copies `items` (a prefix of items() after reordering) into `arena`; nullptr when empty.
  static T* lay_out(std::span<const T> items, Arena& arena) {
    if (items.empty()) return nullptr;
    if (items.size() > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    void* p = arena.allocate(items.size() * sizeof(T), alignof(T));
    // Most maps and lists hold one element: a copy of known size is a few moves, not a call.
    if (items.size() == 1)
      std::memcpy(p, items.data(), sizeof(T));
    else
      std::memcpy(p, items.data(), items.size() * sizeof(T));
    return std::launder(static_cast<T*>(p));
  }

 private:
  T* data() { return std::launder(reinterpret_cast<T*>(inline_)); }

  alignas(T) std::byte inline_[N * sizeof(T)];
  std::vector<T> spill_;
  std::size_t size_ = 0;
};

}  // namespace vorlik
