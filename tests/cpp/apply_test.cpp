#include "src/diff/apply.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "containers/arena.hpp"
#include "jsonio/writer.hpp"
#include "src/api.hpp"
#include "src/boundary/guard.hpp"
#include "src/diff/child_lists.hpp"
#include "src/diff/patch.hpp"
#include "src/node/node.hpp"

namespace vorlik {
namespace {

constexpr std::string_view kTree =
    R"({"tag":"r","slots":{"s":[{"tag":"a"},{"tag":"b","slots":{"t":[{"tag":"c"}]}}]}})";

struct FitCase {
  const char* ops;      // the patch's op list
  const char* message;  // why the patch does not fit the tree
};

class PatchDoesNotFit : public ::testing::TestWithParam<FitCase> {};

// A patch that does not fit fails as a whole: no tree comes back, whatever the ops before the
// faulty one did.
TEST_P(PatchDoesNotFit, FailsWithItsMessage) {
  const Outcome outcome = apply_json(kTree, std::string(R"({"ops":[)") + GetParam().ops + "]}");
  EXPECT_EQ(outcome.status, Outcome::Status::Failed) << outcome.data;
  EXPECT_EQ(outcome.data, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PatchDoesNotFit,
    ::testing::Values(FitCase{R"({"SetKey":{"path":[{"slot":"x","index":0}],"key":"k"}})",
                              "path references an existing slot"},
                      FitCase{R"({"SetKey":{"path":[{"slot":"s","index":2}],"key":"k"}})",
                              "index out of bounds: the len is 2 but the index is 2"},
                      FitCase{
                          R"({"InsertChild":{"path":[],"slot":"s","index":3,"node":{"tag":"n"}}})",
                          "insertion index (is 3) should be <= len (is 2)"},
                      FitCase{R"({"RemoveChild":{"path":[],"slot":"s","index":2}})",
                              "removal index (is 2) should be < len (is 2)"},
                      // `to` counts positions without the moved child.
                      FitCase{R"({"MoveChild":{"path":[],"slot":"s","from":0,"to":2}})",
                              "insertion index (is 2) should be <= len (is 1)"},
                      // Positions are read against the tree as the earlier ops left it.
                      FitCase{R"({"RemoveChild":{"path":[],"slot":"s","index":0}},
                   {"SetKey":{"path":[{"slot":"s","index":1}],"key":"k"}})",
                              "index out of bounds: the len is 1 but the index is 1"}));

TEST(Apply, OpsOnAMissingSlotThatRemoveNothingAreNoOps) {
  const Outcome outcome = apply_json(kTree, R"({"ops":[
      {"RemoveChild":{"path":[],"slot":"x","index":9}},
      {"MoveChild":{"path":[],"slot":"x","from":9,"to":9}}]})");
  ASSERT_EQ(outcome.status, Outcome::Status::Ok) << outcome.data;
  EXPECT_EQ(outcome.data, kTree);
}

// The props of a node are a map: more than 16 of them, given out of order and with a repeat,
// come out sorted with the last value kept.
TEST(Apply, NormalFormOfManyProps) {
  std::string props, sorted;
  for (int k = 19; k >= 0; --k) {
    if (!props.empty()) props += ',';
    props += "\"p" + std::to_string(10 + k) + "\":{\"Int\":" + std::to_string(k) + "}";
  }
  props += ",\"p10\":\"Null\"";
  for (int k = 0; k < 20; ++k) {
    if (!sorted.empty()) sorted += ',';
    sorted += "\"p" + std::to_string(10 + k) +
              "\":" + (k == 0 ? std::string("\"Null\"") : "{\"Int\":" + std::to_string(k) + "}");
  }
  const Outcome outcome = apply_json("{\"tag\":\"x\",\"props\":{" + props + "}}", R"({"ops":[]})");
  ASSERT_EQ(outcome.status, Outcome::Status::Ok) << outcome.data;
  EXPECT_EQ(outcome.data, "{\"tag\":\"x\",\"props\":{" + sorted + "}}");
}

// A list of `n` keyed children in `order` (a permutation of 0..n-1 or a subset of it); child i
// holds a prop and a slot of `grandchildren(i)` keyed grandchildren, the edited children
// changed in their prop and their own slot's order.
std::string keyed_list(const std::vector<int>& order, bool edited) {
  std::string text = R"({"tag":"ul","slots":{"items":[)";
  for (std::size_t k = 0; k < order.size(); ++k) {
    const int i = order[k];
    if (k) text += ',';
    const bool changed = edited && i % 3 == 0;
    text += R"({"tag":"li","key":"k)" + std::to_string(i) + R"(","props":{"v":{"Int":)" +
            std::to_string(changed ? -i : i) + R"(}},"slots":{"sub":[)";
    const int grandchildren = i % 4 == 0 ? int{ChildLists::kIndexFrom} + 6 : 3;
    for (int j = 0; j < grandchildren; ++j) {
      if (j) text += ',';
      // An edited child's own list is reversed, loses its first child and has one more.
      const int g = changed ? grandchildren - 1 - j : j;
      text += R"({"tag":"g","key":")" + std::to_string(g == 0 && changed ? 1000 : g) + "\"}";
    }
    text += "]}}";
  }
  return text + "]}}";
}

Patch read_whole_patch(json::Reader& reader) {
  return read_patch(reader);
}
Node read_tree(json::Reader& reader) {
  return read_node(reader);
}

// apply_json with the indexes' seed fixed, so that a failure reproduces.
std::string apply_seeded(std::string_view root_text, std::string_view patch_text,
                         std::uint64_t seed) {
  Arena arena;
  Node root = read_document(root_text, arena, read_tree);
  Patch patch = read_document(patch_text, arena, read_whole_patch);
  apply_patch(root, std::move(patch), arena, seed);
  json::Writer out;
  write_node(out, root);
  return out.take();
}

// Long slots (the parent's list and some children's own lists are long enough to be indexed),
// reordered, with children inserted and removed, and edits inside children that moved: the
// edits' paths are resolved through the index of the list that holds the moved child.
TEST(Apply, LongSlotsWithMovesAndEditsInsideMovedChildren) {
  for (const int n : {int{ChildLists::kIndexFrom}, 100, 257}) {
    std::vector<int> old_order, new_order;
    for (int i = 0; i < n; ++i) old_order.push_back(i);
    for (int i = n - 1; i >= 0; --i)
      if (i != 5) new_order.push_back(i);
    new_order.insert(new_order.begin() + n / 2, n);  // a new child in the middle
    new_order.insert(new_order.begin(), n + 1);      // and one in front
    const std::string old_text = keyed_list(old_order, false);
    const std::string new_text = keyed_list(new_order, true);
    const Outcome patch = diff_json(old_text, new_text);
    ASSERT_EQ(patch.status, Outcome::Status::Ok) << patch.data;
    const Outcome expected = apply_json(new_text, R"({"ops":[]})");
    ASSERT_EQ(expected.status, Outcome::Status::Ok);
    for (std::uint64_t seed = 1; seed <= 12; ++seed)
      ASSERT_EQ(apply_seeded(old_text, patch.data, seed), expected.data)
          << n << " children, seed " << seed;
    const Outcome applied = apply_json(old_text, patch.data);
    ASSERT_EQ(applied.status, Outcome::Status::Ok) << applied.data;
    EXPECT_EQ(applied.data, expected.data) << n << " children";
  }
}

}  // namespace
}  // namespace vorlik
