// The dynamic property value: Null, Bool, Int, Float, Str, List, Map or Submodel, written
// externally tagged ({"Int":5}; Null as the bare string "Null").
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "belvane/flat_map.hpp"
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
  };
  std::string_view str;     // Str; views the input text or the call's arena
  std::vector<Value> list;  // List
  FlatMap<Value> map;       // Map

  Value() : submodel(0) {}
};

Value read_value(json::Reader& reader);
void write_value(json::Writer& writer, const Value& value);
// Same alternative and equal content; Float by IEEE equality (0.0 == -0.0, NaN != NaN).
bool operator==(const Value& a, const Value& b);

}  // namespace vorlik
