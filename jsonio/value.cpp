#include "jsonio/value.hpp"

#include <algorithm>
#include <span>

#include "containers/ordered.hpp"
#include "containers/staging.hpp"

namespace vorlik::json {

Json read_json(Reader& r, Shape shape) {
  switch (r.start_value()) {
    case Token::Null:
      return Json();
    case Token::True:
      return Json(true);
    case Token::False:
      return Json(false);
    case Token::String:
      return Json(r.string_token());
    case Token::Number:
      return Json(r.number_token());
    case Token::Array: {
      // Few elements inline: the reader recurses here up to its nesting limit.
      Staging<Json, 4> items;
      r.container(']', [&] {
        Reader::Elements el(r);
        while (el.next()) items.push(read_json(r, shape));
      });
      return Json(Items(Staging<Json, 4>::lay_out(items.items(), r.arena()), items.size()));
    }
    case Token::Object: {
      Staging<Member, 4> members;
      r.container('}', [&] {
        Reader::Members m(r);
        std::string_view key;
        while (m.next(key)) {
          r.colon();
          members.push(Member(key, read_json(r, shape)));
        }
      });
      auto all = members.items();
      auto kept = shape == Shape::Generic ? settle_range(all.begin(), all.end()) : all.end();
      const std::span<const Member> laid(all.begin(), kept);
      return Json(Entries(Staging<Member, 4>::lay_out(laid, r.arena()), laid.size()));
    }
  }
  return Json();
}

void write_json(Writer& w, const Json& v) {
  switch (v.type()) {
    case Json::Type::Null:
      w.null();
      return;
    case Json::Type::Bool:
      w.boolean(v.boolean());
      return;
    case Json::Type::Number:
      w.number(v.number());
      return;
    case Json::Type::String:
      w.string(v.string());
      return;
    case Json::Type::Array: {
      w.raw('[');
      bool first = true;
      for (const Json& item : v.items()) {
        if (!first) w.raw(',');
        first = false;
        write_json(w, item);
      }
      w.raw(']');
      return;
    }
    case Json::Type::Object: {
      w.raw('{');
      bool first = true;
      for (const auto& [key, item] : v.members()) {
        if (!first) w.raw(',');
        first = false;
        w.key(key);
        write_json(w, item);
      }
      w.raw('}');
      return;
    }
  }
}

std::string describe(const Json& v) {
  switch (v.type()) {
    case Json::Type::Null:
      return msg::kFoundNull;
    case Json::Type::Bool:
      return v.boolean() ? msg::kFoundTrue : msg::kFoundFalse;
    case Json::Type::Number:
      return describe_number(v.number());
    case Json::Type::String:
      return describe_string(v.string());
    case Json::Type::Array:
      return msg::kFoundSequence;
    case Json::Type::Object:
      return msg::kFoundMap;
  }
  return {};
}

void fail_type(const Json& found, std::string_view expected) {
  fail_unplaced(msg::invalid_type(describe(found), expected));
}

}  // namespace vorlik::json
