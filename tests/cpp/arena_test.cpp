#include "containers/arena.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "containers/arena_vec.hpp"

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

}  // namespace
}  // namespace vorlik
