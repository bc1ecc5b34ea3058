// ArenaStack against std::vector: pushes, pops, shrinking and room made ahead, and the most it
// may hold.
#include "containers/stack.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <random>
#include <vector>

namespace vorlik {
namespace {

TEST(ArenaStack, MatchesAVector) {
  std::mt19937 random(7);
  Arena arena;
  ArenaStack<std::uint64_t> stack(arena);
  std::vector<std::uint64_t> model;
  for (int step = 0; step < 20000; ++step) {
    const auto pick = random() % 10;
    if (pick < 5 || model.empty()) {
      const std::uint64_t v = random();
      stack.push(v);
      model.push_back(v);
    } else if (pick < 7) {
      EXPECT_EQ(stack.pop(), model.back());
      model.pop_back();
    } else if (pick < 8) {
      const std::size_t n = random() % (model.size() + 1);
      stack.shrink(n);
      model.resize(n);
    } else {
      // Room made ahead, part of it taken.
      const std::size_t extra = random() % 40, taken = random() % (extra + 1);
      std::uint64_t* room = stack.make_room(extra);
      for (std::size_t k = 0; k < taken; ++k) model.push_back(room[k] = random());
      stack.grow_to(model.size());
    }
    ASSERT_EQ(stack.size(), model.size());
    for (std::size_t k = 0; k < model.size(); k += 97) ASSERT_EQ(stack[k], model[k]);
  }
}

// A stack of at most `most` items takes them all, by any way of growing, and refuses one more.
class StackLimit : public ::testing::TestWithParam<int> {};

TEST_P(StackLimit, HoldsItsMostAndNoMore) {
  for (const std::size_t most : {1u, 16u, 17u, 100u}) {
    Arena arena;
    ArenaStack<std::uint32_t> stack(arena, most);
    const auto grow = [&](std::size_t n) {
      switch (GetParam()) {
        case 0:
          for (std::size_t k = 0; k < n; ++k) stack.push(static_cast<std::uint32_t>(k));
          break;
        case 1:
          stack.make_room(n);
          stack.grow_to(stack.size() + n);
          break;
        default:
          stack.reserve(stack.size() + n);
          for (std::size_t k = 0; k < n; ++k) stack.push(static_cast<std::uint32_t>(k));
      }
    };
    grow(most);
    EXPECT_EQ(stack.size(), most);
    EXPECT_THROW(grow(1), std::bad_alloc);
    EXPECT_EQ(stack.size(), most);
  }
}

INSTANTIATE_TEST_SUITE_P(Ways, StackLimit, ::testing::Values(0, 1, 2));

}  // namespace
}  // namespace vorlik
