// Per-call memory: strings that had to be unescaped, the trees and values read from the call's
// texts, and whatever else lives exactly as long as the call. What is placed here is trivially
// destructible and dies with the call, at once.
//
// Allocation bumps a pointer through the current block, inline: a tree asks for a few bytes per
// node, and a call through an allocator interface would cost more than the allocation itself.
// Blocks come from the global allocator; each new block is half again as large as the one before,
// and a request too large to be worth a block of the run gets a block of its own. No standard
// memory resource is used: those raise the C++ runtime a build needs, and some runtimes do not have
// them.
//
// Large blocks are kept between calls on the process's first thread only (system_memory.hpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "containers/system_memory.hpp"

namespace vorlik {

class Arena {
 public:
  Arena() = default;
  // An arena for a call that reads about `text_bytes` of text, its first block sized for the
  // whole call: one block, which the allocator can keep whole for the next call (above). Pages
  // of the block that the call does not reach are never touched.
  explicit Arena(std::size_t text_bytes) : next_block_(first_block(text_bytes)) {}
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  ~Arena() {
    if (largest_ >= system_memory::kGiveBackFrom && !system_memory::on_first_thread()) give_back();
  }

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

  // A fresh block of `room` bytes, aligned for anything; throws std::bad_alloc. Its pages are
  // left untouched until the call reaches them.
  char* new_block(std::size_t room) {
    std::unique_ptr<std::byte[]> block(new std::byte[room]);
    auto* const at = reinterpret_cast<char*>(block.get());
    blocks_.push_back({std::move(block), room});
    if (room > largest_) largest_ = room;
    return at;
  }

  [[gnu::noinline]] void give_back() {
    for (const Block& block : blocks_)
      if (block.size >= system_memory::kGiveBackFrom)
        system_memory::give_back_pages(block.bytes.get(), block.size);
  }

  [[gnu::noinline]] void* allocate_slow(std::size_t size, std::size_t align) {
    // Room for the request wherever the block's start falls.
    const std::size_t need = size + align;
    if (need < size) throw std::bad_alloc();
    if (need > kChunk / 4 && need > next_block_ / 2) {
      // Kept apart, so the current block goes on serving the small requests.
      char* const at = new_block(need);
      const std::size_t misaligned = reinterpret_cast<std::uintptr_t>(at) & (align - 1);
      return at + (misaligned ? align - misaligned : 0);
    }
    const std::size_t room = next_block_ > need ? next_block_ : need;
    next_ = new_block(room);
    end_ = next_ + room;
    next_block_ = room + room / 2;
    return allocate(size, align);
  }

  struct Block {
    std::unique_ptr<std::byte[]> bytes;
    std::size_t size;
  };
  std::vector<Block> blocks_;
  std::size_t largest_ = 0;
  std::size_t next_block_ = kChunk;
  char* next_ = nullptr;
  char* end_ = nullptr;
};

}  // namespace vorlik
