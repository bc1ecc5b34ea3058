// Reading a record: a JSON object of named fields, or a JSON array of the field values in
// declared order.
//
// Object form: members the record does not know are skipped whatever they hold; a known key
// given twice is refused before its value is read; once the closing brace is met, the first
// missing field that the object form requires is named. Array form: the values stand in declared
// order; when the array ends early, fields with a default keep it (and so do all after them),
// while the first field without one makes the array too short; more values than fields are
// "trailing characters".
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "jsonio/error.hpp"
#include "jsonio/reader.hpp"

namespace vorlik::json {

struct FieldSpec {
  std::string_view key;
  bool required = true;      // object form: must be present
  bool has_default = false;  // array form: may be left off the end
};

// Fields that may be absent from the object and left off the array.
constexpr FieldSpec optional_field(std::string_view key) {
  return {key, false, true};
}
// Fields that may be absent from the object but must stand in the array (null allowed there).
constexpr FieldSpec nullable_field(std::string_view key) {
  return {key, false, false};
}

// "invalid length 1, expected struct Declaration with 7 elements"
[[noreturn]] inline void fail_too_short(std::size_t index, std::string_view record,
                                        std::size_t fields) {
  fail_unplaced("invalid length " + std::to_string(index) + ", expected " + std::string(record) +
                " with " + std::to_string(fields) + (fields == 1 ? " element" : " elements"));
}

// read_field(index) reads the value of field `index` with the cursor on it.
template <class ReadField>
void read_fields(Reader& r, std::string_view record, std::span<const FieldSpec> fields,
                 ReadField&& read_field) {
  std::uint64_t seen = 0;
  r.read_record(
      record,
      [&](std::string_view key) {
        std::size_t k = 0;
        while (k < fields.size() && fields[k].key != key) ++k;
        r.colon_after_key(k < fields.size() && (seen & (std::uint64_t{1} << k)), key);
        if (k == fields.size()) {
          r.skip_value();
          return;
        }
        seen |= std::uint64_t{1} << k;
        read_field(k);
      },
      [&] {
        for (std::size_t k = 0; k < fields.size(); ++k) {
          if (fields[k].required && !(seen & (std::uint64_t{1} << k)))
            fail_unplaced("missing field `" + std::string(fields[k].key) + "`");
        }
      },
      [&](Reader::Elements& el) {
        bool more = true;
        for (std::size_t k = 0; k < fields.size(); ++k) {
          more = more && el.next();
          if (!more) {
            if (!fields[k].has_default) fail_too_short(k, record, fields.size());
            continue;
          }
          read_field(k);
        }
      });
}

}  // namespace vorlik::json
