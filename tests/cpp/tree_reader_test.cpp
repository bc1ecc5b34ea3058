// The fast tree reader against the exact one: wherever the fast path returns a tree, the exact
// reader reads the same tree from that text, and wherever the exact reader fails, the fast path
// gives up. Ordinary trees must stay on the fast path.
#include "src/node/tree_reader.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "containers/arena.hpp"
#include "fast_path_check.hpp"
#include "jsonio/error.hpp"
#include "jsonio/reader.hpp"
#include "jsonio/writer.hpp"
#include "src/node/node.hpp"
#include "tree_generator.hpp"

namespace vorlik {
namespace {

// The written form of the tree the exact reader reads, or nullopt where it fails.
std::optional<std::string> exact_form(std::string_view text) {
  Arena arena;
  json::Reader reader(text, arena);
  try {
    const Node root = read_node(reader);
    reader.finish();
    json::Writer w;
    write_node(w, root);
    return w.take();
  } catch (const json::ReadError&) {
    return std::nullopt;
  }
}

// Where nodes keep their text in written form, writing them copies it: whatever the reader
// takes for written form that is not must show here.
std::optional<std::string> fast_form(std::string_view text, bool keep_written) {
  Arena arena;
  const std::optional<Node> root = read_tree_fast(text, arena, keep_written);
  if (!root) return std::nullopt;
  json::Writer w;
  write_node(w, *root);
  return w.take();
}

bool agrees(std::string_view text) {
  const auto kept = [](std::string_view t) { return fast_form(t, true); };
  const auto rebuilt = [](std::string_view t) { return fast_form(t, false); };
  const bool read = testing::fast_path_agrees(text, kept, exact_form);
  EXPECT_EQ(testing::fast_path_agrees(text, rebuilt, exact_form), read) << text;
  return read;
}

std::string nested_lists(int levels) {
  // The node, its props and the value's object open three; each List opens two more.
  std::string text = R"({"tag":"t","props":{"p":)";
  for (int k = 0; k < levels; ++k) text += R"({"List":[)";
  text += R"({"Int":1})";
  for (int k = 0; k < levels; ++k) text += "]}";
  return text + "}}";
}

TEST(FastTreeReader, ReadsGeneratedTreesAsTheExactReaderDoes) {
  for (unsigned seed = 0; seed < 300; ++seed) {
    const auto [old_text, new_text] = testing::TreeGenerator(seed).pair();
    for (const std::string& text : {old_text, new_text})
      EXPECT_TRUE(agrees(text)) << "an ordinary tree left the fast path: " << text;
  }
}

// Text in written form is kept to be written out as it stands: node by node, unless a node holds
// handlers (never held to their written form).
TEST(FastTreeReader, KeepsTheWrittenFormOfOrdinaryTrees) {
  for (const std::string_view text :
       {R"({"tag":"div"})", R"({"tag":"ul","key":"k","props":{"a":{"Int":1},"b":"Null"}})",
        R"({"tag":"ul","slots":{"items":[{"tag":"li","key":"a"},{"tag":"li"}]}})",
        R"({"tag":"p","props":{"m":{"Map":{"a":{"List":[{"Bool":true},{"Str":"x"}]}}}}})"}) {
    Arena arena;
    const std::optional<Node> root = read_tree_fast(text, arena, /*keep_written=*/true);
    ASSERT_TRUE(root.has_value()) << text;
    EXPECT_EQ(root->written(), text);
  }
}

TEST(FastTreeReader, GivesUpWhereverTheExactReaderFails) {
  std::mt19937 random(7);
  for (unsigned seed = 0; seed < 150; ++seed)
    testing::for_each_damaged(testing::TreeGenerator(seed).pair().first, random, 40,
                              [](const std::string& damaged) { agrees(damaged); });
}

struct Case {
  const char* name;
  std::string text;
  bool fast;  // whether the fast path reads it (otherwise it must give up)
};

class FastTreeCases : public ::testing::TestWithParam<Case> {};

TEST_P(FastTreeCases, MatchTheExactReader) {
  EXPECT_EQ(agrees(GetParam().text), GetParam().fast);
}

INSTANTIATE_TEST_SUITE_P(
    , FastTreeCases,
    ::testing::Values(
        Case{"WhiteSpaceEverywhere",
             " {\n \"tag\" : \"a\" ,\r\n\t\"props\" : { \"p\" : { \"Int\" : 1 } , \"q\" : \"Null\" "
             "} "
             ", \"slots\" : { \"s\" : [ { \"tag\" : \"b\" } , [ \"c\" ] ] } }\n",
             true},
        Case{
            "EscapesInNamesAndStrings",
            R"({"t\u0061g":"\u00e9","props":{"\n":{"S\u0074r":"a\"b"},"x":{"Str":"\ud83d\ude00"}}})",
            true},
        Case{"MembersInAnyOrderAndUnknownOnes",
             R"({"slots":{},"other":[{"deep":[1,{"x":null}]}],"props":{},"key":null,"tag":"a"})",
             true},
        Case{"NodeInArrayForm", R"({"tag":"a","slots":{"s":[["b","k",{"p":{"Bool":true}}]]}})",
             true},
        Case{"EveryValueKind",
             R"({"tag":"a","props":{"a":"Null","b":{"Null":null},"c":{"Bool":false},)"
             R"("d":{"Int":-9223372036854775808},"e":{"Int":999999999999999999},)"
             R"("f":{"Float":1e300},"g":{"Str":""},"h":{"List":[]},"i":{"Map":{}},)"
             R"("j":{"Submodel":18446744073709551615},"k":{"List":[{"Map":{"z":{"Int":0}}}]}}})",
             true},
        Case{"RepeatedPropKeepsTheLast",
             R"({"tag":"a","props":{"b":{"Int":1},"a":{"Int":2},"b":{"Int":3}}})", true},
        Case{"HandlersAndBindings",
             R"({"tag":"a","events":{"click":{"field":"f","kind":"toggle-field"}},)"
             R"("bindings":{"v":{"mode":"two-way"}}})",
             true},
        Case{"HandlersOfEveryShape",
             R"({"tag":"a","events":{"a":{"kind":"seq","actions":[{"kind":"js","handler":"h"},)"
             R"({"kind":"if","cond":{"expr":"not","of":{"expr":"event"}},"then":{"kind":"emit",)"
             R"("event":"e","detail":null},"else":null}]},"b":{"kind":"set","target":{"ref":"id",)"
             R"("id":"x"},"prop":"p","value":{"expr":"obj","fields":{"z":{"expr":"lit","value":)"
             R"([1,{"q":null}]},"a":{"expr":"concat","parts":[]}}}},"c":{"kind":"call",)"
             R"("method":"get","url":{"expr":"field","name":"u"},"body":null,"result":"r"}}})",
             true},
        Case{"HandlerTagNotFirst",
             R"({"tag":"a","events":{"c":{"field":"f","kind":"toggle-field"}}})", true},
        Case{"HandlerWithUnknownMember",
             R"({"tag":"a","events":{"c":{"kind":"toggle-field","field":"f","x":[1]}}})", true},
        Case{"HandlerTagNumbered", R"({"tag":"a","events":{"c":{"kind":3,"field":"f"}}})", false},
        Case{"HandlerFieldMissing", R"({"tag":"a","events":{"c":{"kind":"toggle-field"}}})", false},
        // Texts a step away from written form, some nodes in it and some not.
        Case{"KeyBeforeTag", R"({"key":"k","tag":"a"})", true},
        Case{"PropsAfterSlots", R"({"tag":"a","slots":{"s":[{"tag":"b"}]},"props":{"p":"Null"}})",
             true},
        Case{"EmptyMapsOfANode", R"({"tag":"a","slots":{"s":[{"tag":"b","props":{}}]}})", true},
        Case{"EmptySlots", R"({"tag":"a","slots":{"s":[{"tag":"b","slots":{}},{"tag":"c"}]}})",
             true},
        Case{"EmptyChildListAndMap",
             R"({"tag":"a","props":{"m":{"Map":{}}},"slots":{"s":[],"t":[{"tag":"b"}]}})", true},
        Case{"PropsOutOfOrder",
             R"({"tag":"a","slots":{"s":[{"tag":"b","props":{"q":"Null",)"
             R"("p":"Null"}},{"tag":"c","props":{"p":"Null","q":"Null"}}]}})",
             true},
        Case{"SlotsOutOfOrder", R"({"tag":"a","slots":{"t":[{"tag":"b"}],"s":[{"tag":"c"}]}})",
             true},
        Case{"MapValueOutOfOrder", R"({"tag":"a","props":{"p":{"Map":{"b":"Null","a":"Null"}}}})",
             true},
        Case{"RepeatedSlot", R"({"tag":"a","slots":{"s":[{"tag":"b"}],"s":[{"tag":"c"}]}})", true},
        Case{"EscapeInOneChild",
             R"({"tag":"a","slots":{"s":[{"tag":"b","props":{"p":{"Str":)"
             R"("A"}}},{"tag":"c","key":"\/"},{"tag":"d"}]}})",
             true},
        Case{"SpaceInOneChild", R"({"tag":"a","slots":{"s":[{"tag":"b"} ,{"tag":"c"}]}})", true},
        Case{"FloatsAndSubmodels",
             R"({"tag":"a","slots":{"s":[{"tag":"b","props":{"f":{"Float":1.50}}},)"
             R"({"tag":"c","props":{"m":{"Submodel":7}}},{"tag":"d","props":{"i":{"Int":-7}}}]}})",
             true},
        Case{"NullSpelledAsARecord", R"({"tag":"a","props":{"p":{"Null":null}}})", true},
        Case{"KeyNull", R"({"tag":"a","key":null})", true},
        Case{"NestingAtTheLimit", nested_lists(62), true},
        Case{"NestingPastTheLimit", nested_lists(63), false},
        Case{"NegativeZeroInt", R"({"tag":"a","props":{"p":{"Int":-0}}})", false},
        Case{"IntOutOfRange", R"({"tag":"a","props":{"p":{"Int":9223372036854775808}}})", false},
        Case{"FractionInInt", R"({"tag":"a","props":{"p":{"Int":1.0}}})", false},
        Case{"LeadingZero", R"({"tag":"a","props":{"p":{"Int":01}}})", false},
        Case{"UnitNameOtherThanNull", R"({"tag":"a","props":{"p":"Str"}})", false},
        Case{"TwoVariants", R"({"tag":"a","props":{"p":{"Int":1,"Str":"x"}}})", false},
        Case{"UnknownVariant", R"({"tag":"a","props":{"p":{"Text":"x"}}})", false},
        Case{"MissingTag", R"({"key":"k"})", false},
        Case{"RepeatedTag", R"({"tag":"a","tag":"b"})", false},
        Case{"TrailingComma", R"({"tag":"a","slots":{"s":[{"tag":"b"},]}})", false},
        Case{"TrailingCharacters", R"({"tag":"a"} x)", false},
        Case{"ControlCharacterInString", "{\"tag\":\"a\x01\"}", false},
        Case{"Truncated", R"({"tag":"a","props":{"p":{"Str":"x")", false}),
    [](const ::testing::TestParamInfo<Case>& c) { return std::string(c.param.name); });

}  // namespace
}  // namespace vorlik
