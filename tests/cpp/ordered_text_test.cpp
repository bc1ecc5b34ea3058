// Map order, against plain models: map_order and settle_range against std::map, and OrderedText
// against a tree written out directly in normal form.
#include "containers/ordered_text.hpp"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "containers/ordered.hpp"

namespace vorlik {
namespace {

// Few distinct keys, so that repeats are common; a prefix of another among them, and bytes
// above 0x7F.
constexpr std::string_view kKeys[] = {"b", "a", "ab", "", "z", "\xC3\xA9", "Z", "a\x7f", "ba"};

std::vector<std::string> random_keys(std::mt19937& random, std::size_t n) {
  std::vector<std::string> keys;
  for (std::size_t k = 0; k < n; ++k) keys.emplace_back(kKeys[random() % std::size(kKeys)]);
  return keys;
}

// What the rule says, by std::map: std::string orders bytes as unsigned, and assigning again
// keeps the last.
std::vector<std::pair<std::string, std::size_t>> model_order(const std::vector<std::string>& keys) {
  std::map<std::string, std::size_t> last;
  for (std::size_t k = 0; k < keys.size(); ++k) last[keys[k]] = k;
  return {last.begin(), last.end()};
}

class MapOrderSizes : public ::testing::TestWithParam<std::size_t> {};

TEST_P(MapOrderSizes, KeepsTheLastOfEqualKeysInByteOrder) {
  std::mt19937 random(static_cast<unsigned>(GetParam()));
  for (int round = 0; round < 200; ++round) {
    const std::vector<std::string> keys = random_keys(random, GetParam());
    const auto expected = model_order(keys);

    std::vector<std::uint32_t> order(keys.size());
    const std::size_t kept = map_order(
        keys.size(), [&](std::uint32_t i) { return std::string_view(keys[i]); }, order.data());
    ASSERT_EQ(kept, expected.size());
    for (std::size_t j = 0; j < kept; ++j) EXPECT_EQ(order[j], expected[j].second);

    struct Entry {
      std::string_view first;
      std::size_t second;
    };
    std::vector<Entry> entries;
    for (std::size_t k = 0; k < keys.size(); ++k) entries.push_back({keys[k], k});
    bool ordered = false;
    const auto end = settle_range(entries.begin(), entries.end(), &ordered);
    ASSERT_EQ(static_cast<std::size_t>(end - entries.begin()), expected.size());
    for (std::size_t j = 0; j < expected.size(); ++j) {
      EXPECT_EQ(entries[j].first, expected[j].first);
      EXPECT_EQ(entries[j].second, expected[j].second);
    }
    EXPECT_EQ(ordered, expected.size() == keys.size() &&
                           std::is_sorted(keys.begin(), keys.end(),
                                          [](auto& a, auto& b) { return a <= b; }));
  }
}

// Both sides of the size where the sort changes strategy.
INSTANTIATE_TEST_SUITE_P(Sizes, MapOrderSizes, ::testing::Values(0, 1, 2, 3, 15, 16, 17, 40));

// A generated document: maps (keys repeated, out of order), lists and leaves. Written in input
// order through OrderedText, with stray bytes that are rewritten away and leaves that are
// rewritten to another spelling, it must gather to the model's normal form. It is written as text
// (brackets, members separated by commas) or packed: a container is a head telling its kind and
// how many entries it keeps, with no separator and no closing byte. The head is one byte written
// in place for fewer than three entries, a longer rewrite of that byte otherwise.
struct Doc {
  enum class Kind { Leaf, List, Map } kind = Kind::Leaf;
  std::string leaf;
  std::vector<std::pair<std::string, std::unique_ptr<Doc>>> members;  // a list's keys are unused
};

std::unique_ptr<Doc> generate(std::mt19937& random, int depth) {
  auto d = std::make_unique<Doc>();
  const auto pick = random() % 10;
  if (depth == 0 || pick < 4) {
    d->leaf = std::to_string(random() % 100);
    return d;
  }
  d->kind = pick < 6 ? Doc::Kind::List : Doc::Kind::Map;
  const std::size_t n = random() % 6;
  for (std::size_t k = 0; k < n; ++k)
    d->members.emplace_back(std::string(kKeys[random() % std::size(kKeys)]),
                            generate(random, depth - 1));
  return d;
}

std::string head(bool map, std::size_t count) {
  if (count < 3) return std::string(1, static_cast<char>((map ? 'a' : 'A') + count));
  std::string h = "<";
  h += std::to_string(count);
  h += map ? "m>" : "l>";
  return h;
}

// The normal form: maps in map order; a leaf spelt `<n>` is written `n`.
void normal(const Doc& d, bool packed, std::string& out) {
  if (d.kind == Doc::Kind::Leaf) {
    out += d.leaf;
    return;
  }
  const bool map = d.kind == Doc::Kind::Map;
  std::vector<std::size_t> order;
  if (map) {
    std::vector<std::string> keys;
    for (const auto& m : d.members) keys.push_back(m.first);
    for (const auto& [key, index] : model_order(keys)) order.push_back(index);
  } else {
    for (std::size_t k = 0; k < d.members.size(); ++k) order.push_back(k);
  }
  out += packed ? head(map, order.size()) : std::string(1, map ? '{' : '[');
  for (std::size_t j = 0; j < order.size(); ++j) {
    if (j && !packed) out += ',';
    const auto& [key, value] = d.members[order[j]];
    if (map) out += key + ':';
    normal(*value, packed, out);
  }
  if (!packed) out += map ? '}' : ']';
}

class Writer {
 public:
  Writer(std::mt19937& random, OrderedText& order, bool packed)
      : random_(random), order_(order), packed_(packed) {}

  void write(const Doc& d) {
    noise();
    if (d.kind == Doc::Kind::Leaf) {
      // Leaves come in another spelling half the time, rewritten to the normal one.
      if (random_() % 2) {
        const std::size_t at = text_.size();
        text_ += "<" + d.leaf + ">";
        order_.rewrite(at, d.leaf.size() + 2, d.leaf);
      } else {
        text_ += d.leaf;
      }
      return;
    }
    const bool map = d.kind == Doc::Kind::Map;
    const std::size_t head_at = text_.size();
    const std::uint32_t mark = order_.mark();
    text_ += packed_ ? '?' : map ? '{' : '[';
    const std::size_t body = text_.size();
    if (map) order_.open_map();
    for (std::size_t k = 0; k < d.members.size(); ++k) {
      if (k && !packed_) text_ += ',';
      noise();
      const auto& [key, value] = d.members[k];
      if (map) {
        // Keys too come in another spelling half the time, rewritten once the member started.
        const std::size_t at = text_.size();
        order_.member(key, at);
        if (random_() % 2) {
          text_ += "<" + key + ">:";
          order_.rewrite(at, key.size() + 2, key);
        } else {
          text_ += key + ':';
        }
      }
      write(*value);
      noise();
    }
    const std::size_t kept = map ? order_.close_map(body, text_.size()) : d.members.size();
    if (!packed_) {
      text_ += map ? '}' : ']';
      return;
    }
    const std::string h = head(map, kept);
    if (h.size() == 1)
      text_[head_at] = h[0];
    else
      order_.rewrite(mark, head_at, 1, h);
  }

  const std::string& text() const { return text_; }

 private:
  // Stray bytes, dropped by a rewrite.
  void noise() {
    if (random_() % 4) return;
    const std::size_t n = 1 + random_() % 3;
    order_.rewrite(text_.size(), n, {});
    text_.append(n, '~');
  }

  std::mt19937& random_;
  OrderedText& order_;
  const bool packed_;
  std::string text_;
};

class Packed : public ::testing::TestWithParam<bool> {};

TEST_P(Packed, GathersTheNormalFormOfGeneratedDocuments) {
  const bool packed = GetParam();
  for (unsigned seed = 0; seed < 2000; ++seed) {
    std::mt19937 random(seed);
    const std::unique_ptr<Doc> doc = generate(random, 5);
    Arena arena;
    OrderedText order(arena, packed ? "" : ",");
    Writer w(random, order, packed);
    w.write(*doc);
    std::string expected;
    normal(*doc, packed, expected);
    std::string gathered(order.gathered_room(w.text().size()), '\0');
    gathered.resize(
        static_cast<std::size_t>(order.gather(w.text(), gathered.data()) - gathered.data()));
    ASSERT_EQ(gathered, expected) << "seed " << seed << ", written " << w.text();
    EXPECT_EQ(order.rewritten(), w.text() != expected);
  }
}

INSTANTIATE_TEST_SUITE_P(OrderedText, Packed, ::testing::Bool());

// A rewrite may reach past its own stretch over ones already rewritten (a length field that grew
// in front of a map that was put in order), and a text without separators keeps none.
TEST(OrderedText, RewriteAroundEarlierRewrites) {
  Arena arena;
  OrderedText order(arena, {});
  const std::string text = "H{b1a2}";
  const std::uint32_t head = order.mark();
  order.open_map();
  order.member("b", 2);
  order.member("a", 4);
  EXPECT_EQ(order.close_map(2, 6), 2U);
  order.rewrite(head, 0, 1, "head");
  std::string out(order.gathered_room(text.size()), '\0');
  out.resize(static_cast<std::size_t>(order.gather(text, out.data()) - out.data()));
  EXPECT_EQ(out, "head{a2b1}");
}

}  // namespace
}  // namespace vorlik
