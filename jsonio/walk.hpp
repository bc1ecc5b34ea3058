// Walking a value of any shape with the reader: the one loop over the structure of JSON (arrays,
// objects, their separators and the nesting limit) that generic values are read, transcoded,
// packed and stepped over by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "jsonio/reader.hpp"

namespace vorlik::json {

namespace detail {

// The kinds of the containers standing open, innermost last: one bit each, true for an object.
// The first 128 fit in place: all a read value may open (a skipped one may open more).
class OpenKinds {
  static_assert(kMaxDepth <= 128, "the containers a read value opens fit in place");

 public:
  bool empty() const { return n_ == 0; }
  void push(bool object) {
    const std::size_t word = n_ / 64;
    if (word >= 2 && word - 2 >= more_.size()) more_.push_back(0);
    std::uint64_t& w = word < 2 ? inline_[word] : more_[word - 2];
    const std::uint64_t bit = std::uint64_t{1} << (n_ % 64);
    w = object ? w | bit : w & ~bit;
    ++n_;
  }
  bool top() const {
    const std::size_t k = n_ - 1, word = k / 64;
    const std::uint64_t w = word < 2 ? inline_[word] : more_[word - 2];
    return ((w >> (k % 64)) & 1) != 0;
  }
  void pop() { --n_; }

 private:
  std::uint64_t inline_[2] = {0, 0};
  std::vector<std::uint64_t> more_;
  std::size_t n_ = 0;
};

}  // namespace detail

template <class To>
void Reader::walk(To& to) {
  walk_value</*kSkip=*/false>(to);
}

template <bool kSkip, class To>
[[gnu::always_inline]] inline void Reader::walk_scalar(Token token, To& to) {
  switch (token) {
    case Token::Null:
      to.null();
      break;
    case Token::True:
      to.boolean(true);
      break;
    case Token::False:
      to.boolean(false);
      break;
    case Token::String:
      if constexpr (kSkip)
        skip_string();
      else
        to.string(string_token());
      break;
    case Token::Number:
      if constexpr (kSkip)
        skip_number();
      else
        to.number(number_token());
      break;
    default:
      break;
  }
}

template <bool kSkip, class To>
void Reader::walk_value(To& to) {
  detail::OpenKinds open;
  // A key and its colon, the cursor on the key (white space already stepped over, unless
  // skipping).
  const auto key = [&] {
    if constexpr (kSkip) {
      skip_key();
    } else {
      if (peek() != '"') fail_peek(msg::kKeyMustBeString);
      to.key(string_token());
      colon();
    }
  };
  for (;;) {
    // One value, or the opening of a container: an empty one is closed at once, otherwise the
    // loop goes on to its first value.
    const Token token = start_value();
    switch (token) {
      case Token::Null:
      case Token::True:
      case Token::False:
      case Token::String:
      case Token::Number:
        walk_scalar<kSkip>(token, to);
        break;
      case Token::Array:
      case Token::Object: {
        const bool object = p_[i_] == '{';
        const char close = object ? '}' : ']';
        if constexpr (!kSkip) enter();
        ++i_;
        if (object)
          to.open_object();
        else
          to.open_array();
        const int c = peek_ws();
        if (c != close) {
          if (c == -1) fail_peek(msg::eof_in(close));
          open.push(object);
          if (object) key();
          continue;
        }
        ++i_;
        if constexpr (!kSkip) ++depth_;
        if (object)
          to.close_object();
        else
          to.close_array();
        break;
      }
    }
    // After a value: close the containers that end here, then step over the comma before the
    // next value (and its key). A value being read refuses a comma before the end at once; one
    // being skipped finds no value there.
    for (;;) {
      if (open.empty()) return;
      const bool object = open.top();
      const char close = object ? '}' : ']';
      int c = peek_ws();
      if (c == ',') {
        ++i_;
        if constexpr (!kSkip) {
          c = peek_ws();
          if (c == close) fail_peek(msg::kTrailingComma);
          if (c == -1) fail_peek(msg::kEofValue);
        }
        if (object) key();
        break;
      }
      if (c != close) fail_peek(c == -1 ? msg::eof_in(close) : msg::expected_separator(close));
      ++i_;
      if constexpr (!kSkip) ++depth_;
      open.pop();
      if (object)
        to.close_object();
      else
        to.close_array();
    }
  }
}

}  // namespace vorlik::json
