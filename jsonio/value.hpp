// The generic JSON value: null, boolean, number (kind kept), string, array, object.
//
// Read in one of two shapes. The generic shape keeps objects as maps: members in ascending byte
// order of their keys, a repeated key keeping its last value. The buffered shape keeps members
// in input order with duplicates, for values that are typed only after they have been read
// whole (the tagged unions whose tag may stand anywhere).
//
// Arrays and objects are laid out in the reader's arena and viewed from there: a Json is
// trivially copyable and a value of any size is freed with the arena.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

#include "containers/arena_vec.hpp"
#include "jsonio/number.hpp"
#include "jsonio/reader.hpp"
#include "jsonio/writer.hpp"

namespace vorlik::json {

class Json;
// An object member. A plain struct rather than std::pair: a pair of an incomplete type may not
// be instantiated inside Json's own definition.
struct Member;

using Items = ArenaVec<Json>;
using Entries = ArenaVec<Member>;

class Json {
 public:
  // In the order of the alternatives.
  enum class Type : std::uint8_t { Null, Bool, Number, String, Array, Object };

  Json() = default;
  explicit Json(bool b);
  explicit Json(Number n);
  explicit Json(std::string_view s);  // views the input or arena
  Json(const char*) = delete;         // would pick the boolean
  explicit Json(Items items);
  explicit Json(Entries members);

  Type type() const { return static_cast<Type>(v_.index()); }
  bool is_null() const { return type() == Type::Null; }
  bool is_string() const { return type() == Type::String; }
  bool is_object() const { return type() == Type::Object; }
  bool is_array() const { return type() == Type::Array; }

  // Each accessor requires the value to be of its type.
  bool boolean() const { return *std::get_if<1>(&v_); }
  const Number& number() const { return *std::get_if<2>(&v_); }
  std::string_view string() const { return *std::get_if<3>(&v_); }
  Items& items() { return *std::get_if<4>(&v_); }
  const Items& items() const { return *std::get_if<4>(&v_); }
  Entries& members() { return *std::get_if<5>(&v_); }
  const Entries& members() const { return *std::get_if<5>(&v_); }

  // Structural equality: same type; numbers of the same kind and value (1 != 1.0,
  // 0.0 == -0.0); objects with equal keys and values in the same (generic: sorted) order.
  friend bool operator==(const Json&, const Json&) = default;

 private:
  std::variant<std::monostate, bool, Number, std::string_view, Items, Entries> v_;
};

struct Member {
  std::string_view first;
  Json second;

  Member() = default;
  Member(std::string_view key, Json value) : first(key), second(value) {}
  friend bool operator==(const Member&, const Member&) = default;
};

inline Json::Json(bool b) : v_(std::in_place_index<1>, b) {}
inline Json::Json(Number n) : v_(std::in_place_index<2>, n) {}
inline Json::Json(std::string_view s) : v_(std::in_place_index<3>, s) {}
inline Json::Json(Items items) : v_(std::in_place_index<4>, items) {}
inline Json::Json(Entries members) : v_(std::in_place_index<5>, members) {}

static_assert(std::is_trivially_copyable_v<Json> && std::is_trivially_destructible_v<Json>);

enum class Shape { Generic, Buffered };

// Reads any value, laid out in the reader's arena; every array and object counts one nesting
// level.
Json read_json(Reader& reader, Shape shape = Shape::Generic);

void write_json(Writer& writer, const Json& value);

// How the value is named in "invalid type" messages.
std::string describe(const Json& value);

// "invalid type: {found}, expected {expected}", unplaced.
[[noreturn]] void fail_type(const Json& found, std::string_view expected);

}  // namespace vorlik::json
