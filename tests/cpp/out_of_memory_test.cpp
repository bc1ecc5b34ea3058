// Allocation failure at every point of every core routine: the routine reports OutOfMemory (the
// binding raises MemoryError for it), never a message, a partial result or a crash. This binary
// replaces the global allocation functions with ones that can be told to fail: once a budget of
// allocations is spent, every further one throws std::bad_alloc, as when memory has run out.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <string_view>

#include "src/api.hpp"

namespace {

// Allocations left before they fail; negative: no limit.
long& allocations_left() {
  static long left = -1;
  return left;
}

void* allocate(std::size_t size) {
  long& left = allocations_left();
  if (left == 0) throw std::bad_alloc();
  if (left > 0) --left;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) {
  return allocate(size);
}
void* operator new[](std::size_t size) {
  return allocate(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}

namespace vorlik {
namespace {

class AllocationLimit {
 public:
  explicit AllocationLimit(long budget) { allocations_left() = budget; }
  ~AllocationLimit() { allocations_left() = -1; }
  AllocationLimit(const AllocationLimit&) = delete;
  AllocationLimit& operator=(const AllocationLimit&) = delete;
};

struct Call {
  const char* name;
  std::function<Outcome()> run;
  // Whether the call allocates at all: a frame too short to read fails with a message held in
  // place, and needs no allocation.
  bool allocates = true;
};

std::string long_list(int n) {
  std::string text =
      R"({"tag":"r","props":{"p":{"Map":{"b":{"Int":1},"a":"Null"}}},"slots":{"s":[)";
  for (int i = 0; i < n; ++i) {
    if (i) text += ',';
    text += R"({"tag":"c","key":")" + std::to_string(i) +
            R"(","events":{"e":{"kind":"js","handler":"h"}}})";
  }
  return text + "]}}";
}

std::string frame(std::string_view codec) {
  const Outcome made = encode_frame(R"({"b":[1,-2,3.5,"x"],"a":null})", "m", "patch", 7, codec);
  return made.data;
}

constexpr std::string_view kManifest =
    R"({"modules":[{"declarations":[{"customElement":true,"tagName":"a-b","summary":"s",)"
    R"("attributes":[{"name":"p","type":{"text":"string | number"},"default":"'x'"}],)"
    R"("events":[{"name":"e"}],"slots":[{"name":""}]}]}]})";

class OutOfMemory : public ::testing::TestWithParam<Call> {};

// Each allocation of the call fails in turn, from the first on, until the call needs no more
// than it is given; then it must give what it gives without a limit.
TEST_P(OutOfMemory, AtEveryAllocation) {
  const Outcome unlimited = GetParam().run();
  ASSERT_NE(unlimited.status, Outcome::Status::OutOfMemory);
  long failures = 0;
  for (long budget = 0;; ++budget) {
    Outcome outcome;
    {
      const AllocationLimit limit(budget);
      outcome = GetParam().run();
    }
    if (outcome.status == Outcome::Status::OutOfMemory) {
      ASSERT_TRUE(outcome.data.empty());
      ++failures;
      ASSERT_LT(budget, 100000) << "the call never completes";
      continue;
    }
    EXPECT_EQ(outcome.status, unlimited.status) << "with " << budget << " allocations";
    EXPECT_EQ(outcome.data, unlimited.data) << "with " << budget << " allocations";
    break;
  }
  if (GetParam().allocates) {
    EXPECT_GT(failures, 0);
  }
}

// The inputs are made before the limit is set: each call allocates only inside the routine.
INSTANTIATE_TEST_SUITE_P(
    Routines, OutOfMemory,
    ::testing::Values(
        Call{"diff", [a = long_list(80), b = long_list(70)] { return diff_json(a, b); }},
        // The fast path gives up on the array form; the exact reader reads it.
        Call{"diff_exact_reader",
             [b = long_list(3)] { return diff_json(R"(["a",null,{"p":"Null"}])", b); }},
        // The list is long enough to be indexed while the patch is applied.
        Call{"apply_indexed",
             [a = long_list(70)] {
               return apply_json(a, R"({"ops":[{"MoveChild":[[],"s",0,69]},)"
                                    R"({"SetKey":[[["s",3]],"k"]},)"
                                    R"({"InsertChild":[[],"s",5,{"tag":"n"}]}]})");
             }},
        Call{"apply_not_fitting",
             [a = long_list(2)] {
               return apply_json(a, R"({"ops":[{"RemoveChild":[[],"s",9]}]})");
             }},
        Call{"encode_json",
             [] { return encode_frame(R"({"a":1})", "m", "snapshot", 1, "application/json"); }},
        Call{"encode_msgpack",
             [] {
               return encode_frame(R"({"b":[1,-2,3.5,"x"],"a":null})", "m", "patch", 7,
                                   "application/msgpack");
             }},
        Call{"decode_json", [f = frame("application/json")] { return decode_frame(f); }},
        Call{"decode_msgpack", [f = frame("application/msgpack")] { return decode_frame(f); }},
        Call{"decode_truncated",
             [f = frame("application/json")] {
               return decode_frame(std::string_view(f).substr(0, f.size() / 2));
             },
             /*allocates=*/false},
        Call{"parse_cem", [] { return parse_cem(kManifest); }}),
    [](const ::testing::TestParamInfo<Call>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace vorlik
