// A growable array whose storage lives in a per-call arena: trivially copyable and trivially
// destructible itself, so a tree built of them costs no destructor call and no free, and is
// released with the arena. Elements must be trivially copyable too; they are moved by copying
// bytes. Growth doubles the capacity and leaves the old block to the arena, so an array never
// holds more than twice its final size, and a list edited one element at a time stays linear
// in memory.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <span>
#include <type_traits>

#include "containers/arena.hpp"

namespace vorlik {

template <class T>
class ArenaVec {
 public:
  ArenaVec() = default;
  // Views `size` elements already laid out in the arena.
  ArenaVec(T* data, std::size_t size) : data_(data), size_(checked(size)), cap_(size_) {}

  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }
  T* data() { return data_; }
  const T* data() const { return data_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](std::size_t i) { return data_[i]; }
  const T& operator[](std::size_t i) const { return data_[i]; }
  T& back() { return data_[size_ - 1]; }

  operator std::span<const T>() const { return {data_, size_}; }  // NOLINT: a view, like span

  // Inserts before `pos`; returns the new element.
  T* insert(T* pos, const T& item, Arena& arena) {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
    const std::size_t at = static_cast<std::size_t>(pos - data_);
    if (size_ == cap_) grow(arena);
    std::memmove(static_cast<void*>(data_ + at + 1), data_ + at, (size_ - at) * sizeof(T));
    std::memcpy(static_cast<void*>(data_ + at), &item, sizeof(T));
    ++size_;
    return data_ + at;
  }
  void push_back(const T& item, Arena& arena) { insert(end(), item, arena); }
  void erase(T* pos) {
    std::memmove(static_cast<void*>(pos), pos + 1,
                 static_cast<std::size_t>(end() - pos - 1) * sizeof(T));
    --size_;
  }
  void clear() { size_ = 0; }
  // Keeps the first `n` elements.
  void truncate(std::size_t n) { size_ = static_cast<std::uint32_t>(n < size_ ? n : size_); }

  // Same length and equal elements in order.
  friend bool operator==(const ArenaVec& a, const ArenaVec& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
  }

 private:
  static std::uint32_t checked(std::size_t n) {
    // Four billion elements take a text longer than any reader is given.
    if (n >= UINT32_MAX) throw std::bad_alloc();
    return static_cast<std::uint32_t>(n);
  }
  void grow(Arena& arena) {
    const std::size_t cap = cap_ ? 2 * std::size_t{cap_} : 4;
    void* p = arena.allocate(checked(cap) * sizeof(T), alignof(T));
    if (size_) std::memcpy(p, data_, size_ * sizeof(T));
    data_ = std::launder(static_cast<T*>(p));
    cap_ = static_cast<std::uint32_t>(cap);
  }

  T* data_ = nullptr;
  std::uint32_t size_ = 0;
  std::uint32_t cap_ = 0;
};

}  // namespace vorlik
