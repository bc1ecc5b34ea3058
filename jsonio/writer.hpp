// Compact JSON writing into one growable buffer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "jsonio/number.hpp"

namespace vorlik::json {

// Shortest round-trip digits laid out positionally for decimal exponents -5..15 (always with a
// fractional part), otherwise as d[.ddd]e±X. With plus_sign false a positive exponent carries no
// sign ("1e16"), the form used when describing a number inside a message. NaN and the
// infinities give "null". Returns the number of bytes written; buf needs 32 bytes.
std::size_t format_double(double value, char* buf, bool plus_sign = true);

class Writer {
 public:
  Writer() { out_.reserve(128); }

  void raw(char c) { out_.push_back(c); }
  void raw(std::string_view s) { out_.append(s); }
  void string(std::string_view s);
  // A string known to need no escaping (read from JSON text without escapes).
  void plain_string(std::string_view s) {
    out_.push_back('"');
    out_.append(s);
    out_.push_back('"');
  }
  void u64(std::uint64_t v);
  void i64(std::int64_t v);
  void f64(double v);
  void number(const Number& n);
  void null() { out_.append("null"); }
  void boolean(bool b) { out_.append(b ? "true" : "false"); }
  // `"key":`
  void key(std::string_view k) {
    string(k);
    out_.push_back(':');
  }

  std::string& buffer() { return out_; }
  std::string take() { return std::move(out_); }

 private:
  std::string out_;
};

}  // namespace vorlik::json
