// Typing handlers on the tree reader's fast path. The value handle is `Fast`, the text cursor
// standing on the value. Like the direct way it takes the common handler, its tag first and
// nothing unusual, and returns false on anything else (the tag elsewhere, an unknown, repeated
// or missing field, a value of another type); the caller then hands the handler to the exact
// reader where it stands. A fault in the text gives the whole tree up: the cursor then stands at
// the end, where every step finds nothing more.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "jsonio/cursor.hpp"
#include "jsonio/names.hpp"
#include "jsonio/record.hpp"
#include "jsonio/value.hpp"
#include "src/action/tags.hpp"

namespace vorlik::handler {

struct Fast {
  json::TextCursor& t;
  const char*& p;  // shared by the handles of one handler: each step moves it on
  int open;        // arrays and objects open around the value
};

inline Arena& arena_of(Fast f) {
  return f.t.arena();
}

inline bool is_str(Fast f) {
  return f.t.at(f.p) == '"';
}

inline bool take_str(Fast f, std::string_view& out) {
  if (!is_str(f)) return false;
  f.p = f.t.string(f.p, out);
  return true;
}

inline bool take_null(Fast f) {
  return f.t.at(f.p) == 'n' && f.t.literal(f.p, "null");
}

inline bool take_lit(Fast f, json::Json& out) {
  f.p = f.t.exact(f.p, f.open,
                  [&](json::Reader& r) { out = json::read_json(r, json::Shape::Generic); });
  return true;
}

template <class Each>
bool each_item(Fast f, Each&& each) {
  if (f.t.at(f.p) != '[') return false;
  const bool empty = f.t.past_open(f.p, ']');
  const int inner = f.t.deeper(f.p, f.open);
  if (empty) return true;
  do {
    if (!each(Fast{f.t, f.p, inner})) return false;
  } while (f.t.more(f.p, ']'));
  return true;
}

template <class Each>
bool each_entry(Fast f, Each&& each) {
  if (f.t.at(f.p) != '{') return false;
  const bool empty = f.t.past_open(f.p, '}');
  const int inner = f.t.deeper(f.p, f.open);
  if (empty) return true;
  do {
    std::string_view key;
    f.p = f.t.key(f.p, key);
    if (!each(key, Fast{f.t, f.p, inner})) return false;
  } while (f.t.more(f.p, '}'));
  return true;
}

// The members after the tag, up to the closing brace (left for `typed` to step over): each
// known field at most once.
struct FastFields {
  Fast object;  // `open` counts the object itself
  const TaggedType& type;

  template <class TypeField>
  bool operator()(std::span<const json::FieldSpec> fields, TypeField&& type_field) const {
    json::TextCursor& t = object.t;
    const char*& p = object.p;
    json::FieldSet set(fields);
    for (char c = t.at(p); c != '}'; c = t.at(p)) {
      if (c != ',') {
        p = t.give_up();
        return false;
      }
      ++p;
      std::string_view key;
      p = t.key(p, key);
      if (json::same_name(key, type.tag_key)) return false;
      const std::size_t k = set.find(key);
      if (k == json::FieldSet::kUnknown || set.seen(k)) return false;
      set.mark(k);
      if (!type_field(k, object)) return false;
    }
    return set.missing() == nullptr;
  }
};

// A tagged value whose tag is its first member, named (not numbered) as handlers in the text
// name it.
template <class TypeVariant>
bool typed(Fast f, const TaggedType& t, TypeVariant&& type_variant, bool /*numbered*/ = true) {
  if (f.t.at(f.p) != '{') return false;
  const bool empty = f.t.past_open(f.p, '}');
  const int inner = f.t.deeper(f.p, f.open);
  if (empty) return false;
  if (!f.t.name_literal(f.p, t.tag_key)) {
    std::string_view key;
    f.p = f.t.key(f.p, key);
    if (!json::same_name(key, t.tag_key)) return false;
  }
  std::string_view name;
  if (!take_str(f, name)) return false;
  const int variant = find_tag(name, t);
  if (variant < 0 || !type_variant(variant, FastFields{Fast{f.t, f.p, inner}, t})) return false;
  if (f.t.at(f.p) != '}') return false;
  ++f.p;
  return true;
}

}  // namespace vorlik::handler
