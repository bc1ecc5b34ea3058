#include "src/action/buffered.hpp"

#include <new>
#include <string>

#include "containers/ordered.hpp"
#include "jsonio/describe.hpp"
#include "jsonio/messages.hpp"

namespace vorlik::handler {

void fail_missing_tag(const TaggedType& t) {
  json::fail_unplaced(json::msg::missing_field(t.tag_key));
}

int variant_from_content(const Json& v, const TaggedType& t) {
  if (v.is_string()) {
    const int k = find_tag(v.string(), t);
    if (k < 0) json::fail_unplaced(unknown_variant(v.string(), t));
    return k;
  }
  if (v.type() == Json::Type::Number && v.number().kind == json::Number::Kind::U64) {
    const std::uint64_t n = v.number().u;
    if (n < t.tags.size()) return static_cast<int>(n);
    json::fail_unplaced(json::msg::invalid_value(json::describe_number(v.number()),
                                                 json::msg::variant_index(t.tags.size())));
  }
  json::fail_type(v, json::msg::kExpectedVariantIdentifier);
}

Body body_of(const Json& v, const TaggedType& t) {
  Body b;
  if (v.is_object()) {
    bool have_tag = false;
    for (const auto& [key, value] : v.members()) {
      if (key == t.tag_key) {
        if (have_tag) json::fail_duplicate(t.tag_key);
        b.variant = variant_from_content(value, t);
        have_tag = true;
      } else {
        b.members.emplace_back(key, &value);
      }
    }
    if (!have_tag) fail_missing_tag(t);
  } else if (v.is_array()) {
    const json::Items& items = v.items();
    b.array_form = true;
    if (items.empty()) fail_missing_tag(t);
    b.variant = variant_from_content(items[0], t);
    for (std::size_t k = 1; k < items.size(); ++k) b.items.push_back(&items[k]);
  } else {
    json::fail_type(v, json::msg::internally_tagged(t.type_name));
  }
  return b;
}

Json to_generic(const Json& v, Arena& arena) {
  Arena& pool = arena;
  if (v.is_array()) {
    const json::Items& from = v.items();
    auto* items = static_cast<Json*>(pool.allocate(from.size() * sizeof(Json), alignof(Json)));
    for (std::size_t k = 0; k < from.size(); ++k)
      ::new (items + k) Json(to_generic(from[k], arena));
    return Json(json::Items(items, from.size()));
  }
  if (v.is_object()) {
    const json::Entries& from = v.members();
    auto* members = static_cast<json::Member*>(
        pool.allocate(from.size() * sizeof(json::Member), alignof(json::Member)));
    for (std::size_t k = 0; k < from.size(); ++k)
      ::new (members + k) json::Member(from[k].first, to_generic(from[k].second, arena));
    json::Entries map(members, from.size());
    settle_entries(map);
    return Json(map);
  }
  return v;
}

std::string variant_record(const Body& b, const TaggedType& t) {
  return json::msg::struct_variant(t.type_name, t.names[static_cast<std::size_t>(b.variant)]);
}

void check_no_trailing(const Body& b, std::size_t fields) {
  if (b.items.size() <= fields) return;
  json::fail_unplaced(
      json::msg::invalid_length(b.items.size(), json::msg::elements_in_sequence(fields)));
}

}  // namespace vorlik::handler
