// The fast manifest reader against the exact one: wherever the fast path reads a manifest, the
// exact reader hands on the same declarations, and wherever the exact reader fails, the fast
// path gives up. Ordinary manifests must stay on the fast path.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "containers/arena.hpp"
#include "fast_path_check.hpp"
#include "jsonio/error.hpp"
#include "jsonio/reader.hpp"
#include "src/cem/manifest.hpp"

namespace vorlik {
namespace {

void dump(std::string& out, const std::optional<std::string_view>& s) {
  if (s)
    out.append(1, '\'').append(*s).append("' ");
  else
    out += "- ";
}

// Every declaration handed on, one line each.
std::string dump_declaration(const Declaration& d) {
  std::string out = d.custom_element ? "ce " : "-- ";
  dump(out, d.tag_name);
  dump(out, d.summary);
  dump(out, d.description);
  for (const Attribute& a : d.attributes) {
    out += "attr ";
    dump(out, a.name);
    if (a.type)
      dump(out, a.type->text);
    else
      out += "notype ";
    dump(out, a.default_value);
    dump(out, a.description);
  }
  for (const Named& e : d.events) dump(out, e.name);
  out += "| ";
  for (const Named& s : d.slots) dump(out, s.name);
  return out + "\n";
}

std::optional<std::string> exact_form(std::string_view text) {
  Arena arena;
  json::Reader reader(text, arena);
  std::string out;
  try {
    read_manifest(reader, [&](const Declaration& d) { out += dump_declaration(d); });
    reader.finish();
    return out;
  } catch (const json::ReadError&) {
    return std::nullopt;
  }
}

std::optional<std::string> fast_form(std::string_view text) {
  Arena arena;
  std::string out;
  if (!read_manifest_fast(text, arena, [&](const Declaration& d) { out += dump_declaration(d); }))
    return std::nullopt;
  return out;
}

bool agrees(std::string_view text) {
  return testing::fast_path_agrees(text, fast_form, exact_form);
}

// A manifest of a few modules whose records hold known and unknown members in random order,
// with escapes, nulls and nested unknown values of every kind.
std::string generated_manifest(unsigned seed) {
  std::mt19937 random(seed);
  const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
  const auto str = [&]() -> std::string {
    constexpr const char* kStrings[] = {"\"\"",
                                        "\"x-a\"",
                                        "\"a b\"",
                                        "\"\\n\\\"q\\\"\"",
                                        "\"\\u00e9t\\u00E9\"",
                                        "\"caf\xc3\xa9\"",
                                        "\"'a' | 'b'\""};
    return std::string(kStrings[pick(7)]);
  };
  const auto unknown = [&] {
    constexpr const char* kValues[] = {"1",
                                       "-0.5e+3",
                                       "true",
                                       "false",
                                       "null",
                                       "[]",
                                       "{}",
                                       "\"s\\/\"",
                                       R"([{"a":[1,2,{"b":null}]},"c",-12,1E9])",
                                       R"({"k":{"kind":"field","type":{"text":"t"}}})"};
    return std::string(kValues[pick(10)]);
  };
  const auto opt_str = [&] { return pick(4) == 0 ? std::string("null") : str(); };
  const auto record = [&](std::vector<std::string> members) {
    members.push_back("\"kind\":" + unknown());
    if (pick(2)) members.push_back("\"other\":" + unknown());
    std::shuffle(members.begin(), members.end(), random);
    std::string out = "{";
    for (std::size_t k = 0; k < members.size(); ++k) out.append(k ? "," : "").append(members[k]);
    return out + "}";
  };
  const auto list = [&](auto element, int most) {
    std::string out = "[";
    for (int k = 0, n = pick(most + 1); k < n; ++k) out.append(k ? "," : "").append(element());
    return out + "]";
  };
  const auto named = [&] { return record({"\"name\":" + str()}); };
  const auto attribute = [&] {
    std::vector<std::string> m = {"\"name\":" + str()};
    if (pick(2))
      m.push_back(std::string("\"type\":") +
                  (pick(3) ? record({"\"text\":" + opt_str()}) : std::string("null")));
    if (pick(2)) m.push_back("\"default\":" + opt_str());
    if (pick(2)) m.push_back("\"description\":" + opt_str());
    return record(m);
  };
  const auto declaration = [&] {
    std::vector<std::string> m;
    if (pick(4)) m.push_back(std::string("\"customElement\":") + (pick(4) ? "true" : "false"));
    if (pick(4)) m.push_back("\"tagName\":" + opt_str());
    if (pick(2)) m.push_back("\"summary\":" + opt_str());
    if (pick(2)) m.push_back("\"description\":" + opt_str());
    if (pick(4)) m.push_back("\"attributes\":" + list(attribute, 4));
    if (pick(2)) m.push_back("\"events\":" + list(named, 2));
    if (pick(2)) m.push_back("\"slots\":" + list(named, 2));
    return record(m);
  };
  const auto module = [&] { return record({"\"declarations\":" + list(declaration, 3)}); };
  return record({"\"schemaVersion\":\"1.0.0\"", "\"modules\":" + list(module, 3)});
}

TEST(FastManifestReader, ReadsGeneratedManifestsAsTheExactReaderDoes) {
  for (unsigned seed = 0; seed < 300; ++seed) {
    const std::string text = generated_manifest(seed);
    EXPECT_TRUE(agrees(text)) << "an ordinary manifest left the fast path: " << text;
  }
}

TEST(FastManifestReader, GivesUpWhereverTheExactReaderFails) {
  std::mt19937 random(11);
  for (unsigned seed = 0; seed < 150; ++seed)
    testing::for_each_damaged(generated_manifest(seed), random, 40,
                              [](const std::string& damaged) { agrees(damaged); });
}

std::string declarations(std::string_view list) {
  return R"({"modules":[{"declarations":)" + std::string(list) + "}]}";
}

// An unknown member nested `levels` deep: past the fast path's own depth the exact reader
// steps over the rest.
std::string deep_unknown(std::size_t levels) {
  std::string list = R"([{"x":)";
  list.append(levels, '[').append(levels, ']') += R"(,"tagName":"a-b"}])";
  return declarations(list);
}

struct Case {
  const char* name;
  std::string text;
  bool fast;  // whether the fast path reads it (otherwise it must give up)
};

class FastManifestCases : public ::testing::TestWithParam<Case> {};

TEST_P(FastManifestCases, MatchTheExactReader) {
  EXPECT_EQ(agrees(GetParam().text), GetParam().fast);
}

INSTANTIATE_TEST_SUITE_P(
    , FastManifestCases,
    ::testing::Values(
        Case{"WhiteSpaceEverywhere",
             " { \"modules\" :\n[ { \"declarations\" : [ {\t\"customElement\" : true ,\r\n"
             "\"tagName\" : \"a-b\" , \"slots\" : [ { \"name\" : \"\" } ] } ] } ] }\n",
             true},
        Case{"EscapedKeysNameKnownFields",
             declarations(R"([{"t\u0061gName":"a-b","\u0063ustomElement":true}])"), true},
        Case{"EscapedKeyGivenTwice", declarations(R"([{"tagName":"a-b","t\u0061gName":"c-d"}])"),
             false},
        Case{"NoModules", R"({"schemaVersion":"1"})", true},
        Case{"EmptyRecords", declarations("[{},{\"attributes\":[{\"name\":\"a\",\"type\":{}}]}]"),
             true},
        Case{"SkippedNumbersOfEveryForm",
             declarations(R"([{"x":[0,-0,1.25,-3e-7,4E+2,12345678901234567890123]}])"), true},
        Case{"SkippedEscapes", declarations(R"([{"x":"\"\\\/\b\f\n\r\t\u12aF"}])"), true},
        Case{"UnknownNestingPastTheFastDepth", deep_unknown(200), true},
        Case{"UnknownNestingAtTheFastDepth", deep_unknown(64), true},
        Case{"DeclarationInArrayForm", declarations(R"([[true,"a-b",null,null]])"), false},
        Case{"FieldGivenTwice", declarations(R"([{"summary":"a","summary":"b"}])"), false},
        Case{"AttributeWithoutName", declarations(R"([{"attributes":[{"type":null}]}])"), false},
        Case{"FlagNotABool", declarations(R"([{"customElement":1}])"), false},
        Case{"ListIsNull", declarations(R"([{"slots":null}])"), false},
        Case{"LoneSurrogateInTagName", declarations(R"([{"tagName":"\ud800"}])"), false},
        Case{"LeadingZeroInSkippedNumber", declarations(R"([{"x":01}])"), false},
        Case{"FractionWithoutDigits", declarations(R"([{"x":1.}])"), false},
        Case{"ExponentWithoutDigits", declarations(R"([{"x":1e+}])"), false},
        Case{"BadEscapeInSkippedString", declarations(R"([{"x":"\x"}])"), false},
        Case{"ShortUnicodeEscape", declarations(R"([{"x":"\u12"}])"), false},
        Case{"ControlCharacterInSkippedString", declarations("[{\"x\":\"\x1f\"}]"), false},
        Case{"TrailingComma", declarations(R"([{"x":[1,]}])"), false},
        Case{"TrailingCharacters", R"({"modules":[]} 1)", false},
        Case{"Truncated", R"({"modules":[{"declarations":[{"x":[)", false}),
    [](const ::testing::TestParamInfo<Case>& c) { return std::string(c.param.name); });

}  // namespace
}  // namespace vorlik
