// Per-call memory: strings that had to be unescaped, the trees and values read from the call's
// texts, and whatever else lives exactly as long as the call. What is placed here is trivially
// destructible and dies with the call, at once.
//
// Allocation bumps a pointer through the current chunk, inline: a tree asks for a few bytes per
// node, and the virtual call of a memory resource would cost more than the allocation itself.
// Chunks come from a monotonic buffer resource, which also takes the large requests directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory_resource>
#include <string_view>

namespace vorlik {

class Arena {
 public:
  Arena() = default;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;

  void* allocate(std::size_t size, std::size_t align) {
    const std::uintptr_t at = (next_ + (align - 1)) & ~(std::uintptr_t{align} - 1);
    if (at >= next_ && at <= end_ && size <= end_ - at) {
      next_ = at + size;
      return reinterpret_cast<void*>(at);
    }
    return allocate_slow(size, align);
  }

  std::string_view copy(std::string_view s) {
    if (s.empty()) return {};
    auto* p = static_cast<char*>(allocate(s.size(), 1));
    std::memcpy(p, s.data(), s.size());
    return {p, s.size()};
  }

 private:
  static constexpr std::size_t kChunk = 64 * 1024;

  void* allocate_slow(std::size_t size, std::size_t align) {
    if (size > kChunk / 4) return pool_.allocate(size, align);
    auto* chunk = static_cast<char*>(pool_.allocate(kChunk, alignof(std::max_align_t)));
    next_ = reinterpret_cast<std::uintptr_t>(chunk);
    end_ = next_ + kChunk;
    return allocate(size, align);
  }

  std::pmr::monotonic_buffer_resource pool_{kChunk};
  std::uintptr_t next_ = 0;
  std::uintptr_t end_ = 0;
};

}  // namespace vorlik
