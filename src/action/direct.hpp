// Typing straight from the reader: the direct way, for the common well-formed handler with its
// tag first. The value handle is `Direct`, the reader standing on the value. Every step returns
// false on anything unusual (the tag elsewhere, a repeated or missing field, a value of another
// type); the caller then rewinds and reads the handler again the general way, which also
// produces the error, if there is one.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "jsonio/names.hpp"
#include "jsonio/reader.hpp"
#include "jsonio/record.hpp"
#include "jsonio/value.hpp"
#include "src/action/tags.hpp"

namespace vorlik::handler {

struct Direct {
  json::Reader& r;
};

inline Arena& arena_of(Direct d) {
  return d.r.arena();
}

inline bool take_str(Direct d, std::string_view& out) {
  if (d.r.peek_ws() != '"') return false;
  out = d.r.string_token();
  return true;
}

inline bool is_str(Direct d) {
  return d.r.peek_ws() == '"';
}

// Consumes a null where the handle stands on one.
inline bool take_null(Direct d) {
  return d.r.take_null();
}

inline bool take_lit(Direct d, json::Json& out) {
  out = json::read_json(d.r, json::Shape::Generic);
  return true;
}

template <class Each>
bool each_item(Direct d, Each&& each) {
  if (d.r.peek_ws() != '[') return false;
  return d.r.try_container(']', [&] {
    json::Reader::Elements el(d.r);
    while (el.next())
      if (!each(d)) return false;
    return true;
  });
}

template <class Each>
bool each_entry(Direct d, Each&& each) {
  if (d.r.peek_ws() != '{') return false;
  return d.r.try_container('}', [&] {
    json::Reader::Members m(d.r);
    std::string_view key;
    while (m.next(key)) {
      d.r.colon();
      if (!each(key, d)) return false;
    }
    return true;
  });
}

// The members after the tag: each known field at most once, unknown members read (they must be
// well-formed content) and dropped.
struct DirectFields {
  json::Reader& r;
  json::Reader::Members& members;
  const TaggedType& type;

  template <class TypeField>
  bool operator()(std::span<const json::FieldSpec> fields, TypeField&& type_field) const {
    json::FieldSet set(fields);
    std::string_view key;
    while (members.next(key)) {
      if (json::same_name(key, type.tag_key)) return false;
      r.colon();
      const std::size_t k = set.find(key);
      if (k == json::FieldSet::kUnknown) {
        (void)json::read_json(r, json::Shape::Buffered);
        continue;
      }
      if (set.seen(k)) return false;
      set.mark(k);
      if (!type_field(k, Direct{r})) return false;
    }
    return set.missing() == nullptr;
  }
};

// A tagged value typed by type_variant(variant, fields), its tag the first member. A handler
// standing in the text names its variant; the values nested in it may also give its number
// (`numbered`), as buffered content does.
template <class TypeVariant>
bool typed(Direct d, const TaggedType& t, TypeVariant&& type_variant, bool numbered = true) {
  json::Reader& r = d.r;
  if (r.peek_ws() != '{') return false;
  return r.try_container('}', [&] {
    json::Reader::Members m(r);
    std::string_view key;
    if (!m.next(key) || !json::same_name(key, t.tag_key)) return false;
    r.colon();
    int variant = -1;
    const int c = r.peek_ws();
    if (c == '"') {
      variant = find_tag(r.string_token(), t);
    } else if (numbered && c >= '0' && c <= '9') {
      const json::Number n = r.number_token();
      if (n.kind == json::Number::Kind::U64 && n.u < t.tags.size()) variant = static_cast<int>(n.u);
    }
    if (variant < 0) return false;
    return type_variant(variant, DirectFields{r, m, t});
  });
}

}  // namespace vorlik::handler
