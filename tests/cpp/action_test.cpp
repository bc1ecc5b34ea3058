#include "src/action/action.hpp"

#include <gtest/gtest.h>

#include <list>
#include <string>
#include <utility>
#include <vector>

#include "containers/arena.hpp"
#include "jsonio/cursor.hpp"
#include "jsonio/reader.hpp"
#include "jsonio/writer.hpp"
#include "src/action/fast.hpp"
#include "src/action/typing.hpp"

namespace vorlik {
namespace {

// Handlers view the text they were read from and the arena of the reading; a reading keeps
// both for as long as its handlers are looked at.
class Reading {
 public:
  // The handlers of a JSON array of them, read as a node's events are: one after the other.
  const std::vector<Action>& all(std::string text) {
    const std::string& kept = texts_.emplace_back(std::move(text));
    json::Reader r(kept, arenas_.emplace_back());
    std::vector<Action>& out = actions_.emplace_back();
    r.read_seq([&] { out.push_back(read_action(r)); });
    r.finish();
    return out;
  }
  const Action& one(std::string_view text) {
    std::string list = "[";
    list += text;
    list += ']';
    return all(std::move(list)).at(0);
  }

 private:
  std::list<std::string> texts_;
  std::list<Arena> arenas_;
  std::list<std::vector<Action>> actions_;
};

std::string written(const Action& a) {
  json::Writer w;
  write_action(w, a);
  return w.take();
}

// Whether a handler in written form is typed by both quick ways, each on its own: on the fast
// readers' cursor, and as the exact reader reads it. A quick way that gave up on everything
// would still give right answers, and only this notices.
bool typed_on_the_quick_ways(std::string_view text, const Action& expected) {
  Arena arena;
  json::TextCursor cursor(text, arena);
  const char* p = cursor.begin();
  Action fast;
  const bool on_cursor =
      handler::type_action(handler::Fast{cursor, p, 0}, fast) && !cursor.gave_up();
  json::Reader r(text, arena);
  Action direct;
  const bool as_read = handler::typed(
      handler::Direct{r}, handler::kAction,
      [&](int variant, const handler::DirectFields& fields) {
        return handler::type_alternative(variant, fields, direct.v);
      },
      /*numbered=*/false);
  return on_cursor && as_read && fast == expected && direct == expected;
}

// A handler with its tag first is typed as it is read; with the tag last it is buffered and
// typed afterwards. Both ways must give the same handler.
class BothWays : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(BothWays, GiveTheSameHandler) {
  const std::string tag = GetParam().first;
  const std::string rest = GetParam().second;
  const std::string tag_first = R"({"kind":)" + tag + "," + rest + "}";
  const std::string tag_last = "{" + rest + R"(,"kind":)" + tag + "}";
  Reading reading;
  const Action& direct = reading.one(tag_first);
  const Action& buffered = reading.one(tag_last);
  EXPECT_EQ(direct, buffered);
  EXPECT_EQ(written(direct), written(buffered));
  EXPECT_EQ(written(direct), written(reading.one(written(direct))));
  EXPECT_TRUE(typed_on_the_quick_ways(written(direct), direct)) << written(direct);
}

INSTANTIATE_TEST_SUITE_P(
    Variants, BothWays,
    ::testing::Values(
        std::pair{
            R"("set")",
            R"("target":{"ref":"id","id":"i"},"prop":"p","value":{"expr":"lit","value":{"b":[1,-0.0],"a":null,"b":2}})"},
        std::pair{R"("toggle")", R"("target":{"ref":"this"},"prop":"p","x":{"y":[]})"},
        std::pair{R"("set-field")", R"("field":"f","value":{"expr":"not","of":{"expr":"event"}})"},
        std::pair{R"("toggle-field")", R"("field":"")"},
        std::pair{R"("seq")",
                  R"("actions":[{"kind":"js","handler":"a"},{"handler":"b","kind":"js"},[9,"c"]])"},
        std::pair{
            R"("emit")",
            R"("event":"e","detail":{"expr":"obj","fields":{"b":{"expr":"field","name":"n"},"a":{"expr":"event"},"b":{"expr":"event"}}})"},
        std::pair{R"("emit")", R"("event":"e","detail":null)"},
        std::pair{
            R"("patch")",
            R"("model":"m","field":"f","value":{"expr":"prop","target":{"ref":"this"},"name":"n"})"},
        std::pair{
            R"("if")",
            R"("cond":{"expr":"lit","value":true},"then":{"kind":"js","handler":"a"},"else":{"kind":"toggle-field","field":"f"})"},
        std::pair{R"("if")", R"("cond":{"expr":"event"},"then":{"kind":"js","handler":"a"})"},
        std::pair{
            R"("call")",
            R"("method":"POST","url":{"expr":"concat","parts":[{"expr":"lit","value":"/a/"},{"expr":"field","name":"id"}]},"body":{"expr":"event"},"result":"r")"},
        std::pair{R"("call")", R"("method":"GET","url":"/a","result":null)"},
        std::pair{R"("js")", R"("handler":"h")"}));

// Equality is structural over every field of every variant: handlers that differ in one place
// differ.
class Differ : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(Differ, InOnePlace) {
  Reading reading;
  EXPECT_NE(reading.one(GetParam().first), reading.one(GetParam().second));
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, Differ,
    ::testing::Values(
        std::pair{R"({"kind":"set-field","field":"f","value":{"expr":"lit","value":1}})",
                  R"({"kind":"set-field","field":"f","value":{"expr":"lit","value":1.0}})"},
        std::pair{R"({"kind":"toggle","target":{"ref":"this"},"prop":"p"})",
                  R"({"kind":"toggle","target":{"ref":"id","id":""},"prop":"p"})"},
        std::pair{R"({"kind":"toggle","target":{"ref":"this"},"prop":"p"})",
                  R"({"kind":"set","target":{"ref":"this"},"prop":"p","value":{"expr":"event"}})"},
        std::pair{R"({"kind":"toggle-field","field":"f"})",
                  R"({"kind":"set-field","field":"f","value":{"expr":"event"}})"},
        std::pair{R"({"kind":"emit","event":"e"})",
                  R"({"kind":"emit","event":"e","detail":{"expr":"event"}})"},
        std::pair{
            R"({"kind":"if","cond":{"expr":"event"},"then":{"kind":"js","handler":"a"}})",
            R"({"kind":"if","cond":{"expr":"event"},"then":{"kind":"js","handler":"a"},"else":{"kind":"js","handler":"a"}})"},
        std::pair{R"({"kind":"call","method":"G","url":"/a"})",
                  R"({"kind":"call","method":"G","url":{"expr":"lit","value":"/a"}})"},
        std::pair{R"({"kind":"call","method":"G","url":"/a"})",
                  R"({"kind":"call","method":"G","url":"/a","result":""})"},
        std::pair{
            R"({"kind":"seq","actions":[{"kind":"js","handler":"a"}]})",
            R"({"kind":"seq","actions":[{"kind":"js","handler":"a"},{"kind":"js","handler":"a"}]})"},
        std::pair{
            R"({"kind":"emit","event":"e","detail":{"expr":"obj","fields":{"a":{"expr":"event"}}}})",
            R"({"kind":"emit","event":"e","detail":{"expr":"obj","fields":{"b":{"expr":"event"}}}})"}));

// A handler that is given up on deep inside, after nested containers were entered, is read
// again from its start: what follows it reads as if nothing had happened.
TEST(ReadAction, GivingUpInsideNestedContainersLeavesTheReaderWhole) {
  Reading reading;
  const std::vector<Action>& actions = reading.all(
      R"([{"kind":"seq","actions":[{"kind":"seq","actions":[{"handler":"b","kind":"js"}]}]},)"
      R"({"kind":"js","handler":"c"}])");
  ASSERT_EQ(actions.size(), 2u);
  EXPECT_EQ(written(actions[0]),
            R"({"kind":"seq","actions":[{"kind":"seq","actions":[{"kind":"js","handler":"b"}]}]})");
  EXPECT_EQ(written(actions[1]), R"({"kind":"js","handler":"c"})");
}

}  // namespace
}  // namespace vorlik
