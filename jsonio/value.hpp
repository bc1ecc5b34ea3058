// The generic JSON value: null, boolean, number (kind kept), string, array, object.
//
// Read in one of two shapes. The generic shape keeps objects as maps: members in ascending byte
// order of their keys, a repeated key keeping its last value. The buffered shape keeps members
// in input order with duplicates, for values that are typed only after they have been read
// whole (the tagged unions whose tag may stand anywhere).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "jsonio/number.hpp"
#include "jsonio/reader.hpp"
#include "jsonio/writer.hpp"

namespace vorlik::json {

struct Json;
// An object member. A plain struct rather than std::pair: a pair of an incomplete type may not
// be instantiated inside Json's own definition.
struct Member;

struct Json {
  enum class Type : std::uint8_t { Null, Bool, Number, String, Array, Object };
  Type type = Type::Null;
  bool boolean = false;
  Number number;
  std::string_view string;      // views the input text or the call's arena
  std::vector<Json> items;      // Array
  std::vector<Member> members;  // Object

  bool is_null() const { return type == Type::Null; }
  bool is_string() const { return type == Type::String; }
  bool is_object() const { return type == Type::Object; }
  bool is_array() const { return type == Type::Array; }
};

// Structural equality: same type; numbers of the same kind and value (1 != 1.0, 0.0 == -0.0);
// objects with equal keys and values in the same (generic: sorted) order.
bool operator==(const Json& a, const Json& b);

struct Member {
  std::string_view first;
  Json second;

  Member() = default;
  Member(std::string_view key, Json value) : first(key), second(std::move(value)) {}
  friend bool operator==(const Member& a, const Member& b) {
    return a.first == b.first && a.second == b.second;
  }
};

enum class Shape { Generic, Buffered };

// Reads any value; every array and object counts one nesting level.
Json read_json(Reader& reader, Shape shape = Shape::Generic);
// Members in ascending key order, the last of equal keys kept.
void make_map(std::vector<Member>& members);

void write_json(Writer& writer, const Json& value);

// How the value is named in "invalid type" messages.
std::string describe(const Json& value);

// "invalid type: {found}, expected {expected}", unplaced.
[[noreturn]] void fail_type(const Json& found, std::string_view expected);

}  // namespace vorlik::json
