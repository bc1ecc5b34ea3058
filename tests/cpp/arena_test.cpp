#include "containers/arena.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "containers/arena_vec.hpp"
#include "containers/system_memory.hpp"

namespace vorlik {
namespace {

// Blocks of every size around the chunk's and every alignment: each is aligned, and none
// overlaps another (each keeps the pattern written into it while the others are written).
// Arenas sized ahead for texts of every length, the longest past any first block, do the same.
class ArenaForText : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ArenaForText, BlocksAreAlignedAndApart) {
  Arena arena(GetParam());
  std::mt19937 random(20261208);
  struct Block {
    unsigned char* p;
    std::size_t size;
    unsigned char fill;
  };
  std::vector<Block> blocks;
  for (int k = 0; k < 4000; ++k) {
    const std::size_t size =
        k % 97 == 0 ? std::size_t{16} * 1024 + random() % 70000 : random() % 300;
    const std::size_t align = std::size_t{1} << (random() % 5);
    auto* p = static_cast<unsigned char*>(arena.allocate(size, align));
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(p) % align, 0u) << size << " " << align;
    const auto fill = static_cast<unsigned char>(k);
    if (size) std::memset(p, fill, size);
    blocks.push_back({p, size, fill});
  }
  for (const Block& b : blocks)
    for (std::size_t i = 0; i < b.size; ++i) ASSERT_EQ(b.p[i], b.fill);
}

INSTANTIATE_TEST_SUITE_P(TextBytes, ArenaForText,
                         ::testing::Values(0, 1000, std::size_t{1} << 20, std::size_t{7} << 20,
                                           (std::size_t{7} << 20) + 1, SIZE_MAX));

TEST(ArenaVec, InsertsAndErasesAcrossGrowth) {
  Arena arena;
  ArenaVec<int> v;
  std::vector<int> model;
  std::mt19937 random(7);
  for (int k = 0; k < 3000; ++k) {
    if (!model.empty() && random() % 3 == 0) {
      const std::size_t at = random() % model.size();
      v.erase(v.begin() + at);
      model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
    } else {
      const std::size_t at = random() % (model.size() + 1);
      v.insert(v.begin() + at, k, arena);
      model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), k);
    }
  }
  ASSERT_EQ(std::vector<int>(v.begin(), v.end()), model);
}

// Only the whole pages inside the range read as zeros afterwards: the bytes around it, on pages
// it covers in part, keep their contents.
TEST(SystemMemory, GivesBackOnlyTheWholePagesInside) {
  constexpr std::size_t kPage = 4096;
  struct Free {
    void operator()(unsigned char* p) const { std::free(p); }
  };
  std::unique_ptr<unsigned char[], Free> block(
      static_cast<unsigned char*>(std::aligned_alloc(kPage, 5 * kPage)));
  ASSERT_TRUE(block);
  std::memset(block.get(), 0xAB, 5 * kPage);
  system_memory::give_back_pages(block.get() + 100, 3 * kPage);
  for (std::size_t i = 0; i < 5 * kPage; ++i) {
#if defined(__linux__)
    const bool inside = i >= kPage && i < 3 * kPage;
#else
    const bool inside = false;
#endif
    ASSERT_EQ(block[i], inside ? 0 : 0xAB) << i;
  }
}

// Arenas with large blocks, on the first thread and on another, where their pages are given back
// before the blocks are freed: each block keeps what is written into it while it lives.
TEST(ArenaOnThreads, LargeBlocksHoldTheirContentsUntilTheEnd) {
  auto use = [] {
    for (int round = 0; round < 3; ++round) {
      Arena arena(std::size_t{3} << 20);
      auto* p = static_cast<unsigned char*>(arena.allocate(std::size_t{5} << 20, 16));
      auto* q = static_cast<unsigned char*>(arena.allocate(std::size_t{2} << 20, 16));
      std::memset(p, 1, std::size_t{5} << 20);
      std::memset(q, 2, std::size_t{2} << 20);
      for (std::size_t i = 0; i < (std::size_t{5} << 20); i += 4093) ASSERT_EQ(p[i], 1);
      for (std::size_t i = 0; i < (std::size_t{2} << 20); i += 4093) ASSERT_EQ(q[i], 2);
    }
  };
  use();
  std::thread other(use);
  other.join();
}

}  // namespace
}  // namespace vorlik
