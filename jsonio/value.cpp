#include "jsonio/value.hpp"

#include <algorithm>

#include "jsonio/ordered.hpp"

namespace vorlik::json {

void make_map(std::vector<Member>& members) {
  settle_entries(members);
}

Json read_json(Reader& r, Shape shape) {
  Json v;
  int c = r.peek_ws();
  switch (c) {
    case -1:
      r.fail_peek("EOF while parsing a value");
    case 'n':
      r.bump();
      r.ident("ull");
      return v;
    case 't':
      r.bump();
      r.ident("rue");
      v.type = Json::Type::Bool;
      v.boolean = true;
      return v;
    case 'f':
      r.bump();
      r.ident("alse");
      v.type = Json::Type::Bool;
      return v;
    case '"':
      v.type = Json::Type::String;
      v.string = r.string_token();
      return v;
    case '[':
      v.type = Json::Type::Array;
      r.container(']', [&] {
        Reader::Elements el(r);
        while (el.next()) v.items.push_back(read_json(r, shape));
      });
      return v;
    case '{':
      v.type = Json::Type::Object;
      r.container('}', [&] {
        Reader::Members m(r);
        std::string_view key;
        while (m.next(key)) {
          r.colon();
          v.members.emplace_back(key, read_json(r, shape));
        }
      });
      if (shape == Shape::Generic) make_map(v.members);
      return v;
    default:
      if (c == '-' || (c >= '0' && c <= '9')) {
        v.type = Json::Type::Number;
        v.number = r.number_token();
        return v;
      }
      r.fail_peek("expected value");
  }
}

void write_json(Writer& w, const Json& v) {
  switch (v.type) {
    case Json::Type::Null:
      w.null();
      return;
    case Json::Type::Bool:
      w.boolean(v.boolean);
      return;
    case Json::Type::Number:
      switch (v.number.kind) {
        case Number::Kind::U64:
          w.u64(v.number.u);
          return;
        case Number::Kind::I64:
          w.i64(v.number.i);
          return;
        case Number::Kind::F64:
          w.f64(v.number.f);
          return;
      }
      return;
    case Json::Type::String:
      w.string(v.string);
      return;
    case Json::Type::Array: {
      w.raw('[');
      bool first = true;
      for (const Json& item : v.items) {
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
      for (const auto& [key, item] : v.members) {
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

bool operator==(const Json& a, const Json& b) {
  if (a.type != b.type) return false;
  switch (a.type) {
    case Json::Type::Null:
      return true;
    case Json::Type::Bool:
      return a.boolean == b.boolean;
    case Json::Type::Number:
      return a.number == b.number;
    case Json::Type::String:
      return a.string == b.string;
    case Json::Type::Array:
      return a.items == b.items;
    case Json::Type::Object:
      return a.members == b.members;
  }
  return false;
}

std::string describe(const Json& v) {
  switch (v.type) {
    case Json::Type::Null:
      return "null";
    case Json::Type::Bool:
      return v.boolean ? "boolean `true`" : "boolean `false`";
    case Json::Type::Number:
      return describe_number(v.number);
    case Json::Type::String:
      return describe_string(v.string);
    case Json::Type::Array:
      return "sequence";
    case Json::Type::Object:
      return "map";
  }
  return {};
}

void fail_type(const Json& found, std::string_view expected) {
  std::string message = "invalid type: " + describe(found) + ", expected ";
  message += expected;
  fail_unplaced(std::move(message));
}

}  // namespace vorlik::json
