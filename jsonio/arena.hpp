// Per-call memory: strings that had to be unescaped, the trees read from the call's texts and
// whatever else lives exactly as long as the call. Everything dies with the call, at once.
#pragma once

#include <cstring>
#include <memory_resource>
#include <new>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace vorlik::json {

class Arena {
 public:
  Arena() = default;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  ~Arena() {
    for (auto it = owned_.rbegin(); it != owned_.rend(); ++it) it->destroy(it->object);
  }

  std::string_view copy(std::string_view s) {
    if (s.empty()) return {};
    auto* p = static_cast<char*>(pool_.allocate(s.size(), 1));
    std::memcpy(p, s.data(), s.size());
    return {p, s.size()};
  }

  // Places `value` in the arena for the rest of the call. A type that owns memory of its own
  // is destroyed with the arena; a trivially destructible one costs nothing more.
  template <class T>
  T* keep(T&& value) {
    using U = std::remove_cvref_t<T>;
    // Room for the record first, so that recording it after construction cannot fail.
    if constexpr (!std::is_trivially_destructible_v<U>)
      if (owned_.size() == owned_.capacity()) owned_.reserve(2 * owned_.size() + 16);
    U* object = ::new (pool_.allocate(sizeof(U), alignof(U))) U(std::forward<T>(value));
    if constexpr (!std::is_trivially_destructible_v<U>)
      owned_.push_back({object, [](void* p) { static_cast<U*>(p)->~U(); }});
    return object;
  }

  // For whatever else lives exactly as long as the call.
  std::pmr::memory_resource& resource() { return pool_; }

 private:
  struct Owned {
    void* object;
    void (*destroy)(void*);
  };

  std::pmr::monotonic_buffer_resource pool_{4096};
  std::vector<Owned> owned_;  // destroyed last to first
};

}  // namespace vorlik::json
