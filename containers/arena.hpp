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
  // An arena for a call that reads about `text_bytes` of text, its first block sized for the
  // whole call. An allocator that gives freed memory back to the system once more of it lies
  // free than a threshold set by the largest blocks it has seen (glibc's, by default) then
  // keeps the call's memory for the next call, instead of faulting it in afresh, page by page,
  // each time. Pages of the block that the call does not reach are never touched.
  explicit Arena(std::size_t text_bytes) : pool_(first_block(text_bytes)) {}
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;

  // `align` is a power of two.
  [[gnu::always_inline]] void* allocate(std::size_t size, std::size_t align) {
    const std::size_t misaligned = reinterpret_cast<std::uintptr_t>(next_) & (align - 1);
    const std::size_t pad = misaligned ? align - misaligned : 0;
    const auto room = static_cast<std::size_t>(end_ - next_);
    if (pad <= room && size <= room - pad) {
      char* at = next_ + pad;
      next_ = at + size;
      return at;
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
  static constexpr std::size_t kChunk = std::size_t{64} * 1024;
  // A tree takes two to four times its text.
  static constexpr std::size_t kBytesPerTextByte = 4;
  // glibc keeps no block past 32 MiB for reuse, and a call that needs more than that cannot be
  // kept whole: larger calls take the ordinary first block.
  static constexpr std::size_t kLargestFirstBlock = std::size_t{28} << 20;

  static std::size_t first_block(std::size_t text_bytes) {
    if (text_bytes > kLargestFirstBlock / kBytesPerTextByte) return kChunk;
    const std::size_t size = text_bytes * kBytesPerTextByte;
    return size > kChunk ? size : kChunk;
  }

  void* allocate_slow(std::size_t size, std::size_t align) {
    if (size > kChunk / 4) return pool_.allocate(size, align);
    next_ = static_cast<char*>(pool_.allocate(kChunk, alignof(std::max_align_t)));
    end_ = next_ + kChunk;
    return allocate(size, align);
  }

  std::pmr::monotonic_buffer_resource pool_{kChunk};
  char* next_ = nullptr;
  char* end_ = nullptr;
};

}  // namespace vorlik
