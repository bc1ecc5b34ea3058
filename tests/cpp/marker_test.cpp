#include "src/wire/marker.hpp"

#include <gtest/gtest.h>

#include <msgpack.hpp>
#include <string>

namespace vorlik::wire {
namespace {

// Notes the family of the first item the reference parser reports.
class FirstItem {
 public:
  Family family = Family::Unused;
  std::uint64_t count = 0;  // entries of an array or a map

  bool visit_nil() { return note(Family::Nil); }
  bool visit_boolean(bool) { return note(Family::Bool); }
  bool visit_positive_integer(std::uint64_t) { return note(Family::Uint); }
  bool visit_negative_integer(std::int64_t) { return note(Family::Int); }
  bool visit_float32(float) { return note(Family::Float); }
  bool visit_float64(double) { return note(Family::Float); }
  bool visit_str(const char*, std::uint32_t) { return note(Family::Str); }
  bool visit_bin(const char*, std::uint32_t) { return note(Family::Bin); }
  bool visit_ext(const char*, std::uint32_t) { return note(Family::Ext); }
  bool start_array(std::uint32_t n) { return open(Family::Array, n); }
  bool start_array_item() { return true; }
  bool end_array_item() { return true; }
  bool end_array() { return true; }
  bool start_map(std::uint32_t n) { return open(Family::Map, n); }
  bool start_map_key() { return true; }
  bool end_map_key() { return true; }
  bool start_map_value() { return true; }
  bool end_map_value() { return true; }
  bool end_map() { return true; }
  void parse_error(std::size_t, std::size_t) {}
  void insufficient_bytes(std::size_t, std::size_t) {}
  bool referenced() const { return false; }
  void set_referenced(bool) {}

 private:
  bool note(Family f) {
    if (!seen_) family = f;
    seen_ = true;
    return true;
  }
  bool open(Family f, std::uint32_t n) {
    if (!seen_) count = n;
    return note(f);
  }
  bool seen_ = false;
};

class EveryMarker : public ::testing::TestWithParam<int> {};

// The marker followed by a length or count field of 2 (when the marker has one) and then nils:
// every item is complete, and the entries of an array or a map are nils.
TEST_P(EveryMarker, AgreesWithTheReferenceParser) {
  const auto marker = static_cast<unsigned char>(GetParam());
  const Marker& m = kMarkers[marker];
  std::string bytes(1, static_cast<char>(marker));
  if (m.field) {
    bytes.append(m.field - 1u, '\0');
    bytes.push_back('\x02');
  }
  bytes.append(64, '\xC0');

  FirstItem first;
  std::size_t consumed = 0;
  const bool parsed = msgpack::parse(bytes.data(), bytes.size(), consumed, first);
  if (m.family == Family::Unused) {
    EXPECT_FALSE(parsed);
    return;
  }
  ASSERT_TRUE(parsed);
  EXPECT_EQ(m.family, first.family);
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  std::uint64_t whole = item_size(s);
  if (m.family == Family::Array || m.family == Family::Map) {
    EXPECT_EQ(announced(s), first.count);
    whole += announced(s) * (m.family == Family::Map ? 2 : 1);  // nils of one byte each
  }
  EXPECT_EQ(whole, consumed);
}

INSTANTIATE_TEST_SUITE_P(AllBytes, EveryMarker, ::testing::Range(0, 256));

}  // namespace
}  // namespace vorlik::wire
