#include "src/diff/child_lists.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace vorlik {
namespace {

// What a child should be: told apart by its tag, with the key the last edit gave it.
struct Expected {
  std::string tag;
  std::optional<std::string> key;
  friend bool operator==(const Expected&, const Expected&) = default;
};

// One slot of a root node edited through ChildLists, beside a plain vector of what it should
// hold. Edits set a child's key in place, as an op whose path ends in the child does.
class EditedSlot {
 public:
  EditedSlot(std::uint64_t seed, std::size_t length) : lists_(arena_, seed) {
    ArenaVec<Node> nodes;
    for (std::size_t i = 0; i < length; ++i) {
      nodes.push_back(fresh(), arena_);
      model_.push_back(pending_);
    }
    root_.slots.push_back({"s", Children(nodes)}, arena_);
  }

  std::size_t size() const { return model_.size(); }
  Children& children() { return root_.slots[0].second; }

  void insert(std::size_t pos) {
    lists_.insert(children(), pos, fresh());
    model_.insert(model_.begin() + static_cast<std::ptrdiff_t>(pos), pending_);
  }
  void take(std::size_t pos) {
    const Node node = lists_.take(children(), pos);
    EXPECT_EQ(node.tag(), model_[pos].tag);
    model_.erase(model_.begin() + static_cast<std::ptrdiff_t>(pos));
  }
  void move(std::size_t from, std::size_t to) {
    lists_.move(children(), from, to);
    const Expected moved = model_[from];
    model_.erase(model_.begin() + static_cast<std::ptrdiff_t>(from));
    model_.insert(model_.begin() + static_cast<std::ptrdiff_t>(to), moved);
  }
  void edit(std::size_t pos) {
    const std::string& key = names_.emplace_back(name('k'));
    ChildLists::at(children(), pos).key = std::optional<std::string_view>(key);
    model_[pos].key = key;
  }
  void settle() { lists_.settle(root_); }

  // Every position looked up, and the index's own invariants.
  ::testing::AssertionResult matches() {
    if (ChildIndex* index = children().index()) {
      if (const char* fault = index->fault())
        return ::testing::AssertionFailure() << "index: " << fault;
    }
    if (ChildLists::size(children()) != model_.size())
      return ::testing::AssertionFailure()
             << "size " << ChildLists::size(children()) << ", expected " << model_.size();
    for (std::size_t i = 0; i < model_.size(); ++i) {
      const Node& node = ChildLists::at(children(), i);
      const Expected got{
          std::string(node.tag()),
          node.key ? std::optional<std::string>(std::string(*node.key)) : std::nullopt};
      if (got != model_[i])
        return ::testing::AssertionFailure()
               << "at " << i << ": " << got.tag << ", expected " << model_[i].tag;
    }
    return ::testing::AssertionSuccess();
  }

 private:
  // A node with a tag no other child has; pending_ is what the model should hold for it.
  Node fresh() {
    const std::string& tag = names_.emplace_back(name('c'));
    pending_ = Expected{tag, std::nullopt};
    Node node;
    node.set_tag(tag);
    return node;
  }

  std::string name(char kind) const {
    std::string s(1, kind);
    s += std::to_string(names_.size());
    return s;
  }

  Arena arena_;
  std::deque<std::string> names_;  // the tags and keys the nodes view
  Node root_;
  ChildLists lists_;
  std::vector<Expected> model_;
  Expected pending_;
};

std::size_t below(std::mt19937_64& random, std::size_t n) {
  return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
}

// Random inserts, removals, moves and edits of children against std::vector, from lengths on
// either side of the index's threshold and drifting across it both ways. Each sequence is fixed
// by its seed, which also seeds the index: a failure names the seed that reproduces it.
TEST(ChildLists, RandomEditsMatchAPlainList) {
  constexpr std::size_t kThreshold = ChildLists::kIndexFrom;
  for (std::uint64_t seed = 1; seed <= 240; ++seed) {
    std::mt19937_64 random(seed);
    EditedSlot slot(seed, below(random, 2 * kThreshold + 8));
    // Some sequences grow, some shrink, some hover around the threshold.
    const std::size_t grow = 30 + 10 * below(random, 5);
    for (int step = 0; step < 300; ++step) {
      const std::size_t n = slot.size();
      const std::size_t roll = below(random, 100);
      if (n == 0 || roll < grow)
        slot.insert(below(random, n + 1));
      else if (roll < 70)
        slot.take(below(random, n));
      else if (roll < 85)
        slot.move(below(random, n), below(random, n));
      else
        slot.edit(below(random, n));
      ASSERT_TRUE(slot.matches()) << "seed " << seed << ", step " << step;
    }
    slot.settle();
    EXPECT_EQ(slot.children().index(), nullptr);
    ASSERT_TRUE(slot.matches()) << "seed " << seed << " after settling";
  }
}

// Moves to and from both ends and to the same place, on a list held by the index from the start.
TEST(ChildLists, MovesAtTheEndsOfAnIndexedList) {
  for (std::uint64_t seed = 1; seed <= 8; ++seed) {
    const std::size_t n = ChildLists::kIndexFrom + seed;
    EditedSlot slot(seed, n);
    for (const auto& [from, to] : std::vector<std::pair<std::size_t, std::size_t>>{
             {0, n - 1}, {n - 1, 0}, {0, 0}, {n - 1, n - 1}, {5, 5}, {1, n - 2}, {n - 2, 1}}) {
      slot.move(from, to);
      ASSERT_TRUE(slot.matches()) << "seed " << seed << ", move " << from << " to " << to;
    }
    slot.edit(0);
    slot.edit(n - 1);
    slot.settle();
    ASSERT_TRUE(slot.matches()) << "seed " << seed;
  }
}

// A list lent to the index reads as nothing: reading it then is a fault that must not pass for
// an empty list.
TEST(ChildLists, ReadingALentListFailsLoudly) {
  EditedSlot slot(7, ChildLists::kIndexFrom);
  slot.move(0, 1);
  ASSERT_NE(slot.children().index(), nullptr);
  const Children& lent = slot.children();
  EXPECT_THROW((void)lent.nodes(), std::logic_error);
  EXPECT_THROW((void)slot.children().edit_nodes(), std::logic_error);
  slot.settle();
  EXPECT_EQ(slot.children().nodes().size(), ChildLists::kIndexFrom);
}

// Short lists stay plain; the first child op on a list of the threshold's length indexes it.
TEST(ChildLists, ShortListsAreNotIndexed) {
  EditedSlot slot(3, ChildLists::kIndexFrom - 1);
  slot.move(0, 5);
  slot.insert(0);
  EXPECT_EQ(slot.children().index(), nullptr);
  slot.move(0, 5);
  EXPECT_NE(slot.children().index(), nullptr);
  ASSERT_TRUE(slot.matches());
}

}  // namespace
}  // namespace vorlik
