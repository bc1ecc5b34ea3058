#include "jsonio/transcode.hpp"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "json_generator.hpp"
#include "jsonio/transcode_fast.hpp"
#include "jsonio/value.hpp"
#include "read_text.hpp"
#include "tree_generator.hpp"

namespace vorlik::json {
namespace {

using testing::read_error;

// The text in normal form, or the error message, read one way or the other.
std::string through_value(std::string_view text) {
  Writer w;
  std::string error = read_error(text, [&](Reader& r) { write_json(w, read_json(r)); });
  return error.empty() ? w.take() : "error: " + error;
}

std::string through_transcoder(std::string_view text) {
  Writer w;
  std::string error = read_error(text, [&](Reader& r) { transcode(r, w); });
  return error.empty() ? w.take() : "error: " + error;
}

std::string through_careful_way(std::string_view text) {
  Writer w;
  std::string error = read_error(text, [&](Reader& r) { transcode_careful(r, w); });
  return error.empty() ? w.take() : "error: " + error;
}

// Whether the quick way reads the whole text by itself.
bool stays_on_the_quick_way(std::string_view text) {
  Arena arena;
  Reader reader(text, arena);
  Writer w;
  return transcode_fast(reader, w);
}

// Maps of any size: members in ascending byte order of the keys, the last of equal keys kept.
// Past 16 members the ordering routine changes strategy; both sides of that line are covered.
class MapOrder : public ::testing::TestWithParam<int> {};

TEST_P(MapOrder, SortsAndKeepsTheLastOfRepeatedKeys) {
  const int members = GetParam();
  std::mt19937 random(static_cast<unsigned>(members));
  for (int round = 0; round < 50; ++round) {
    std::map<std::string, int> expected;  // std::string orders bytes as unsigned
    std::string text = "{";
    for (int k = 0; k < members; ++k) {
      // Few distinct keys, so that repeats are common; some with bytes above 0x7F.
      static constexpr std::string_view kKeys[] = {"b", "a",     "ab", "",   "z", "\xC3\xA9",
                                                   "Z", "a\x7f", "c",  "ba", "y", "d"};
      const std::string key(kKeys[random() % std::size(kKeys)]);
      expected[key] = k;
      if (k) text += ',';
      text += "\"" + key + "\":" + std::to_string(k);
    }
    text += "}";
    std::string normal = "{";
    for (const auto& [key, value] : expected) {
      if (normal.size() > 1) normal += ',';
      normal += "\"" + key + "\":" + std::to_string(value);
    }
    normal += "}";
    ASSERT_EQ(through_value(text), normal) << text;
    ASSERT_EQ(through_transcoder(text), normal) << text;
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, MapOrder, ::testing::Values(0, 1, 2, 5, 15, 16, 17, 18, 33, 100));

TEST(MapOrder, ReversedMapsOfManyMembers) {
  for (int members : {16, 17, 40}) {
    std::vector<std::string> entries;
    entries.reserve(static_cast<std::size_t>(members));
    for (int k = 0; k < members; ++k)
      entries.push_back("\"k" + std::to_string(100 + k) + "\":" + std::to_string(k));
    const auto object = [](auto first, auto last) {
      std::string text = "{";
      for (auto it = first; it != last; ++it) text += (text.size() > 1 ? "," : "") + *it;
      return text + "}";
    };
    const std::string normal = object(entries.begin(), entries.end());
    const std::string reversed = object(entries.rbegin(), entries.rend());
    EXPECT_EQ(through_value(reversed), normal);
    EXPECT_EQ(through_transcoder(reversed), normal);
  }
}

// The transcoder writes as it reads; building the value and writing it afterwards must give the
// same bytes, and on faulty input the same message.
TEST(Transcoder, AgreesWithTheValueWriterOnGeneratedDocuments) {
  testing::JsonGenerator generator(1207);
  for (int k = 0; k < 3000; ++k) {
    const std::string text = generator.document();
    const std::string expected = through_value(text);
    ASSERT_EQ(expected.rfind("error: ", 0), std::string::npos) << text << "\n" << expected;
    ASSERT_EQ(through_transcoder(text), expected) << text;
  }
}

// Ordinary payloads never leave the quick way: a quick way that gave up on everything would
// still give right answers, and only this notices.
TEST(Transcoder, OrdinaryDocumentsStayOnTheQuickWay) {
  testing::JsonGenerator generator(4242);
  for (int k = 0; k < 1000; ++k) {
    const std::string text = generator.document();
    EXPECT_TRUE(stays_on_the_quick_way(text)) << "an ordinary payload left the quick way: " << text;
  }
  for (unsigned seed = 0; seed < 100; ++seed) {
    const auto [old_text, new_text] = testing::TreeGenerator(seed).pair();
    EXPECT_TRUE(stays_on_the_quick_way(old_text)) << old_text;
  }
}

// The careful way on its own (the quick way takes most texts in the other tests).
TEST(Transcoder, CarefulWayAgreesWithTheValueWriter) {
  testing::JsonGenerator generator(77);
  for (int k = 0; k < 2000; ++k) {
    const std::string text = generator.document();
    ASSERT_EQ(through_careful_way(text), through_value(text)) << text;
  }
}

TEST(Transcoder, AgreesWithTheValueReaderOnDamagedDocuments) {
  testing::JsonGenerator generator(99);
  std::mt19937 random(5);
  static constexpr char kDamage[] = {',', ']', '}', ':', '"', '\\', '\n', 'x', '0', '-', '{', '['};
  for (int k = 0; k < 3000; ++k) {
    std::string text = generator.document();
    if (text.empty()) continue;
    const std::size_t at = random() % text.size();
    std::string damaged = text;
    if (random() % 3 == 0)
      damaged.resize(at);
    else
      damaged[at] = kDamage[random() % std::size(kDamage)];
    ASSERT_EQ(through_transcoder(damaged), through_value(damaged)) << damaged;
  }
}

TEST(Transcoder, SameNestingLimitAsTheValueReader) {
  for (int depth : {127, 128}) {
    std::string text(static_cast<std::size_t>(depth), '[');
    text.append(static_cast<std::size_t>(depth), ']');
    EXPECT_EQ(through_transcoder(text), through_value(text));
  }
  EXPECT_EQ(through_transcoder(std::string(128, '[')),
            "error: recursion limit exceeded at line 1 column 128");
}

TEST(Transcoder, NormalFormOfScalars) {
  EXPECT_EQ(through_transcoder(" [1.0, -0, 1E2, 18446744073709551616, \"\\u00e9\\/\"] "),
            "[1.0,-0.0,100.0,1.8446744073709552e+19,\"\xC3\xA9/\"]");
}

// Texts in normal form are assembled from pieces of the input; these put the joins (reordered
// members at depth, dropped repeats, rewritten tokens, white space) next to one another.
class Joins : public ::testing::TestWithParam<std::string_view> {};

TEST_P(Joins, AgreeWithTheValueWriter) {
  const std::string text(GetParam());
  const std::string expected = through_value(text);
  ASSERT_EQ(expected.rfind("error: ", 0), std::string::npos) << expected;
  EXPECT_EQ(through_transcoder(text), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Joins,
    ::testing::Values(R"({"b":{"d":[{"z":1,"y":{"q":2,"p":3}}],"c":4},"a":{"f":5,"e":6}})",
                      R"({"b":1,"a":2,"b":3})", R"({"a":1,"b":2,"a":3})", R"({"a":1,"a":2})",
                      R"({"c":1,"b":2,"a":3,"c":4,"a":5})",
                      R"({"b":{"y":1,"x":2},"a":{"y":1,"x":2}})",
                      R"([{"b":1,"a":2},{"b":1,"a":2}])", R"({"b" : 1 , "a" :2 })",
                      "{\n  \"b\": [1, 2],\n  \"a\": {\"d\": 0, \"c\": -0}\n}",
                      R"({"b":"x\/y","a":"\u00e9\n\u001f"})", R"({"b":1E2,"a":"\t","c":1.50})",
                      R"({"\u0062":1,"a":2,"b":3})", R"({"\u00e9":1,"\n":2,"é":3})",
                      R"({"a\"":1,"a":2,"a\\":3})", R"({"b":-0,"a":-9223372036854775809})",
                      R"(["\ud83d\ude00","\u0041\u0001\u001F",18446744073709551616,1e-400])",
                      R"({"b":{},"a":[],"c":{"e":{},"d":[{}]}})"));

// Cut short anywhere, a text fails where and as the reader says.
TEST(Transcoder, EveryPrefixFailsAsTheReaderSays) {
  const std::string text =
      R"({"b":{"y":[1,-2.5e3,"s\u00e9\n"],"x":null},"a":[true,false,{"d":0,"c":1E2}]})"
      "\n";
  for (std::size_t at = 0; at < text.size(); ++at) {
    const std::string prefix = text.substr(0, at);
    ASSERT_EQ(through_transcoder(prefix), through_value(prefix)) << prefix;
  }
}

}  // namespace
}  // namespace vorlik::json
