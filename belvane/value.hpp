// The dynamic property value: Null, Bool, Int, Float, Str, List, Map or Submodel, written
// externally tagged ({"Int":5}; Null as the bare string "Null").
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "jsonio/names.hpp"
#include "jsonio/reader.hpp"
#include "jsonio/writer.hpp"

namespace vorlik {

struct ValueEntry;

// Values are never edited once read, only replaced whole: a List's or a Map's elements are laid
// out once in the call's arena and viewed from there, so a Value is trivially copyable and a
// tree of them is freed with the arena, not value by value.
struct Value {
  enum class Kind : std::uint8_t { Null, Bool, Int, Float, Str, List, Map, Submodel };
  Kind kind = Kind::Null;
  std::uint32_t count = 0;  // Str: the length in bytes; List, Map: the number of elements
  union {
    bool boolean;
    std::int64_t integer;
    double real;
    std::uint64_t submodel;
    const char* chars;          // Str: views the input text or the call's arena
    const Value* items;         // List
    const ValueEntry* entries;  // Map, in ascending key order
  };

  Value() : submodel(0) {}

  std::string_view str() const { return {chars, count}; }
  std::span<const Value> list() const { return {items, count}; }
  std::span<const ValueEntry> map() const;
};

struct ValueEntry {
  std::string_view first;
  Value second;
};

inline std::span<const ValueEntry> Value::map() const {
  return {entries, count};
}

// The alternatives' names, in the order of Value::Kind: every reader and the writer take them from
// here.
inline constexpr json::Names<8> kValueVariants(std::array<std::string_view, 8>{
    "Null", "Bool", "Int", "Float", "Str", "List", "Map", "Submodel"});

// Lists and maps are laid out in the reader's arena. Into `value`, for a reader of a larger
// nesting: false when it gave up on a fault, which the reader then holds (json::Reader::held).
bool read_value(json::Reader& reader, Value& value);
inline Value read_value(json::Reader& reader) {
  Value v;
  if (!read_value(reader, v)) reader.raise_held();
  return v;
}
void write_value(json::Writer& writer, const Value& value);
// Same alternative and equal content; Float by IEEE equality (0.0 == -0.0, NaN != NaN).
bool operator==(const Value& a, const Value& b);

}  // namespace vorlik
