// The cursor of the fast readers over compact JSON text, and the steps they share.
//
// The fast readers build what the exact reader builds, from text that reads without fault, at a
// fraction of its cost: the cursor is a pointer kept in a register, tokens are scanned by the
// token layer without placing errors, and known names are matched as literals. What they do not
// take on they hand to the exact reader where it stands (exact()).
//
// On anything else they give up, and the caller reads the whole text again with the exact
// reader, which finds the fault and describes it. Giving up throws nothing: give_up() moves the
// cursor to the end of the text and the cursor remembers it, so every later step finds nothing
// more to read and every reader returns at once, however deep it stands. No step ever moves the
// cursor past the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "containers/arena.hpp"
#include "jsonio/reader.hpp"
#include "jsonio/token.hpp"

namespace vorlik::json {

class TextCursor {
 public:
  TextCursor(std::string_view text, Arena& arena)
      : begin_(text.data()), end_(text.data() + text.size()), arena_(arena), exact_(text, arena) {}

  const char* begin() const { return begin_; }
  const char* end() const { return end_; }
  Arena& arena() { return arena_; }

  // --- Giving up -----------------------------------------------------------------------------

  bool gave_up() const { return gave_up_; }
  // Returns the end of the text, where the cursor then stands.
  const char* give_up() {
    gave_up_ = true;
    return end_;
  }

  // --- Structure -----------------------------------------------------------------------------

  // The byte under the cursor after white space; 0 at the end. Compact text has no white
  // space: one test passes it.
  [[gnu::always_inline]] char at(const char*& p) {
    if (p<end_&& static_cast<unsigned char>(*p)> ' ') return *p;
    return at_after_space(p);
  }
  // Steps past `c`, which must stand under the cursor.
  [[gnu::always_inline]] bool take(const char*& p, char c) {
    if (at(p) == c) {
      ++p;
      return true;
    }
    p = give_up();
    return false;
  }
  // One more array or object opens inside `open` ones: past the exact reader's limit, gives up
  // (the cursor then at the end: past_open() comes before it).
  [[gnu::always_inline]] int deeper(const char*& p, int open) {
    if (open >= kMaxDepth) p = give_up();
    return open + 1;
  }
  // Past the '{' or '[' under the cursor, which the caller has found there, and the white space
  // after it: true when the container is empty, the cursor then past it. At the end of the text
  // it is not empty: the first step into it gives up.
  [[gnu::always_inline]] bool past_open(const char*& p, char close) {
    ++p;
    if (at(p) != close) return false;
    ++p;
    return true;
  }
  // As past_open(), where the opening bracket is still to be checked: true, too, when it is not
  // there (the cursor then gave up).
  [[gnu::always_inline]] bool opens_empty(const char*& p, char close) {
    if (at(p) != (close == '}' ? '{' : '[')) {
      p = give_up();
      return true;
    }
    return past_open(p, close);
  }
  // After an element or member: true past a comma, false past the closing bracket (or when the
  // cursor gives up).
  [[gnu::always_inline]] bool more(const char*& p, char close) {
    const char c = at(p);
    if (c == ',') {
      ++p;
      return true;
    }
    if (c == close)
      ++p;
    else
      p = give_up();
    return false;
  }

  // Hands the value under the cursor to the exact reader, with `open` arrays and objects open
  // around it; a fault found there gives up.
  template <class Read>
  const char* exact(const char* p, int open, Read&& read) {
    if (gave_up_) return end_;
    ++irregular_;
    exact_.rewind({static_cast<std::size_t>(p - begin_), kMaxDepth + 1 - open});
    try {
      read(exact_);
    } catch (const ReadError&) {
      return give_up();
    }
    return begin_ + exact_.offset();
  }

  // --- Tokens --------------------------------------------------------------------------------

  // Steps over the literal `text` when it stands under the cursor.
  template <std::size_t N>
  [[gnu::always_inline]] bool literal(const char*& p, const char (&text)[N]) const {
    const token::Stop s = token::literal(p, end_, text);
    if (s.fault != token::Fault::None) return false;
    p = s.at;
    return true;
  }
  // Steps over `"name":` when it stands under the cursor, for a short name known only at run
  // time.
  [[gnu::always_inline]] bool name_literal(const char*& p, std::string_view name) const {
    const std::size_t n = name.size();
    if (static_cast<std::size_t>(end_ - p) < n + 3 || p[0] != '"' || p[n + 1] != '"' ||
        p[n + 2] != ':')
      return false;
    for (std::size_t k = 0; k < n; ++k)
      if (p[k + 1] != name[k]) return false;
    p += n + 3;
    return true;
  }

  // At '"'. A string without escapes is viewed where it stands; one with escapes is decoded by
  // the exact reader.
  [[gnu::always_inline]] const char* string(const char* p, std::string_view& out) {
    if (p == end_) return end_;
    const char* const q = token::string_run(p + 1, end_);
    if (q < end_ && *q == '"') {
      out = {p + 1, static_cast<std::size_t>(q - p - 1)};
      return q + 1;
    }
    return exact(p, 0, [&](Reader& r) { out = r.string_token(); });
  }
  // At '"': steps over a string without reading it, its escapes checked by their form only.
  const char* skip_string(const char* p) {
    const token::Stop s = token::skip_string(p, end_);
    return s.fault == token::Fault::None ? s.at : give_up();
  }
  // At the first byte of a number: steps over it by its form, its range unchecked.
  const char* skip_number(const char* p) {
    if (p == end_) return give_up();
    const token::NumberToken t = token::scan_number(p, end_);
    return t.fault == token::Fault::None ? t.at : give_up();
  }
  // At `c`, the first byte of true, false or null: steps over the literal it begins.
  const char* word(const char* p, char c) {
    switch (c) {
      case 't':
        return literal(p, "true") ? p : give_up();
      case 'f':
        return literal(p, "false") ? p : give_up();
      case 'n':
        return literal(p, "null") ? p : give_up();
      default:
        return give_up();
    }
  }
  // Steps over one value of any kind and depth. Skipped values are not limited in depth; past
  // kSkipDepth levels the exact reader steps over the rest, without recursion.
  const char* skip_value(const char* p, int depth = 0) {
    const char c = at(p);
    switch (c) {
      case '"':
        return skip_string(p);
      case '{':
        if (depth == kSkipDepth) return exact(p, 0, [](Reader& r) { r.skip_value(); });
        if (past_open(p, '}')) return p;
        do {
          if (at(p) != '"') return give_up();
          p = skip_string(p);
          if (!take(p, ':')) return p;
          p = skip_member_value(p, depth + 1);
        } while (more(p, '}'));
        return p;
      case '[':
        if (depth == kSkipDepth) return exact(p, 0, [](Reader& r) { r.skip_value(); });
        if (past_open(p, ']')) return p;
        do p = skip_member_value(p, depth + 1);
        while (more(p, ']'));
        return p;
      case 't':
      case 'f':
      case 'n':
        return word(p, c);
      default:
        return skip_number(p);
    }
  }

  // Most values inside a skipped one are strings: they are stepped over without a call.
  [[gnu::always_inline]] const char* skip_member_value(const char* p, int depth) {
    if (at(p) == '"') return skip_string(p);
    return skip_value(p, depth);
  }

  // A member's key and the colon; the cursor then on the value.
  [[gnu::always_inline]] const char* key(const char* p, std::string_view& name) {
    if (at(p) != '"') return give_up();
    p = string(p, name);
    take(p, ':');
    return p;
  }

 protected:
  static constexpr int kSkipDepth = 64;

  [[gnu::noinline]] char at_after_space(const char*& p) {
    ++irregular_;
    p = token::skip_space(p, end_);
    return p < end_ ? *p : '\0';
  }

  const char* begin_;
  const char* end_;
  Arena& arena_;
  Reader exact_;
  bool gave_up_ = false;
  // Counts the places where the text is not as the writer writes it: white space, and whatever
  // was handed to the exact reader. A stretch read without a new count stands in written form,
  // as far as the cursor's own steps go.
  std::uint32_t irregular_ = 0;
};

}  // namespace vorlik::json
