// The dynamic property value: Null, Bool, Int, Float, Str, List, Map or Submodel, written
// externally tagged ({"Int":5}; Null as the bare string "Null").
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "containers/box.hpp"
#include "containers/flat_map.hpp"
#include "jsonio/reader.hpp"
#include "jsonio/writer.hpp"

namespace vorlik {

struct Value {
  enum class Kind : std::uint8_t { Null, Bool, Int, Float, Str, List, Map, Submodel };
  Kind kind = Kind::Null;
  union {
    bool boolean;
    std::int64_t integer;
    double real;
    std::uint64_t submodel;
    std::string_view str;  // views the input text or the call's arena
  };
  // The elements of a List or a Map live behind one pointer, so that the scalar values, which
  // are most values, stay small.
  struct Elements;
  std::optional<Box<Elements>> elements;

  Value() : submodel(0) {}

  std::vector<Value>& list();
  const std::vector<Value>& list() const;
  FlatMap<Value>& map();
  const FlatMap<Value>& map() const;
};

struct Value::Elements {
  std::vector<Value> list;  // List
  FlatMap<Value> map;       // Map
};

inline std::vector<Value>& Value::list() {
  return (**elements).list;
}
inline const std::vector<Value>& Value::list() const {
  return (**elements).list;
}
inline FlatMap<Value>& Value::map() {
  return (**elements).map;
}
inline const FlatMap<Value>& Value::map() const {
  return (**elements).map;
}

Value read_value(json::Reader& reader);
void write_value(json::Writer& writer, const Value& value);
// Same alternative and equal content; Float by IEEE equality (0.0 == -0.0, NaN != NaN).
bool operator==(const Value& a, const Value& b);

}  // namespace vorlik
