#include "containers/map_edits.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "containers/arena_map.hpp"

namespace vorlik {
namespace {

using Entry = MapEntry<int>;

// Random look-ups, additions, replacements and removals against a std::map, on keys drawn from a
// small alphabet (the empty key, prefixes of one another, bytes above 0x7f) so that keys are met
// again, removed and added back; then the merged map against the model, in order.
class MapEditsAgainstModel : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(MapEditsAgainstModel, EveryStepAndTheMergeMatchTheModel) {
  const std::uint32_t seed = GetParam();
  std::mt19937 random(seed);
  std::deque<std::string> keys;  // stable storage for the views
  auto random_key = [&]() -> std::string_view {
    static constexpr char kAlphabet[] = {'a', 'b', '\x7f', '\x80', '\xff'};
    std::string key;
    for (std::size_t n = random() % 4; n > 0; --n) key += kAlphabet[random() % sizeof kAlphabet];
    return keys.emplace_back(std::move(key));
  };

  // std::string orders by unsigned byte, as the map does.
  std::map<std::string, int> model;
  const std::size_t base_size = seed % 3 == 0 ? 0 : seed % 3 == 1 ? 5 : 150;
  for (std::size_t k = 0; k < base_size; ++k)
    model[std::string(random_key())] = static_cast<int>(k);

  Arena arena;
  ArenaVec<Entry> base;
  for (const auto& [key, value] : model) base.push_back({keys.emplace_back(key), value}, arena);
  MapEdits<Entry> edits(base);

  for (int step = 0; step < 3000; ++step) {
    const std::string_view key = random_key();
    const std::string k(key);
    switch (random() % 3) {
      case 0: {
        int* got = edits.find(key);
        const auto it = model.find(k);
        ASSERT_EQ(got != nullptr, it != model.end()) << "step " << step;
        if (got) {
          ASSERT_EQ(*got, it->second) << "step " << step;
        }
        break;
      }
      case 1: {
        const int value = static_cast<int>(random() % 1000);
        ASSERT_EQ(edits.set(key, value), value);
        model[k] = value;
        break;
      }
      default:
        ASSERT_EQ(edits.erase(key), model.erase(k) == 1) << "step " << step;
        break;
    }
  }

  const ArenaVec<Entry> merged = edits.merged(arena);
  std::vector<std::pair<std::string, int>> got;
  for (const Entry& e : merged) got.emplace_back(std::string(e.first), e.second);
  const std::vector<std::pair<std::string, int>> want(model.begin(), model.end());
  EXPECT_EQ(got, want);
}

INSTANTIATE_TEST_SUITE_P(Seeds, MapEditsAgainstModel, ::testing::Range<std::uint32_t>(1, 31));

TEST(MapEdits, ReplacingAValueTheArrayHoldsChangesItInPlace) {
  Arena arena;
  ArenaVec<Entry> base;
  base.push_back({"a", 1}, arena);
  base.push_back({"b", 2}, arena);
  MapEdits<Entry> edits(base);
  int& b = edits.set("b", 20);
  EXPECT_EQ(&b, &base[1].second);  // no side entry for a replacement
  EXPECT_EQ(base[1].second, 20);
  EXPECT_TRUE(edits.erase("a"));
  EXPECT_FALSE(edits.erase("a"));
  EXPECT_EQ(edits.find("a"), nullptr);
  const auto merged = edits.merged(arena);
  ASSERT_EQ(merged.size(), 1u);
  EXPECT_EQ(merged[0], (Entry{"b", 20}));
}

}  // namespace
}  // namespace vorlik
