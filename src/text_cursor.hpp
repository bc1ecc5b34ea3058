// The cursor of the fast readers over compact JSON text, and the steps they share.
//
// The fast readers build what the exact reader builds, from text that reads without fault, at a
// fraction of its cost: the cursor is a pointer kept in a register, known names are matched as
// literals, and no error is placed. What they do not take on they hand to the exact reader
// where it stands. On a fault they give up (GiveUp), and the caller reads the whole text again
// with the exact reader, which finds the fault and describes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "containers/arena.hpp"
#include "jsonio/chars.hpp"
#include "jsonio/reader.hpp"
#include "jsonio/scan.hpp"

namespace vorlik {

// Thrown to give up: the exact reader reads the whole text again.
struct GiveUp {};

// Every step takes the cursor and moves it past what it read. `open` counts the arrays and
// objects open around the cursor, as the exact reader's nesting limit counts them.
class TextCursor {
 public:
  TextCursor(std::string_view text, Arena& arena)
      : begin_(text.data()), end_(text.data() + text.size()), arena_(arena), exact_(text, arena) {}

  const char* begin() const { return begin_; }
  const char* end() const { return end_; }
  Arena& arena() { return arena_; }

  [[gnu::always_inline]] const char* space(const char* p) const {
    while (p < end_ && (*p == ' ' || *p == '\n' || *p == '\t' || *p == '\r')) ++p;
    return p;
  }
  // The byte under the cursor after white space. Compact text has none: one test passes it.
  [[gnu::always_inline]] char at(const char*& p) {
    if (p < end_ && (static_cast<unsigned char>(*p) > ' ')) return *p;
    ++irregular_;
    p = space(p);
    if (p == end_) throw GiveUp{};
    return *p;
  }
  [[gnu::always_inline]] void expect(const char*& p, char c) {
    if (at(p) != c) throw GiveUp{};
  }
  // One more array or object opens: the exact reader refuses the one past its limit.
  [[gnu::always_inline]] static int deeper(int open) {
    if (open >= json::kMaxDepth) throw GiveUp{};
    return open + 1;
  }
  // At '{' or '[': steps past it; true when the container is empty, the cursor then past it.
  [[gnu::always_inline]] bool opens_empty(const char*& p, char close) {
    ++p;
    if (at(p) != close) return false;
    ++p;
    return true;
  }
  // After an element or member: true past a comma, false past the closing bracket.
  [[gnu::always_inline]] bool more(const char*& p, char close) {
    const char c = at(p);
    ++p;
    if (c == ',') return true;
    if (c != close) throw GiveUp{};
    return false;
  }

  // Hands the value under the cursor to the exact reader, with the same nesting open.
  template <class Read>
  const char* exact(const char* p, int open, Read&& read) {
    ++irregular_;
    exact_.rewind({static_cast<std::size_t>(p - begin_), json::kMaxDepth + 1 - open});
    read(exact_);
    return begin_ + exact_.offset();
  }

  // Steps over `text` when it stands under the cursor.
  template <std::size_t N>
  [[gnu::always_inline]] bool literal(const char*& p, const char (&text)[N]) const {
    constexpr std::size_t size = N - 1;
    if (static_cast<std::size_t>(end_ - p) < size || std::memcmp(p, text, size) != 0) return false;
    p += size;
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

  // At '"'. A string without escapes is viewed where it stands.
  [[gnu::always_inline]] const char* string(const char* p, std::string_view& out) {
    const auto start = static_cast<std::size_t>(p + 1 - begin_);
    const auto size = static_cast<std::size_t>(end_ - begin_);
    const std::size_t stop = json::find_string_special(begin_, start, size);
    if (stop < size && begin_[stop] == '"') {
      out = {begin_ + start, stop - start};
      return begin_ + stop + 1;
    }
    return exact(p, 0, [&](json::Reader& r) { out = r.string_token(); });
  }
  // At '"': steps over a string without reading it. Escapes count by their form only, as
  // the exact reader skips them.
  const char* skip_string(const char* p) const {
    const auto size = static_cast<std::size_t>(end_ - begin_);
    for (++p;;) {
      p = begin_ + json::find_string_special(begin_, static_cast<std::size_t>(p - begin_), size);
      if (p == end_) throw GiveUp{};
      if (*p == '"') return p + 1;
      if (*p != '\\' || end_ - p < 2) throw GiveUp{};
      if (p[1] != 'u') {
        if (!json::is_simple_escape(p[1])) throw GiveUp{};
        p += 2;
        continue;
      }
      if (end_ - p < 6) throw GiveUp{};
      for (int k = 2; k < 6; ++k)
        if (json::hex_value(p[k]) < 0) throw GiveUp{};
      p += 6;
    }
  }
  // At the first byte of a number: steps over it by its form, its range unchecked.
  const char* skip_number(const char* p) const {
    if (p < end_ && *p == '-') ++p;
    if (p == end_) throw GiveUp{};
    if (*p == '0') {
      ++p;
    } else {
      if (!json::is_digit(*p)) throw GiveUp{};
      p = digits(p);
    }
    if (p < end_ && *p == '.') {
      const char* start = ++p;
      if ((p = digits(p)) == start) throw GiveUp{};
    }
    if (p < end_ && (*p == 'e' || *p == 'E')) {
      ++p;
      if (p < end_ && (*p == '+' || *p == '-')) ++p;
      const char* start = p;
      if ((p = digits(p)) == start) throw GiveUp{};
    }
    // A digit after a leading zero is refused by the exact reader, and so is any byte here but
    // a separator; the caller's next step gives up on all of them.
    return p;
  }
  // Steps over one value of any kind and depth. Skipped values are not limited in depth; past
  // kSkipDepth levels the exact reader steps over the rest, without recursion.
  const char* skip_value(const char* p, int depth = 0) {
    switch (at(p)) {
      case '"':
        return skip_string(p);
      case '{':
        if (depth == kSkipDepth) return exact(p, 0, [](json::Reader& r) { r.skip_value(); });
        if (opens_empty(p, '}')) return p;
        do {
          expect(p, '"');
          p = skip_string(p);
          expect(p, ':');
          p = skip_member_value(p + 1, depth + 1);
        } while (more(p, '}'));
        return p;
      case '[':
        if (depth == kSkipDepth) return exact(p, 0, [](json::Reader& r) { r.skip_value(); });
        if (opens_empty(p, ']')) return p;
        do p = skip_member_value(p, depth + 1);
        while (more(p, ']'));
        return p;
      case 't':
        if (!literal(p, "true")) throw GiveUp{};
        return p;
      case 'f':
        if (!literal(p, "false")) throw GiveUp{};
        return p;
      case 'n':
        if (!literal(p, "null")) throw GiveUp{};
        return p;
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
    expect(p, '"');
    p = string(p, name);
    expect(p, ':');
    return p + 1;
  }

 protected:
  static constexpr int kSkipDepth = 64;

  const char* digits(const char* p) const {
    while (p < end_ && json::is_digit(*p)) ++p;
    return p;
  }

  const char* begin_;
  const char* end_;
  Arena& arena_;
  json::Reader exact_;
  // Counts the places where the text is not as the writer writes it: white space, and whatever
  // was handed to the exact reader. A stretch read without a new count stands in written form,
  // as far as the cursor's own steps go.
  std::uint32_t irregular_ = 0;
};

}  // namespace vorlik
