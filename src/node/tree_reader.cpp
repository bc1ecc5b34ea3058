#include "src/node/tree_reader.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>

#include "belvane/value.hpp"
#include "containers/ordered.hpp"
#include "containers/staging.hpp"
#include "jsonio/chars.hpp"
#include "jsonio/cursor.hpp"
#include "jsonio/reader.hpp"
#include "jsonio/token.hpp"
#include "src/action/fast.hpp"
#include "src/action/typing.hpp"

namespace vorlik {

namespace {

using json::TextCursor;

// `kKeepWritten`: each node whose text stands in written form keeps it, at a few steps a node.
template <bool kKeepWritten>
class FastTree : public TextCursor {
 public:
  FastTree(std::string_view text, Arena& arena) : TextCursor(text, arena) {}

  std::optional<Node> document() {
    Node root;
    const char* p = node(begin_, 0, root);
    if (gave_up() || json::token::skip_space(p, end_) != end_) return std::nullopt;
    return root;
  }

 private:
  const char* node(const char* p, int open, Node& n);
  // Inlined into node(): a node's members are its reader's inner loop, and a call for each
  // costs more than most members' own steps.
  [[gnu::always_inline]] inline const char* node_member(const char* p, int open, Node& n,
                                                        unsigned& seen);
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
    open = deeper(p, open);
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

template <bool kKeepWritten>
const char* FastTree<kKeepWritten>::node(const char* p, int open, Node& n) {
  const char c = at(p);
  if (c == '[') return exact(p, open, [&](json::Reader& r) { n = read_node(r); });
  if (c != '{') return give_up();
  const char* const start = p;
  const std::uint32_t irregular = irregular_;
  const bool empty = past_open(p, '}');
  open = deeper(p, open);
  if (empty) return give_up();  // no tag
  unsigned seen = 0;
  do p = node_member(p, open, n, seen);
  while (more(p, '}'));
  if (!kNodeFields.complete(seen)) return give_up();
  if (kKeepWritten && irregular_ == irregular)
    n.keep_written({start, static_cast<std::size_t>(p - start)});
  return p;
}

template <bool kKeepWritten>
const char* FastTree<kKeepWritten>::node_member(const char* p, int open, Node& n, unsigned& seen) {
  int field = kNodeFields.names.match(p, end_);
  if (field < 0) {
    std::string_view name;
    p = key(p, name);
    field = kNodeFields.names.find(name);
    if (field < 0) return exact(p, open, [](json::Reader& r) { r.skip_value(); });
  }
  const unsigned bit = 1u << field;
  if (seen & bit) return give_up();
  if (kKeepWritten && seen > bit) ++irregular_;  // the writer's order is NodeField's
  seen |= bit;
  switch (static_cast<NodeField>(field)) {
    case NodeField::Tag: {
      if (at(p) != '"') return give_up();
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
  open = deeper(p, open);
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
      if (name != kValueVariants[0]) return give_up();
    }
    v = Value();
    return p;
  }
  if (!take(p, '{')) return p;
  const int inner = deeper(p, open);
  int variant = kValueVariants.match(p, end_);
  if (variant < 0) {
    std::string_view name;
    p = key(p, name);
    variant = kValueVariants.find(name);
    if (variant < 0) return give_up();
  }
  switch (static_cast<Value::Kind>(variant)) {
    case Value::Kind::Str: {
      if (at(p) != '"') return give_up();
      std::string_view s;
      p = string(p, s);
      if (s.size() > UINT32_MAX) return give_up();
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
  take(p, '}');
  return p;
}

template <bool kKeepWritten>
const char* FastTree<kKeepWritten>::integer(const char* p, int open, Value& v) {
  v.kind = Value::Kind::Int;
  // An integer within i64 is taken as it stands; anything else (-0, a fraction, an exponent, a
  // value out of range, or no number at all) goes to the exact reader, which refuses it.
  const char c = at(p);
  if (c == '-' || json::is_digit(c)) {
    const json::token::NumberToken t = json::token::scan_number(p, end_);
    if (t.fault == json::token::Fault::None && t.is_i64()) {
      v.integer = t.negative ? static_cast<std::int64_t>(0 - t.magnitude)
                             : static_cast<std::int64_t>(t.magnitude);
      return t.at;
    }
  }
  return exact(p, open, [&](json::Reader& r) { v.integer = r.read_i64(); });
}

template <bool kKeepWritten>
const char* FastTree<kKeepWritten>::boolean(const char* p, Value& v) {
  v.kind = Value::Kind::Bool;
  at(p);
  if (literal(p, "true")) {
    v.boolean = true;
    return p;
  }
  if (literal(p, "false")) {
    v.boolean = false;
    return p;
  }
  return give_up();
}

template <bool kKeepWritten>
const char* FastTree<kKeepWritten>::list(const char* p, int open, Value& v) {
  open = deeper(p, open);
  v.kind = Value::Kind::List;
  v.count = 0;
  v.items = nullptr;
  if (opens_empty(p, ']')) return p;
  Staging<Value> items;
  do p = value(p, open, items.emplace());
  while (more(p, ']'));
  if (items.size() > UINT32_MAX) return give_up();
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
  if (keep_written) return FastTree<true>(text, arena).document();
  return FastTree<false>(text, arena).document();
}

}  // namespace vorlik
