#include "src/diff/patch_writer.hpp"

#include <gtest/gtest.h>

#include <string>

#include "containers/arena.hpp"
#include "jsonio/writer.hpp"
#include "src/api.hpp"
#include "src/boundary/guard.hpp"
#include "src/diff/patch.hpp"
#include "tree_generator.hpp"

namespace vorlik {
namespace {

Patch read_whole_patch(json::Reader& reader) {
  return read_patch(reader);
}

// The patch as the patch writer gives it back after reading it.
std::string rewritten(std::string_view patch_text) {
  Arena arena;
  const Patch patch = read_document(patch_text, arena, read_whole_patch);
  json::Writer out;
  write_patch(out, patch);
  return out.take();
}

// The tree in normal form.
std::string normal(std::string_view tree) {
  const Outcome outcome = apply_json(tree, R"({"ops":[]})");
  EXPECT_EQ(outcome.status, Outcome::Status::Ok) << outcome.data;
  return outcome.data;
}

// The diff writes its ops from the trees, the patch writer from Op values; both must give the
// same bytes, and the patch must turn the old tree into the new one.
TEST(PatchWriter, WritesBackWhatTheDiffWrote) {
  unsigned edited = 0;
  for (unsigned seed = 0; seed < 400; ++seed) {
    testing::TreeGenerator generator(seed);
    const auto [old_tree, new_tree] = generator.pair();
    const Outcome diff = diff_json(old_tree, new_tree);
    ASSERT_EQ(diff.status, Outcome::Status::Ok) << diff.data << "\nold " << old_tree;
    EXPECT_EQ(rewritten(diff.data), diff.data) << "seed " << seed;

    const Outcome applied = apply_json(old_tree, diff.data);
    ASSERT_EQ(applied.status, Outcome::Status::Ok) << applied.data << "\nseed " << seed;
    EXPECT_EQ(applied.data, normal(new_tree)) << "seed " << seed << "\npatch " << diff.data;
    if (diff.data != R"({"ops":[]})") ++edited;
  }
  EXPECT_GT(edited, 300u);  // the pairs are mostly not equal
}

// Ops the diff never writes in that form: a key removed, an empty path, a child op on a deep path.
TEST(PatchWriter, OpsWrittenAsRead) {
  const std::string patch =
      R"({"ops":[{"SetKey":{"path":[{"slot":"s","index":0}],"key":null}},)"
      R"({"Replace":{"path":[],"node":{"tag":"x"}}},)"
      R"({"MoveChild":{"path":[{"slot":"a","index":1},{"slot":"b\"","index":2}],"slot":"c","from":3,"to":0}}]})";
  EXPECT_EQ(rewritten(patch), patch);
  json::Writer empty;
  write_patch(empty, Patch{});
  EXPECT_EQ(empty.take(), R"({"ops":[]})");
}

}  // namespace
}  // namespace vorlik
