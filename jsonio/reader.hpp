// The pull reader every typed reader drives.
//
// It reports the first fault met in reading order, with the description texts and positions
// that callers rely on. Typed readers call the read_* entry points (one per kind of value) and
// the container helpers below; each entry point places its errors the same way:
//  - a fault at the byte under the cursor is placed just after that byte (peek errors);
//  - a wrong type or range of a scalar is placed just after the scalar, which is consumed first;
//  - a wrong type where an array or object stands is placed before its bracket;
//  - an error raised by a record's own rules (missing, duplicate, length) or while typing a
//    buffered value carries no place until the nearest enclosing container catches it: that
//    container first steps over white space and its own closing bracket (and for an array a
//    separating comma), then places the error there.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "containers/arena.hpp"
#include "jsonio/chars.hpp"
#include "jsonio/describe.hpp"
#include "jsonio/error.hpp"
#include "jsonio/messages.hpp"
#include "jsonio/number.hpp"
#include "jsonio/scan.hpp"
#include "jsonio/token.hpp"

namespace vorlik::json {

// Arrays and objects that may stand open at once; opening one more fails with "recursion limit
// exceeded". Values of unknown members are skipped without this limit.
inline constexpr int kMaxDepth = 127;

// Runs one step of a reader that may give up (see Reader::held): a step that returns nothing always
// goes on; one that returns a bool gives up with false.
template <class Step, class... Args>
[[gnu::always_inline]] inline bool went_on(Step&& step, Args&&... args) {
  using Result = std::invoke_result_t<Step&, Args&&...>;
  static_assert(std::is_void_v<Result> || std::is_same_v<Result, bool>,
                "a step returns nothing, or whether it went on");
  if constexpr (std::is_void_v<Result>) {
    step(std::forward<Args>(args)...);
    return true;
  } else {
    return step(std::forward<Args>(args)...);
  }
}

// What a value is, as told by its first byte.
enum class Token : std::uint8_t { Null, True, False, String, Number, Array, Object };

class Reader {
 public:
  // Strings are unescaped into `arena` when needed, otherwise viewed in place; either way they
  // live as long as the text and the arena. With check_utf8, string contents are validated
  // (for raw bytes that were never decoded as text).
  Reader(std::string_view text, Arena& arena, bool check_utf8 = false)
      : p_(text.data()), n_(text.size()), arena_(arena), check_utf8_(check_utf8) {}

  std::string_view text() const { return {p_, n_}; }

  // A place to read again from: the offset and the nesting then open.
  struct Checkpoint {
    std::size_t offset;
    int depth;
  };
  Checkpoint checkpoint() const { return {i_, depth_}; }
  void rewind(const Checkpoint& c) {
    i_ = c.offset;
    depth_ = c.depth;
  }
  std::size_t offset() const { return i_; }
  Arena& arena() { return arena_; }

  // --- Cursor -------------------------------------------------------------------------------
  int peek() const { return i_ < n_ ? static_cast<unsigned char>(p_[i_]) : -1; }
  // Compact text has no white space: a byte above the space is returned at once.
  int peek_ws() {
    if (i_ < n_) {
      const auto c = static_cast<unsigned char>(p_[i_]);
      if (c > ' ') return c;
    }
    return peek_after_space();
  }
  void bump() { ++i_; }
  [[noreturn]] void fail_peek(std::string description) const {
    throw ReadError{std::move(description), i_ < n_ ? i_ + 1 : n_};
  }
  [[noreturn]] void fail_here(std::string description) const {
    throw ReadError{std::move(description), i_};
  }

  // --- Tokens (the caller has peeked the first byte) ----------------------------------------
  // At '"'. Most strings hold no escape and need no check: their view is found by one scan.
  std::string_view string_token() {
    const std::size_t start = i_ + 1;
    const std::size_t end = find_string_special(p_, start, n_);
    if (end < n_ && p_[end] == '"' && !check_utf8_) {
      i_ = end + 1;
      last_string_plain_ = true;
      return {p_ + start, end - start};
    }
    return string_token_in_full();
  }
  // Whether the last string read had no escapes: its text is then its own compact JSON form.
  bool last_string_plain() const { return last_string_plain_; }
  Number number_token();  // at '-' or a digit
  // The literal `word` ("true", "false", "null"), its first letter under the cursor.
  template <std::size_t N>
  void literal(const char (&word)[N]) {
    const token::Stop s = token::literal(p_ + i_, p_ + n_, word);
    i_ = static_cast<std::size_t>(s.at - p_);
    if (s.fault != token::Fault::None)
      fail_here(s.fault == token::Fault::Truncated ? msg::kEofValue : msg::kExpectedIdent);
  }

  // Steps over white space and tells what value starts there. null, true and false are
  // consumed; for any other value the cursor is left on its first byte. Fails at the end of
  // input and on a byte that starts no value.
  Token start_value() {
    int c = peek_ws();
    switch (c) {
      case 'n':
        literal("null");
        return Token::Null;
      case 't':
        literal("true");
        return Token::True;
      case 'f':
        literal("false");
        return Token::False;
      case '"':
        return Token::String;
      case '[':
        return Token::Array;
      case '{':
        return Token::Object;
      case -1:
        fail_peek(msg::kEofValue);
      default:
        if (starts_number(c)) return Token::Number;
        fail_peek(msg::kExpectedValue);
    }
  }

  // --- Typed reads --------------------------------------------------------------------------
  std::string_view read_str();
  bool read_bool();
  std::uint64_t read_u64();
  std::int64_t read_i64();
  double read_f64();
  void read_unit();
  // An optional value: consumes a null and returns true, or leaves the cursor on the value.
  bool take_null();
  // A string or null (std::nullopt).
  std::optional<std::string_view> read_optional_str() {
    if (take_null()) return std::nullopt;
    return read_str();
  }
  // Reads a string naming a variant or field (a non-string is "invalid type ..., expected
  // {expected}").
  std::string_view read_identifier(std::string_view expected);
  // Describes the value under the cursor (consuming scalars) and throws
  // "invalid type: {found}, expected {expected}".
  [[noreturn]] void invalid_type(std::string_view expected);
  // Steps over one well-formed value of any shape; its nesting is not counted.
  void skip_value();
  // Reads one value of any shape without recursion, telling `to` what it meets in reading
  // order: null(), boolean(b), string(s) (last_string_plain() tells how it was spelt),
  // number(n), open_array(), close_array(), open_object(), key(k) (the colon read after it),
  // close_object(). Every array and object counts one nesting level. Defined in walk.hpp.
  template <class To>
  void walk(To& to);
  void colon() {
    if (i_ < n_ && p_[i_] == ':') {
      ++i_;
      return;
    }
    colon_after_space();
  }
  // After a record's key: a key met before is refused ("duplicate field `key`") before the
  // colon is read; otherwise the colon.
  void colon_after_key(bool duplicate, std::string_view key) {
    if (duplicate) fail_unplaced(msg::duplicate_field(key));
    colon();
  }
  // Only white space may follow the value.
  void finish();

  // --- Giving up instead of unwinding ------------------------------------------------------
  // A fault deep in a nesting read by recursion would be carried out through every level's
  // frames, which costs far more than reading the text. A reader of such nestings runs each
  // level through held(): an error that has its place, thrown inside, is kept here and held()
  // returns false; every level above gives up by returning false in turn (the container and
  // record helpers pass a body's false on, leaving the rest unread), and the outermost caller
  // throws the kept error with raise_held(). An error without a place goes on as before, to the
  // container that places it.
  template <class Read>
  bool held(Read&& read) {
    try {
      return read();
    } catch (ReadError& e) {
      if (e.offset == kUnplaced) throw;
      held_ = std::move(e);
      return false;
    }
  }
  [[noreturn]] void raise_held() { throw std::move(held_); }

  // --- Containers ---------------------------------------------------------------------------
  // The cursor stands on '[' or '{' (peeked). Counts one nesting level, consumes the bracket,
  // runs body, and reads the end of the container.
  template <class Body>
  void container(char close, Body&& body) {
    (void)try_container(close, [&] {
      body();
      return true;
    });
  }
  // As container(), for a body that may give up by returning false: the container is then left
  // where the body stopped, for a caller that rewinds to a checkpoint.
  template <class Body>
  bool try_container(char close, Body&& body) {
    enter();
    ++i_;
    bool done = false;
    // Errors that carry their place pass through on their way out: only the ones without a
    // place are caught, to be placed here.
    try {
      done = body();
    } catch (UnplacedError& e) {
      ++depth_;
      settle(close);
      throw ReadError{std::move(e.description), i_};
    }
    ++depth_;
    if (!done) return false;
    if (close == ']')
      end_seq();
    else
      end_map();
    return true;
  }

  // Element access inside an array (the cursor after '[').
  class Elements {
   public:
    explicit Elements(Reader& r) : r_(r) {}
    // True when another element follows; the cursor then stands on it.
    bool next() { return r_.next_item(first_, ']'); }
    Reader& reader() { return r_; }

   private:
    Reader& r_;
    bool first_ = true;
  };

  // Member access inside an object (the cursor after '{'): returns false at '}', otherwise
  // reads the key (a string) and leaves the cursor before the colon.
  class Members {
   public:
    explicit Members(Reader& r) : r_(r) {}
    bool next(std::string_view& key) {
      if (!r_.next_item(first_, '}')) return false;
      if (r_.peek() != '"') r_.fail_peek(msg::kKeyMustBeString);
      key = r_.string_token();
      return true;
    }

   private:
    Reader& r_;
    bool first_ = true;
  };

  // A JSON array read as a list: each() reads one element. An `each` returning bool gives up
  // with false, and so does read_seq (as every helper below).
  template <class Each>
  bool read_seq(Each&& each) {
    int c = peek_ws();
    if (c == -1) fail_peek(msg::kEofValue);
    if (c != '[') invalid_type("a sequence");
    return try_container(']', [&] {
      Elements el(*this);
      while (el.next())
        if (!went_on(each)) return false;
      return true;
    });
  }

  // A JSON object read as a map: each(key) reads the colon and the value.
  template <class Each>
  bool read_map(Each&& each) {
    int c = peek_ws();
    if (c == -1) fail_peek(msg::kEofValue);
    if (c != '{') invalid_type("a map");
    return try_container('}', [&] {
      Members m(*this);
      std::string_view key;
      while (m.next(key))
        if (!went_on(each, key)) return false;
      return true;
    });
  }

  // A record in object or array form. on_member(key) handles one member (the cursor before the
  // colon); on_end() checks what is missing once '}' is under the cursor; on_array(elements)
  // reads the array form.
  template <class OnMember, class OnEnd, class OnArray>
  bool read_record(std::string_view expected, OnMember&& on_member, OnEnd&& on_end,
                   OnArray&& on_array) {
    int c = peek_ws();
    if (c == -1) fail_peek(msg::kEofValue);
    if (c == '{') {
      return try_container('}', [&] {
        Members m(*this);
        std::string_view key;
        while (m.next(key))
          if (!went_on(on_member, key)) return false;
        on_end();
        return true;
      });
    }
    if (c == '[') {
      return try_container(']', [&] {
        Elements el(*this);
        return went_on(on_array, el);
      });
    }
    invalid_type(expected);
  }

  // An externally tagged value: either a bare string naming a variant or an object with one
  // member whose key names it. on_unit(name) handles the bare string; on_tagged(name) reads the
  // payload after the colon. Both receive the decoded name and must reject unknown ones.
  template <class OnUnit, class OnTagged>
  bool read_tagged(OnUnit&& on_unit, OnTagged&& on_tagged) {
    int c = peek_ws();
    if (c == '"') {
      on_unit(string_token());
      return true;
    }
    if (c == -1) fail_peek(msg::kEofValue);
    if (c != '{') fail_peek(msg::kExpectedValue);
    enter();
    ++i_;
    c = peek_ws();
    if (c == -1) fail_peek(msg::kEofValue);
    if (c == '}') fail_peek(msg::kExpectedValue);
    if (c != '"') fail_peek(msg::kKeyMustBeString);
    std::string_view name = string_token();
    if (!went_on(on_tagged, name)) return false;
    ++depth_;
    c = peek_ws();
    if (c == '}') {
      ++i_;
      return true;
    }
    if (c == -1) fail_here(msg::kEofObject);
    fail_here(msg::kExpectedValue);
  }

 private:
  void enter() {
    if (--depth_ == 0) fail_peek(msg::kRecursionLimit);
  }
  void settle(char close);
  // Before the next element or member: false at the closing bracket; otherwise steps over the
  // separating comma and returns true with the cursor on what follows, refusing a trailing
  // comma and the end of input.
  bool next_item(bool& first, char close) {
    int c = peek_ws();
    if (c == close) return false;
    if (c == ',' && !first) {
      bump();
      c = peek_ws();
    } else if (c == -1) {
      fail_peek(msg::eof_in(close));
    } else if (!first) {
      fail_peek(msg::expected_separator(close));
    }
    first = false;
    if (c == close) fail_peek(msg::kTrailingComma);
    if (c == -1) fail_peek(msg::kEofValue);
    return true;
  }
  void end_seq();
  void end_map();
  // peek_ws where white space, a control character or the end stands under the cursor.
  int peek_after_space();
  // The general string_token: escapes, UTF-8 checks, and the errors.
  std::string_view string_token_in_full();
  // The colon where white space or a fault stands first.
  void colon_after_space();
  Number read_number_or_type(std::string_view expected);
  void skip_string();
  void skip_number();
  void skip_key();
  // One value; kSkip: stepped over, its nesting not counted, its tokens checked by their form.
  template <bool kSkip, class To>
  void walk_value(To& to);
  // A value that opens no container, its token already told by start_value().
  template <bool kSkip, class To>
  void walk_scalar(Token token, To& to);
  // Moves the cursor to `at` and fails there.
  [[noreturn]] void fail_at(const char* at, const char* description) {
    i_ = static_cast<std::size_t>(at - p_);
    fail_here(description);
  }

  const char* p_;
  std::size_t n_;
  std::size_t i_ = 0;
  int depth_ = kMaxDepth + 1;  // counts down; opening at 1 fails
  Arena& arena_;
  bool check_utf8_;
  bool last_string_plain_ = false;
  std::string scratch_;
  ReadError held_;
};

}  // namespace vorlik::json
