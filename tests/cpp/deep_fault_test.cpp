// Values and nodes are read level by level, and a fault deep in their nesting is handed up as
// "gave up" rather than unwound through every level (json::Reader::held). Against the plain
// recursive reading, whose errors unwind through every level: for random nested values and
// nodes, whole or with a fault made at a random place (and so at a random depth), both read the
// same thing, or fail with the same description at the same offset.
#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <string_view>

#include "belvane/value.hpp"
#include "containers/arena.hpp"
#include "containers/ordered.hpp"
#include "containers/staging.hpp"
#include "jsonio/error.hpp"
#include "jsonio/reader.hpp"
#include "jsonio/record.hpp"
#include "jsonio/variant.hpp"
#include "jsonio/writer.hpp"
#include "src/action/action.hpp"
#include "src/node/node.hpp"

namespace vorlik {
namespace {

// --- The recursive reading: every helper's step returns nothing, so every error unwinds -------

Value::Kind variant(json::Reader& r, std::string_view name) {
  const int k = kValueVariants.find(name);
  if (k < 0) r.fail_here(json::unknown_variant(name, kValueVariants.list()));
  return static_cast<Value::Kind>(k);
}

Value recursive_value(json::Reader& r) {
  Value v;
  r.read_tagged(
      [&](std::string_view name) {
        if (variant(r, name) != Value::Kind::Null)
          json::fail_unplaced(
              json::msg::invalid_type(json::msg::kFoundUnitVariant, "newtype variant"));
      },
      [&](std::string_view name) {
        v.kind = variant(r, name);
        r.colon();
        switch (v.kind) {
          case Value::Kind::Null:
            r.read_unit();
            break;
          case Value::Kind::Bool:
            v.boolean = r.read_bool();
            break;
          case Value::Kind::Int:
            v.integer = r.read_i64();
            break;
          case Value::Kind::Float:
            v.real = r.read_f64();
            break;
          case Value::Kind::Str: {
            const std::string_view str = r.read_str();
            v.count = static_cast<std::uint32_t>(str.size());
            v.chars = str.data();
            break;
          }
          case Value::Kind::List: {
            Staging<Value> items;
            r.read_seq([&] { items.push(recursive_value(r)); });
            v.count = static_cast<std::uint32_t>(items.size());
            v.items = Staging<Value>::lay_out(items.items(), r.arena());
            break;
          }
          case Value::Kind::Map: {
            Staging<ValueEntry> entries;
            r.read_map([&](std::string_view key) {
              r.colon();
              entries.push({key, recursive_value(r)});
            });
            const ArenaVec<ValueEntry> kept = lay_out_map(entries, r.arena());
            v.count = static_cast<std::uint32_t>(kept.size());
            v.entries = kept.data();
            break;
          }
          case Value::Kind::Submodel:
            v.submodel = r.read_u64();
            break;
        }
      });
  return v;
}

template <class Entry, class ReadEntry>
ArenaVec<Entry> recursive_entries(json::Reader& r, ReadEntry&& read_entry) {
  Staging<Entry> entries;
  r.read_map([&](std::string_view key) {
    r.colon();
    entries.push(Entry{key, read_entry(r)});
  });
  return lay_out_map(entries, r.arena());
}

Node recursive_node(json::Reader& r) {
  Node n;
  json::read_fields(r, "struct Node", kNodeFields, [&](std::size_t field) {
    switch (static_cast<NodeField>(field)) {
      case NodeField::Tag:
        n.set_tag(r.read_str());
        break;
      case NodeField::Key:
        n.key = r.read_optional_str();
        break;
      case NodeField::Props:
        n.props = recursive_entries<ValueEntry>(r, recursive_value);
        break;
      case NodeField::Slots:
        n.slots = recursive_entries<MapEntry<Children>>(r, [](json::Reader& rd) {
          Staging<Node> nodes;
          rd.read_seq([&] { nodes.push(recursive_node(rd)); });
          return Children({Staging<Node>::lay_out(nodes.items(), rd.arena()), nodes.size()});
        });
        break;
      case NodeField::Events:
        if (auto events = recursive_entries<MapEntry<Action>>(r, read_action); !events.empty())
          n.edit_extras(r.arena()).events = events;
        break;
      case NodeField::Bindings:
        if (auto bindings = recursive_entries<MapEntry<Binding>>(r, read_binding);
            !bindings.empty())
          n.edit_extras(r.arena()).bindings = bindings;
        break;
    }
  });
  return n;
}

// What reading `text` gives: the written form of what was read, or the error and its offset.
template <class Read, class Write>
std::string outcome(std::string_view text, Read&& read, Write&& write) {
  Arena arena;
  json::Reader r(text, arena);
  try {
    const auto read_back = read(r);
    r.finish();
    json::Writer w;
    write(w, read_back);
    return "read " + w.take();
  } catch (const json::ReadError& e) {
    return e.description + " at " + std::to_string(e.offset);
  }
}

// --- Random nestings, and faults made in them -------------------------------------------------

class Nestings {
 public:
  explicit Nestings(unsigned seed) : random_(seed) {}

  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  // A value nested `depth` deep along one path, with shallow values beside it.
  std::string value(int depth) {
    static constexpr std::string_view kLeaves[] = {
        R"("Null")",        R"({"Int":-3})",      R"({"Str":"a\"b"})",
        R"({"Bool":true})", R"({"Float":1.5e3})", R"({"Submodel":7})",
        R"({"List":[]})",   R"({"Map":{}})",      R"({ "Int" : 12 } )"};
    if (depth == 0) return std::string(kLeaves[pick(static_cast<int>(std::size(kLeaves)))]);
    const bool list = pick(2) == 0;
    const int width = 1 + pick(3), deep = pick(width);
    std::string out = list ? R"({"List":[)" : R"({"Map":{)";
    for (int k = 0; k < width; ++k) {
      if (k) out += sep(",");
      if (!list) out += "\"" + std::string(1, static_cast<char>('a' + pick(3))) + "\"" + sep(":");
      out += value(k == deep ? depth - 1 : pick(2));
    }
    return out + (list ? "]}" : "}}");
  }

  // Nodes nested `depth` deep through their slots along one path.
  std::string node(int depth) {
    std::string props = R"({"p":)" + value(pick(4)) + "}";
    std::string slots = "{}";
    if (depth > 0) {
      const int width = 1 + pick(2), deep = pick(width);
      slots = R"({"s":[)";
      for (int k = 0; k < width; ++k) {
        if (k) slots += sep(",");
        slots += node(k == deep ? depth - 1 : 0);
      }
      slots += "]}";
    }
    if (pick(5) == 0) return R"(["t",null,)" + props + "," + slots + "]";  // the array form
    std::string out = R"({"tag":"t")";
    if (pick(3) == 0) out += R"(,"key":"k")";
    if (pick(4) == 0) out += R"(,"zz":[{"a":1},2])";  // skipped
    out += R"(,"props":)" + props;
    if (pick(5) == 0) out += R"(,"events":{"e":{"kind":"js","handler":"h"}})";
    if (pick(5) == 0) out += R"(,"bindings":{"b":{"compute":[[1]],"mode":"one-way"}})";
    out += sep(",") + R"("slots":)" + slots;
    return out + "}";
  }

  // `text` with one fault made at a random place: a byte replaced, dropped or added, the text cut
  // short, or a variant's name misspelt.
  std::string fault(std::string text) {
    const auto at = static_cast<std::size_t>(pick(static_cast<int>(text.size())));
    static constexpr char kBytes[] = "x}],:\"n[{1 \\";
    const char byte = kBytes[pick(static_cast<int>(sizeof kBytes) - 1)];
    switch (pick(5)) {
      case 0:
        text[at] = byte;
        break;
      case 1:
        text.erase(at, 1);
        break;
      case 2:
        text.insert(at, 1, byte);
        break;
      case 3:
        text.resize(at);
        break;
      default:
        if (const std::size_t name = text.rfind("Null", at); name != std::string::npos)
          text.replace(name, 4, pick(3) == 0 ? "Nul" : pick(2) ? "Map" : "Bool");
        else
          text[at] = byte;
    }
    return text;
  }

 private:
  std::string sep(const char* s) { return pick(4) == 0 ? std::string(" ") + s + "\n " : s; }

  std::mt19937 random_;
};

template <class Recursive, class LevelByLevel, class Write, class Make>
void compare(Recursive&& recursive, LevelByLevel&& level_by_level, Write&& write, Make&& make) {
  int failed = 0, cases = 0;
  for (unsigned seed = 0; seed < 1500; ++seed) {
    Nestings gen(seed);
    const std::string whole = make(gen);
    for (const std::string& text : {whole, gen.fault(whole), gen.fault(whole)}) {
      const std::string expected = outcome(text, recursive, write);
      EXPECT_EQ(outcome(text, level_by_level, write), expected) << "seed " << seed << ": " << text;
      failed += expected.rfind("read ", 0) != 0;
      ++cases;
    }
  }
  // Most faults are met, at every depth; some nestings pass the depth limit.
  EXPECT_GT(failed, cases / 2);
}

TEST(DeepFaults, ValuesReadAsTheRecursiveReadingDoes) {
  compare(
      recursive_value, [](json::Reader& r) { return read_value(r); }, write_value,
      [](Nestings& gen) { return gen.value(gen.pick(70)); });
}

TEST(DeepFaults, NodesReadAsTheRecursiveReadingDoes) {
  compare(recursive_node, read_node, write_node,
          [](Nestings& gen) { return gen.node(gen.pick(45)); });
}

}  // namespace
}  // namespace vorlik
