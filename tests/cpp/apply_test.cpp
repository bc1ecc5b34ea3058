#include <gtest/gtest.h>

#include <string>

#include "src/api.hpp"

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

}  // namespace
}  // namespace vorlik
