// One value held in a per-call arena, by a pointer that compares by the value it points to: the
// arena counterpart of Box, for recursive types (an expression inside an expression) whose
// trees are built, compared and written within one call and freed with it, never one by one.
#pragma once

#include <new>
#include <type_traits>

#include "containers/arena.hpp"

namespace vorlik {

template <class T>
class Held {
 public:
  Held() = default;

  // A default value of T placed in `arena`.
  static Held make(Arena& arena) {
    static_assert(std::is_trivially_destructible_v<T>, "never destroyed");
    return Held(::new (arena.allocate(sizeof(T), alignof(T))) T());
  }

  // Shallow constness, as for a pointer: typing fills the value in place.
  T& operator*() const { return *p_; }
  T* operator->() const { return p_; }

  friend bool operator==(const Held& a, const Held& b) { return *a.p_ == *b.p_; }

 private:
  explicit Held(T* p) : p_(p) {}
  T* p_ = nullptr;
};

}  // namespace vorlik
