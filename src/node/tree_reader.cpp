#include "src/node/tree_reader.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <optional>

#include "belvane/value.hpp"
#include "containers/ordered.hpp"
#include "containers/staging.hpp"
#include "jsonio/chars.hpp"
#include "jsonio/error.hpp"
#include "jsonio/reader.hpp"
#include "jsonio/scan.hpp"
#include "src/action/fast.hpp"
#include "src/action/typing.hpp"
#include "src/text_cursor.hpp"

namespace vorlik {

namespace {

// `kKeepWritten`: each node whose text stands in written form keeps it, at a few steps a node.
template <bool kKeepWritten>
class FastTree : public TextCursor {
 public:
  FastTree(std::string_view text, Arena& arena) : TextCursor(text, arena) {}

  Node document() {
    Node root;
    const char* p = node(begin_, 0, root);
    if (space(p) != end_) throw GiveUp{};
    return root;
  }

 private:
  // The known member names of nodes and values stand in compact text as `"name":`. Told apart
  // by their first letter and matched whole, they cost a few compares instead of a scan.
  int node_field_name(const char*& p) const;
  int value_variant_name(const char*& p) const;

  const char* node(const char* p, int open, Node& n);
  const char* node_member(const char* p, int open, Node& n, unsigned& seen);
  const char* props(const char* p, int open, ArenaVec<ValueEntry>& out);
  const char* slots(const char* p, int open, ArenaMap<Children>& out);
  const char* children(const char* p, int open, Children& out);
  const char* action(const char* p, int open, Action& a);
  const char* value(const char* p, int open, Value& v);
  const char* integer(const char* p, int open, Value& v);
  const char* boolean(const char* p, Value& v);
  const char* list(const char* p, int open, Value& v);
  const char* map(const char* p, int open, Value& v);

  // Reads a map whose values read_value reads, into `out`.
  template <class Entry, class ReadValue>
  const char* entries(const char* p, int open, ArenaVec<Entry>& out, ReadValue&& read_value) {
    expect(p, '{');
    open = deeper(open);
    if (opens_empty(p, '}')) {
      out = {};
      return p;
    }
    Staging<Entry> staged;
    do {
      Entry& e = staged.emplace();
      p = key(p, e.first);
      p = read_value(p, open, e.second);
    } while (more(p, '}'));
    if constexpr (kKeepWritten) {
      bool ordered = true;
      out = lay_out_map(staged, arena_, &ordered);
      if (!ordered) ++irregular_;
    } else {
      out = lay_out_map(staged, arena_);
    }
    return p;
  }
};

int node_field(std::string_view name) {
  switch (name.size()) {
    case 3:
      if (name == "tag") return static_cast<int>(NodeField::Tag);
      if (name == "key") return static_cast<int>(NodeField::Key);
      break;
    case 5:
      if (name == "props") return static_cast<int>(NodeField::Props);
      if (name == "slots") return static_cast<int>(NodeField::Slots);
      break;
    case 6:
      if (name == "events") return static_cast<int>(NodeField::Events);
      break;
    case 8:
      if (name == "bindings") return static_cast<int>(NodeField::Bindings);
      break;
  }
  return -1;
}

template <bool kKeepWritten>
int FastTree<kKeepWritten>::node_field_name(const char*& p) const {
  if (end_ - p < 2) return -1;
  switch (p[1]) {
    case 't':
      return literal(p, "\"tag\":") ? static_cast<int>(NodeField::Tag) : -1;
    case 'k':
      return literal(p, "\"key\":") ? static_cast<int>(NodeField::Key) : -1;
    case 'p':
      return literal(p, "\"props\":") ? static_cast<int>(NodeField::Props) : -1;
    case 's':
      return literal(p, "\"slots\":") ? static_cast<int>(NodeField::Slots) : -1;
    case 'e':
      return literal(p, "\"events\":") ? static_cast<int>(NodeField::Events) : -1;
    case 'b':
      return literal(p, "\"bindings\":") ? static_cast<int>(NodeField::Bindings) : -1;
  }
  return -1;
}

// The variants of Value as the exact reader names them, in the order of Value::Kind.
constexpr std::string_view kVariants[] = {"Null", "Bool", "Int", "Float",
                                          "Str",  "List", "Map", "Submodel"};

template <bool kKeepWritten>
int FastTree<kKeepWritten>::value_variant_name(const char*& p) const {
  if (end_ - p < 2) return -1;
  const auto kind = [](Value::Kind k) { return static_cast<int>(k); };
  switch (p[1]) {
    case 'S':
      if (literal(p, "\"Str\":")) return kind(Value::Kind::Str);
      return literal(p, "\"Submodel\":") ? kind(Value::Kind::Submodel) : -1;
    case 'I':
      return literal(p, "\"Int\":") ? kind(Value::Kind::Int) : -1;
    case 'F':
      return literal(p, "\"Float\":") ? kind(Value::Kind::Float) : -1;
    case 'B':
      return literal(p, "\"Bool\":") ? kind(Value::Kind::Bool) : -1;
    case 'L':
      return literal(p, "\"List\":") ? kind(Value::Kind::List) : -1;
    case 'M':
      return literal(p, "\"Map\":") ? kind(Value::Kind::Map) : -1;
    case 'N':
      return literal(p, "\"Null\":") ? kind(Value::Kind::Null) : -1;
  }
  return -1;
}

template <bool kKeepWritten>
const char* FastTree<kKeepWritten>::node(const char* p, int open, Node& n) {
  const char c = at(p);
  if (c == '[') return exact(p, open, [&](json::Reader& r) { n = read_node(r); });
  if (c != '{') throw GiveUp{};
  const char* const start = p;
  const std::uint32_t irregular = irregular_;
  open = deeper(open);
  if (opens_empty(p, '}')) throw GiveUp{};  // no tag
  unsigned seen = 0;
  do {
    p = node_member(p, open, n, seen);
  } while (more(p, '}'));
  if ((seen & 1u << static_cast<int>(NodeField::Tag)) == 0) throw GiveUp{};
  if (kKeepWritten && irregular_ == irregular)
    n.keep_written({start, static_cast<std::size_t>(p - start)});
  return p;
}

template <bool kKeepWritten>
const char* FastTree<kKeepWritten>::node_member(const char* p, int open, Node& n, unsigned& seen) {
  int field = node_field_name(p);
  if (field < 0) {
    std::string_view name;
    p = key(p, name);
    field = node_field(name);
    if (field < 0) return exact(p, open, [](json::Reader& r) { r.skip_value(); });
  }
  const unsigned bit = 1u << field;
  if (seen & bit) throw GiveUp{};
  if (kKeepWritten && seen > bit) ++irregular_;  // the writer's order is NodeField's
  seen |= bit;
  switch (static_cast<NodeField>(field)) {
    case NodeField::Tag: {
      expect(p, '"');
      std::string_view tag;
      p = string(p, tag);
      n.set_tag(tag);
      return p;
    }
    case NodeField::Key:
      if (at(p) == '"') {
        std::string_view key_text;
        p = string(p, key_text);
        n.key = std::optional<std::string_view>(key_text);
        return p;
      }
      break;
    // The writer leaves empty maps out.
    case NodeField::Props:
      p = entries(p, open, n.props,
                  [this](const char* q, int o, Value& v) { return value(q, o, v); });
      if (kKeepWritten && n.props.empty()) ++irregular_;
      return p;
    case NodeField::Slots:
      p = slots(p, open, n.slots);
      if (kKeepWritten && n.slots.empty()) ++irregular_;
      return p;
    case NodeField::Events: {
      ArenaMap<Action> events;
      p = entries(p, open, events,
                  [this](const char* q, int o, Action& a) { return action(q, o, a); });
      if (!events.empty()) n.edit_extras(arena_).events = events;
      // Handlers are not held to their written form: checking one costs as much as writing it.
      ++irregular_;
      return p;
    }
    case NodeField::Bindings:
      break;
  }
  return exact(p, open,
               [&](json::Reader& r) { read_node_field(r, n, static_cast<NodeField>(field)); });
}

template <bool kKeepWritten>
const char* FastTree<kKeepWritten>::slots(const char* p, int open, ArenaMap<Children>& out) {
  return entries(p, open, out,
                 [this](const char* q, int o, Children& c) { return children(q, o, c); });
}

template <bool kKeepWritten>
const char* FastTree<kKeepWritten>::children(const char* p, int open, Children& out) {
  expect(p, '[');
  open = deeper(open);
  if (opens_empty(p, ']')) return p;
  Staging<Node> nodes;
  do p = node(p, open, nodes.emplace());
  while (more(p, ']'));
  out = Children({Staging<Node>::lay_out(nodes.items(), arena_), nodes.size()});
  return p;
}

template <bool kKeepWritten>
const char* FastTree<kKeepWritten>::action(const char* p, int open, Action& a) {
  const char* q = p;
  if (handler::type_action(handler::Fast{*this, q, open}, a)) return q;
  // Anything unusual, such as the tag standing elsewhere, is the exact reader's.
  return exact(p, open, [&](json::Reader& r) { a = read_action(r); });
}

template <bool kKeepWritten>
const char* FastTree<kKeepWritten>::value(const char* p, int open, Value& v) {
  if (at(p) == '"') {
    std::string_view name;
    if (!literal(p, "\"Null\"")) {
      p = string(p, name);
      if (name != "Null") throw GiveUp{};
    }
    v = Value();
    return p;
  }
  expect(p, '{');
  const int inner = deeper(open);
  ++p;
  int variant = -1;
  if (p < end_ && *p == '"') variant = value_variant_name(p);
  if (variant < 0) {
    std::string_view name;
    p = key(p, name);
    for (std::size_t k = 0; k < std::size(kVariants); ++k)
      if (name == kVariants[k]) variant = static_cast<int>(k);
    if (variant < 0) throw GiveUp{};
  }
  switch (static_cast<Value::Kind>(variant)) {
    case Value::Kind::Str: {
      expect(p, '"');
      std::string_view s;
      p = string(p, s);
      if (s.size() > UINT32_MAX) throw GiveUp{};
      v.kind = Value::Kind::Str;
      v.count = static_cast<std::uint32_t>(s.size());
      v.chars = s.data();
      break;
    }
    case Value::Kind::Int:
      p = integer(p, inner, v);
      break;
    case Value::Kind::Float:
      // Nor is a float (by the exact reader's count): its shortest form costs as much to check
      // as to write.
      v.kind = Value::Kind::Float;
      p = exact(p, inner, [&](json::Reader& r) { v.real = r.read_f64(); });
      break;
    case Value::Kind::Bool:
      p = boolean(p, v);
      break;
    case Value::Kind::List:
      p = list(p, inner, v);
      break;
    case Value::Kind::Map:
      p = map(p, inner, v);
      break;
    case Value::Kind::Submodel:
      v.kind = Value::Kind::Submodel;
      p = exact(p, inner, [&](json::Reader& r) { v.submodel = r.read_u64(); });
      break;
    case Value::Kind::Null:
      v = Value();
      p = exact(p, inner, [](json::Reader& r) { r.read_unit(); });
      break;
  }
  expect(p, '}');
  return p + 1;
}

template <bool kKeepWritten>
const char* FastTree<kKeepWritten>::integer(const char* p, int open, Value& v) {
  v.kind = Value::Kind::Int;
  at(p);
  // Up to 18 digits cannot overflow. Longer ones, "-0" (a float), and anything with a fraction,
  // an exponent or a leading zero go to the exact reader, which also refuses what is not a
  // number.
  const bool negative = *p == '-';
  const char* digits = p + (negative ? 1 : 0);
  const char* q = digits;
  // Unsigned: a 19th digit is still taken in (and then refused) without overflow.
  std::uint64_t magnitude = 0;
  while (q < end_ && json::is_digit(*q) && q - digits < 19)
    magnitude = magnitude * 10 + static_cast<std::uint64_t>(*q++ - '0');
  const auto count = q - digits;
  const bool plain = count >= 1 && count <= 18 && (digits[0] != '0' || count == 1) &&
                     !(negative && magnitude == 0) &&
                     (q == end_ || !(json::is_digit(*q) || *q == '.' || *q == 'e' || *q == 'E'));
  if (!plain) return exact(p, open, [&](json::Reader& r) { v.integer = r.read_i64(); });
  const auto value = static_cast<std::int64_t>(magnitude);
  v.integer = negative ? -value : value;
  return q;
}

template <bool kKeepWritten>
const char* FastTree<kKeepWritten>::boolean(const char* p, Value& v) {
  v.kind = Value::Kind::Bool;
  at(p);
  const auto left = end_ - p;
  if (left >= 4 && std::memcmp(p, "true", 4) == 0) {
    v.boolean = true;
    return p + 4;
  }
  if (left >= 5 && std::memcmp(p, "false", 5) == 0) {
    v.boolean = false;
    return p + 5;
  }
  throw GiveUp{};
}

template <bool kKeepWritten>
const char* FastTree<kKeepWritten>::list(const char* p, int open, Value& v) {
  expect(p, '[');
  open = deeper(open);
  v.kind = Value::Kind::List;
  v.count = 0;
  v.items = nullptr;
  if (opens_empty(p, ']')) return p;
  Staging<Value> items;
  do p = value(p, open, items.emplace());
  while (more(p, ']'));
  if (items.size() > UINT32_MAX) throw GiveUp{};
  v.count = static_cast<std::uint32_t>(items.size());
  v.items = Staging<Value>::lay_out(items.items(), arena_);
  return p;
}

template <bool kKeepWritten>
const char* FastTree<kKeepWritten>::map(const char* p, int open, Value& v) {
  ArenaVec<ValueEntry> kept;
  p = entries(p, open, kept,
              [this](const char* q, int o, Value& item) { return value(q, o, item); });
  v.kind = Value::Kind::Map;
  v.count = static_cast<std::uint32_t>(kept.size());
  v.entries = kept.data();
  return p;
}

}  // namespace

std::optional<Node> read_tree_fast(std::string_view text, Arena& arena, bool keep_written) {
  try {
    if (keep_written) return FastTree<true>(text, arena).document();
    return FastTree<false>(text, arena).document();
  } catch (const GiveUp&) {
  } catch (const json::ReadError&) {
  }
  return std::nullopt;
}

}  // namespace vorlik
