// A growable stack of trivially copyable items in a per-call arena, keeping its count: a
// vector's size is the distance between two pointers divided by the item size, paid at every
// push and every look. Growth doubles the capacity and leaves the old block to the arena, so a
// stack never holds more than twice its largest size, and the stack takes no heap block of its
// own. A stack may be given a most it holds (an index type's range): growing past it throws
// std::bad_alloc, which costs nothing while it grows within.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

#include "containers/arena.hpp"

namespace vorlik {

template <class T>
class ArenaStack {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

 public:
  explicit ArenaStack(Arena& arena, std::size_t most = SIZE_MAX / sizeof(T))
      : arena_(arena), most_(most < SIZE_MAX / sizeof(T) ? most : SIZE_MAX / sizeof(T)) {}
  ArenaStack(const ArenaStack&) = delete;
  ArenaStack& operator=(const ArenaStack&) = delete;

  void reserve(std::size_t n) {
    if (n > capacity_) regrow(n, n);
  }
  // Room for `extra` more items past the top, growing as pushes do; returns the first of them.
  // Items written there count once grow_to() takes them in.
  [[gnu::always_inline]] T* make_room(std::size_t extra) {
    if (extra > capacity_ - size_)
      regrow(2 * capacity_ + 16, extra > most_ ? SIZE_MAX : size_ + extra);
    return items_ + size_;
  }
  void grow_to(std::size_t n) { size_ = n; }
  [[gnu::always_inline]] void push(const T& item) { emplace() = item; }
  // A new item, left for the caller to fill: an item built apart and then pushed is loaded whole
  // from the smaller stores that built it, which stalls.
  [[gnu::always_inline]] T& emplace() {
    if (size_ == capacity_) regrow(2 * capacity_ + 16, size_ + 1);
    return items_[size_++];
  }
  T pop() { return items_[--size_]; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](std::size_t k) { return items_[k]; }
  const T& operator[](std::size_t k) const { return items_[k]; }
  T* data() { return items_; }
  const T* data() const { return items_; }
  T& back() { return items_[size_ - 1]; }
  const T& back() const { return items_[size_ - 1]; }
  // Keeps the first `n` items.
  void shrink(std::size_t n) { size_ = n; }

 private:
  // To room for `want` items, at least `need`.
  [[gnu::noinline]] void regrow(std::size_t want, std::size_t need) {
    if (need > most_) throw std::bad_alloc();
    const std::size_t n = want < need ? need : want > most_ ? most_ : want;
    auto* grown = static_cast<T*>(arena_.allocate(n * sizeof(T), alignof(T)));
    if (size_) std::memcpy(static_cast<void*>(grown), items_, size_ * sizeof(T));
    items_ = grown;
    capacity_ = n;
  }

  Arena& arena_;
  T* items_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  std::size_t most_;
};

}  // namespace vorlik
