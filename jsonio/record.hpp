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

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "jsonio/error.hpp"
#include "jsonio/messages.hpp"
#include "jsonio/names.hpp"
#include "jsonio/reader.hpp"

namespace vorlik::json {

struct FieldSpec {
  std::string_view key;
  bool required = true;      // object form: must be present
  bool has_default = false;  // array form: may be left off the end
};

// The one table of a record's fields, in declared order: what the exact reader checks the
// members against, and the names the fast readers match in place.
template <std::size_t N>
struct FieldTable {
  std::array<FieldSpec, N> specs;
  Names<N> names;

  constexpr explicit FieldTable(const std::array<FieldSpec, N>& fields)
      : specs(fields), names(keys(fields)) {}
  constexpr operator std::span<const FieldSpec>() const {  // NOLINT: a view of the table
    return specs;
  }
  // Whether the fields met, one bit each (1 << index), hold every field the object form
  // requires.
  constexpr bool complete(std::uint64_t seen) const {
    for (std::size_t k = 0; k < N; ++k)
      if (specs[k].required && (seen & (std::uint64_t{1} << k)) == 0) return false;
    return true;
  }

 private:
  static constexpr std::array<std::string_view, N> keys(const std::array<FieldSpec, N>& fields) {
    std::array<std::string_view, N> out{};
    for (std::size_t k = 0; k < N; ++k) out[k] = fields[k].key;
    return out;
  }
};

// Fields that must stand in the object and in the array.
constexpr FieldSpec required_field(std::string_view key) {
  return {key, true, false};
}
// Fields that may be absent from the object and left off the array.
constexpr FieldSpec optional_field(std::string_view key) {
  return {key, false, true};
}
// Fields that may be absent from the object but must stand in the array (null allowed there).
constexpr FieldSpec nullable_field(std::string_view key) {
  return {key, false, false};
}

// The table of the fields given, in declared order.
template <class... Fields>
constexpr FieldTable<sizeof...(Fields)> field_table(const Fields&... fields) {
  return FieldTable<sizeof...(Fields)>(std::array<FieldSpec, sizeof...(Fields)>{fields...});
}

// "invalid length 1, expected struct Declaration with 7 elements"
[[noreturn]] inline void fail_too_short(std::size_t index, std::string_view record,
                                        std::size_t fields) {
  fail_unplaced(msg::invalid_length(index, std::string(record) + " with " + msg::elements(fields)));
}

// The object form's bookkeeping, whatever the members are read from: looks keys up in the
// field table, tells a key met before, and names the first required field never met.
class FieldSet {
 public:
  static constexpr std::size_t kUnknown = static_cast<std::size_t>(-1);

  explicit FieldSet(std::span<const FieldSpec> fields) : fields_(fields) {}

  std::span<const FieldSpec> fields() const { return fields_; }
  // The index of key in the table, or kUnknown.
  std::size_t find(std::string_view key) const {
    std::size_t k = 0;
    while (k < fields_.size() && !same_name(fields_[k].key, key)) ++k;
    return k < fields_.size() ? k : kUnknown;
  }
  bool seen(std::size_t k) const { return (seen_ & bit(k)) != 0; }
  void mark(std::size_t k) { seen_ |= bit(k); }
  // The first field the object form requires that was never met, or nullptr.
  const FieldSpec* missing() const {
    for (std::size_t k = 0; k < fields_.size(); ++k)
      if (fields_[k].required && !seen(k)) return &fields_[k];
    return nullptr;
  }
  // "missing field `key`" for the first required field never met.
  void check_complete() const {
    if (const FieldSpec* f = missing()) fail_unplaced(msg::missing_field(f->key));
  }

 private:
  static std::uint64_t bit(std::size_t k) { return std::uint64_t{1} << k; }

  std::span<const FieldSpec> fields_;
  std::uint64_t seen_ = 0;
};

// "duplicate field `key`"
[[noreturn]] inline void fail_duplicate(std::string_view key) {
  fail_unplaced(msg::duplicate_field(key));
}

// The array form: take(index) reads field `index` from the next value, as long as next() finds
// one. The first field without a default that finds no value makes the array too short.
// A `take` returning bool gives up with false (see Reader::held), and so does take_elements.
template <class Next, class Take>
bool take_elements(std::string_view record, std::span<const FieldSpec> fields, Next&& next,
                   Take&& take) {
  bool more = true;
  for (std::size_t k = 0; k < fields.size(); ++k) {
    more = more && next();
    if (!more) {
      if (!fields[k].has_default) fail_too_short(k, record, fields.size());
      continue;
    }
    if (!went_on(take, k)) return false;
  }
  return true;
}

// read_field(index) reads the value of field `index` with the cursor on it; one returning bool
// gives up with false, and so does read_fields.
template <class ReadField>
bool read_fields(Reader& r, std::string_view record, std::span<const FieldSpec> fields,
                 ReadField&& read_field) {
  FieldSet set(fields);
  return r.read_record(
      record,
      [&](std::string_view key) {
        const std::size_t k = set.find(key);
        r.colon_after_key(k != FieldSet::kUnknown && set.seen(k), key);
        if (k == FieldSet::kUnknown) {
          r.skip_value();
          return true;
        }
        set.mark(k);
        return went_on(read_field, k);
      },
      [&] { set.check_complete(); },
      [&](Reader::Elements& el) {
        return take_elements(
            record, fields, [&] { return el.next(); }, read_field);
      });
}

}  // namespace vorlik::json
