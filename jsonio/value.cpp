// GCC 12 warns, wrongly, that moving a value held in a std::variant may read its storage
// uninitialized (where make_map rotates entries into place); the warning is off for this file.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "jsonio/value.hpp"

#include <algorithm>

#include "jsonio/ordered.hpp"

namespace vorlik::json {

void make_map(std::vector<Member>& members) {
  settle_entries(members);
}

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
      Items items;
      r.container(']', [&] {
        Reader::Elements el(r);
        while (el.next()) items.push_back(read_json(r, shape));
      });
      return Json(std::move(items));
    }
    case Token::Object: {
      Entries members;
      r.container('}', [&] {
        Reader::Members m(r);
        std::string_view key;
        while (m.next(key)) {
          r.colon();
          members.emplace_back(key, read_json(r, shape));
        }
      });
      if (shape == Shape::Generic) make_map(members);
      return Json(std::move(members));
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
