// Typing from buffered content: the general way, which reads the handler whole first (the tag
// may stand anywhere) and reports every error. The value handle is `Buffered`, a buffered value
// with the arena the typed handler goes to; every typing step either succeeds or throws, so the
// status the steps return is always true here.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "jsonio/record.hpp"
#include "jsonio/value.hpp"
#include "src/action/tags.hpp"

namespace vorlik::handler {

using json::Json;

struct Buffered {
  const Json& v;
  Arena& arena;
};

inline Arena& arena_of(const Buffered& h) {
  return h.arena;
}

// A tagged value with its tag taken out: the remaining members (object form) or the remaining
// elements (array form), pointing into buffered content that outlives the body.
struct Body {
  int variant = 0;
  bool array_form = false;
  std::vector<std::pair<std::string_view, const Json*>> members;
  std::vector<const Json*> items;
};

[[noreturn]] void fail_missing_tag(const TaggedType& t);
// The tag of a value nested in buffered content: a name, or the variant's number.
int variant_from_content(const Json& v, const TaggedType& t);
Body body_of(const Json& v, const TaggedType& t);
// The generic shape of buffered content: objects become maps, laid out in `arena`.
Json to_generic(const Json& v, Arena& arena);

// "struct variant Action::SetProp", as the array form names the variant.
std::string variant_record(const Body& b, const TaggedType& t);
// More elements than the variant has fields: "invalid length 4, expected 3 elements in sequence".
void check_no_trailing(const Body& b, std::size_t fields);

// Types the fields of a variant from its body, in the order the members stand; each field is
// typed by type_field(index, value). In array form every field must stand.
struct BufferedFields {
  const Body& body;
  const TaggedType& type;
  Arena& arena;

  template <class TypeField>
  bool operator()(std::span<const json::FieldSpec> fields, TypeField&& type_field) const {
    if (body.array_form) {
      std::size_t next = 0;
      json::take_elements(
          variant_record(body, type), fields, [&] { return next++ < body.items.size(); },
          [&](std::size_t k) {
            (void)type_field(k, Buffered{*body.items[k], arena});
          });
      check_no_trailing(body, fields.size());
      return true;
    }
    json::FieldSet set(fields);
    for (const auto& [key, value] : body.members) {
      const std::size_t k = set.find(key);
      if (k == json::FieldSet::kUnknown) continue;  // members the variant does not know are dropped
      if (set.seen(k)) json::fail_duplicate(key);
      set.mark(k);
      (void)type_field(k, Buffered{*value, arena});
    }
    set.check_complete();
    return true;
  }
};

inline bool take_str(const Buffered& h, std::string_view& out) {
  if (!h.v.is_string()) json::fail_type(h.v, "a string");
  out = h.v.string();
  return true;
}

inline bool is_str(const Buffered& h) {
  return h.v.is_string();
}

// Consumes a null where the handle stands on one.
inline bool take_null(const Buffered& h) {
  return h.v.is_null();
}

inline bool take_lit(const Buffered& h, Json& out) {
  out = to_generic(h.v, h.arena);
  return true;
}

template <class Each>
bool each_item(const Buffered& h, Each&& each) {
  if (!h.v.is_array()) json::fail_type(h.v, "a sequence");
  for (const Json& item : h.v.items()) (void)each(Buffered{item, h.arena});
  return true;
}

template <class Each>
bool each_entry(const Buffered& h, Each&& each) {
  if (!h.v.is_object()) json::fail_type(h.v, "a map");
  for (const auto& [key, value] : h.v.members()) (void)each(key, Buffered{value, h.arena});
  return true;
}

// A tagged value typed by type_variant(variant, fields).
template <class TypeVariant>
bool typed(const Buffered& h, const TaggedType& t, TypeVariant&& type_variant) {
  const Body b = body_of(h.v, t);
  return type_variant(b.variant, BufferedFields{b, t, h.arena});
}

}  // namespace vorlik::handler
