// Random pairs of component trees for exercising the diff: an old tree and a new one made from
// it by edits of every kind an op stands for (tags, keys, props, events, bindings, children
// inserted, removed, reordered and repeated), in keyed and positional lists, with names that need
// escaping.
#pragma once

#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorlik::testing {

struct TreeNode {
  std::string tag;
  std::optional<std::string> key;
  std::map<std::string, std::string> props, events, bindings;  // name to member JSON
  std::map<std::string, std::vector<TreeNode>> slots;
};

class TreeGenerator {
 public:
  explicit TreeGenerator(unsigned seed) : random_(seed) {}

  // An old tree and the new tree, as JSON text.
  std::pair<std::string, std::string> pair() {
    TreeNode old_root = node(0, pick(3) == 0);
    TreeNode new_root = old_root;
    edit(new_root, 0);
    return {text(old_root), text(new_root)};
  }

 private:
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
  template <std::size_t N>
  std::string_view any(const std::string_view (&items)[N]) {
    return items[pick(static_cast<int>(N))];
  }

  // Few names, so that both sides often hold the same one.
  std::string name() {
    static constexpr std::string_view kNames[] = {
        "a", "b", "c", "d\"q", "\xc3\xa9", "e\nf", "\x01", "long name with spaces"};
    return std::string(any(kNames));
  }
  std::string value() {
    static constexpr std::string_view kValues[] = {
        "\"Null\"",
        R"({"Bool":true})",
        R"({"Bool":false})",
        R"({"Int":-4738972931926256480})",
        R"({"Int":7})",
        R"({"Float":1.5})",
        R"({"Float":-1.3945859583353141e+26})",
        R"({"Str":"x\"\\\u0001\u2028"})",
        R"({"Str":""})",
        R"({"List":[{"Int":1},"Null",{"Submodel":15885347284099327199}]})",
        R"({"Map":{"":{"Str":"\"V"},"5":{"Submodel":3}}})",
        R"({"Submodel":14142611448716504067})"};
    return std::string(any(kValues));
  }
  std::string action() {
    static constexpr std::string_view kActions[] = {
        R"({"kind":"js","handler":"h"})",
        R"({"kind":"js","handler":"\u00df3e\u001fN"})",
        R"({"kind":"toggle-field","field":"y"})",
        R"({"kind":"toggle","target":{"ref":"id","id":"Z"},"prop":"UL\\jV"})",
        R"({"kind":"if","cond":{"expr":"not","of":{"expr":"lit","value":"T"}},"then":{"kind":"js","handler":"W"},"else":{"kind":"set","target":{"ref":"this"},"prop":"p","value":{"expr":"lit","value":[[273],[],[null,"p"]]}}})",
        R"({"kind":"patch","model":"8Y","field":"q","value":{"expr":"concat","parts":[{"expr":"field","name":"k"},{"expr":"obj","fields":{"FL":{"expr":"event"}}}]}})",
        R"({"kind":"call","method":"put","url":{"expr":"field","name":"u"},"body":null,"result":""})",
        R"({"kind":"seq","actions":[{"kind":"set-field","field":"m","value":{"expr":"lit","value":{"":-32768}}},{"kind":"toggle-field","field":"e"}]})",
        R"({"kind":"emit","event":"X","detail":{"expr":"prop","target":{"ref":"this"},"name":"n"}})"};
    return std::string(any(kActions));
  }
  std::string binding() {
    static constexpr std::string_view kBindings[] = {
        R"({"mode":"two-way"})", R"({"field":"f","mode":"one-way"})",
        R"({"field":"t","mode":"two-way"})",
        R"({"field":"\b/q","compute":{"VH":true,"f":[12345678.9,""]},"mode":"one-way"})",
        R"({"compute":0,"mode":"one-way"})"};
    return std::string(any(kBindings));
  }
  std::string tag() {
    static constexpr std::string_view kTags[] = {"div", "row", "t\"g"};
    return std::string(any(kTags));
  }
  std::string key() {
    static constexpr std::string_view kKeys[] = {"k0", "k1", "k2", "k3", "k4", "k5", "k\"6"};
    return std::string(any(kKeys));
  }

  void fill(std::map<std::string, std::string>& map, std::string (TreeGenerator::*member)()) {
    for (int n = pick(3); n > 0; --n) map[name()] = (this->*member)();
  }

  TreeNode node(int depth, bool keyed) {
    TreeNode n;
    n.tag = tag();
    if (keyed || pick(4) == 0) n.key = key();
    fill(n.props, &TreeGenerator::value);
    if (pick(3) == 0) fill(n.events, &TreeGenerator::action);
    if (pick(3) == 0) fill(n.bindings, &TreeGenerator::binding);
    if (depth < 3) {
      for (int s = pick(3); s > 0; --s) {
        // Mostly all keyed (matched by key), sometimes mixed (matched by position).
        const bool keyed_list = pick(3) != 0;
        std::vector<TreeNode>& list = n.slots[name()];
        for (int c = pick(6); c > 0; --c) list.push_back(node(depth + 1, keyed_list));
      }
    }
    return n;
  }

  void edit_map(std::map<std::string, std::string>& map, std::string (TreeGenerator::*member)()) {
    if (pick(3) == 0 && !map.empty()) map.erase(std::next(map.begin(), pick(int(map.size()))));
    if (pick(3) == 0) map[name()] = (this->*member)();
  }

  void edit(TreeNode& n, int depth) {
    if (pick(12) == 0) n.tag = tag();  // mostly a Replace
    if (pick(8) == 0) n.key = pick(3) ? std::optional<std::string>(key()) : std::nullopt;
    edit_map(n.props, &TreeGenerator::value);
    edit_map(n.events, &TreeGenerator::action);
    edit_map(n.bindings, &TreeGenerator::binding);
    for (auto& [slot, list] : n.slots) {
      const bool keyed = std::all_of(list.begin(), list.end(),
                                     [](const TreeNode& c) { return c.key.has_value(); });
      if (pick(3) == 0) std::shuffle(list.begin(), list.end(), random_);
      if (pick(3) == 0 && !list.empty()) list.erase(list.begin() + pick(int(list.size())));
      if (pick(3) == 0) {
        auto at = list.begin() + pick(int(list.size()) + 1);
        list.insert(at, node(depth + 1, keyed));
      }
      if (pick(6) == 0 && !list.empty()) list.push_back(list[std::size_t(pick(int(list.size())))]);
      for (TreeNode& child : list)
        if (pick(2) == 0) edit(child, depth + 1);
    }
    if (pick(6) == 0) n.slots[name()].push_back(node(depth + 1, pick(2) == 0));
  }

  static void members(std::string& out, std::string_view field,
                      const std::map<std::string, std::string>& map) {
    if (map.empty()) return;
    out += ",\"";
    out += field;
    out += "\":{";
    bool first = true;
    for (const auto& [name, json] : map) {
      if (!first) out += ',';
      first = false;
      quoted(out, name);
      out += ':';
      out += json;
    }
    out += '}';
  }

  static void quoted(std::string& out, std::string_view s) {
    out += '"';
    for (char c : s) {
      if (c == '"' || c == '\\') {
        out += '\\';
        out += c;
      } else if (static_cast<unsigned char>(c) < 0x20) {
        static constexpr char kHex[] = "0123456789abcdef";
        out += "\\u00";
        out += kHex[(c >> 4) & 15];
        out += kHex[c & 15];
      } else {
        out += c;
      }
    }
    out += '"';
  }

  // An empty slot counts as absent, and is written as absent so that the diff's patch yields
  // the new tree's text exactly.
  static void prune(TreeNode& n) {
    std::erase_if(n.slots, [](const auto& slot) { return slot.second.empty(); });
    for (auto& [slot, list] : n.slots)
      for (TreeNode& child : list) prune(child);
  }

  static std::string text(TreeNode n) {
    prune(n);
    std::string out;
    write(out, n);
    return out;
  }

  static void write(std::string& out, const TreeNode& n) {
    out += "{\"tag\":";
    quoted(out, n.tag);
    if (n.key) {
      out += ",\"key\":";
      quoted(out, *n.key);
    }
    members(out, "props", n.props);
    if (!n.slots.empty()) {
      out += ",\"slots\":{";
      bool first = true;
      for (const auto& [slot, list] : n.slots) {
        if (!first) out += ',';
        first = false;
        quoted(out, slot);
        out += ":[";
        for (std::size_t k = 0; k < list.size(); ++k) {
          if (k) out += ',';
          write(out, list[k]);
        }
        out += ']';
      }
      out += '}';
    }
    members(out, "events", n.events);
    members(out, "bindings", n.bindings);
    out += '}';
  }

  std::mt19937 random_;
};

}  // namespace vorlik::testing
