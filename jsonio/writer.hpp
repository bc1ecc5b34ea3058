// Compact JSON writing into one growable buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "jsonio/number.hpp"

namespace vorlik::json {

// Shortest round-trip digits laid out positionally for decimal exponents -5..15 (always with a
// fractional part), otherwise as d[.ddd]e±X. With plus_sign false a positive exponent carries no
// sign ("1e16"), the form used when describing a number inside a message. NaN and the
// infinities give "null". Returns the number of bytes written; buf needs 32 bytes.
std::size_t format_double(double value, char* buf, bool plus_sign = true);

// How a string's character is spelt when the writer escapes it: the escape is put in `out` (six
// bytes are enough) and its length returned; 0 for a character written as it is.
std::size_t escaped_form(std::uint32_t code_point, char* out);

// Writes through a cursor into a string kept longer than the text: a short piece then costs
// neither a length update of the string nor a call to copy it. The string is cleared only a
// stretch ahead of the cursor at a time, as it grows. Code that works on the string itself
// takes it exact with sync(), and resume() goes on after whatever it appended.
class Writer {
 public:
  Writer() = default;

  void raw(char c) {
    *room(1) = c;
    ++used_;
  }
  void raw(std::string_view s) {
    if (out_.size() - used_ < s.size()) {
      append_beyond(s);
      return;
    }
    std::memcpy(out_.data() + used_, s.data(), s.size());
    used_ += s.size();
  }
  void string(std::string_view s) {
    if (trusted(s))
      plain_string(s);
    else
      scanned_string(s);
  }
  // Strings lying within `text` are written as they stand, without a scan. Only for a text the
  // call's readers read: a string viewed in it is the content of a string token that held no
  // escape, as escaped strings are unescaped into the arena. Up to two texts are trusted.
  void trust(std::string_view text) {
    if (trusted_count_ < 2) trusted_[trusted_count_++] = text;
  }
  // A string known to need no escaping (read from JSON text without escapes).
  void plain_string(std::string_view s) {
    char* p = room(s.size() + 2);
    *p = '"';
    std::memcpy(p + 1, s.data(), s.size());
    p[s.size() + 1] = '"';
    used_ += s.size() + 2;
  }
  void u64(std::uint64_t v);
  void i64(std::int64_t v);
  void f64(double v);
  void number(const Number& n);
  void null() { raw(std::string_view("null")); }
  void boolean(bool b) { raw(b ? std::string_view("true") : std::string_view("false")); }
  // `"key":`
  void key(std::string_view k) {
    string(k);
    raw(':');
  }

  // Room for `n` bytes at the cursor: write them, then advance() to the end of what was written.
  char* room(std::size_t n) {
    if (out_.size() - used_ < n) grow(n);
    return out_.data() + used_;
  }
  void advance(const char* to) { used_ = static_cast<std::size_t>(to - out_.data()); }

  std::size_t size() const { return used_; }
  std::string_view view() const { return {out_.data(), used_}; }
  // Drops what was written after the first `n` bytes.
  void truncate(std::size_t n) { used_ = n < used_ ? n : used_; }
  // Capacity for a text of `n` bytes, where its length is known ahead.
  void reserve(std::size_t n) { out_.reserve(n); }

  // The string holding exactly the text written so far.
  std::string& sync() {
    out_.resize(used_);
    return out_;
  }
  // Goes on after whatever was appended to the synced string.
  void resume() { used_ = out_.size(); }
  std::string take() {
    sync();
    used_ = 0;
    return std::move(out_);
  }

 private:
  void grow(std::size_t n);
  // A piece longer than the room left: a long one, such as a payload copied whole, is appended
  // to the string itself and so not cleared before it is copied.
  void append_beyond(std::string_view s);
  bool trusted(std::string_view s) const {
    const auto at = reinterpret_cast<std::uintptr_t>(s.data());
    for (int k = 0; k < trusted_count_; ++k) {
      const auto begin = reinterpret_cast<std::uintptr_t>(trusted_[k].data());
      const std::size_t size = trusted_[k].size();
      if (at >= begin && s.size() <= size && at - begin <= size - s.size()) return true;
    }
    return s.empty();
  }
  void scanned_string(std::string_view s);

  std::string out_;
  std::size_t used_ = 0;
  std::string_view trusted_[2];
  int trusted_count_ = 0;
};

}  // namespace vorlik::json
