#include "jsonio/transcode_fast.hpp"

#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "containers/ordered_text.hpp"
#include "jsonio/cursor.hpp"
#include "jsonio/token.hpp"

namespace vorlik::json {

namespace {

class FastTranscoder : public TextCursor {
 public:
  explicit FastTranscoder(Reader& r)
      : TextCursor(r.text(), r.arena()), r_(r), order_(r.arena(), ",") {}

  bool run(Writer& out) {
    const Reader::Checkpoint start = r_.checkpoint();
    depth_ = start.depth;
    base_ = begin_ + start.offset;
    order_.expect(static_cast<std::size_t>(end_ - base_));
    const char* const p = value(base_);
    if (gave_up()) return false;
    r_.rewind({static_cast<std::size_t>(p - begin_), depth_});
    // Text in normal form goes out as it came in, in one copy.
    const std::string_view source(base_, static_cast<std::size_t>(p - base_));
    if (!order_.rewritten()) {
      out.raw(source);
      return true;
    }
    out.advance(order_.gather(source, out.room(order_.gathered_room(source.size()))));
    return true;
  }

 private:
  struct Open {
    bool object;
    std::size_t body;  // where its first entry may start
  };

  std::size_t pos(const char* p) const { return static_cast<std::size_t>(p - base_); }

  // The byte under the cursor once white space is stepped over (and dropped from the text); 0 at
  // the end. Compact text has no white space, so one test passes it.
  [[gnu::always_inline]] char peek(const char*& p) {
    if (p<end_&& static_cast<unsigned char>(*p)> ' ') return *p;
    return spaced(p);
  }
  [[gnu::noinline]] char spaced(const char*& p) {
    const char* const from = p;
    const char c = at(p);
    if (p > from) order_.rewrite(pos(from), static_cast<std::size_t>(p - from), {});
    return c;
  }

  // The whole value at the cursor, nested containers on an explicit stack.
  const char* value(const char* p) {
    Open open[kMaxDepth];
    int depth = 0;
    const int most = depth_ - 1;  // the reader refuses to open one more
    for (;;) {
      const char c = peek(p);
      if (c == '{' || c == '[') {
        if (depth >= most) return give_up();
        const bool object = c == '{';
        ++p;
        if (peek(p) == (object ? '}' : ']')) {
          ++p;  // empty: nothing to order
        } else {
          open[depth++] = {object, pos(p)};
          if (object) {
            order_.open_map();
            p = key(p);
          }
          continue;
        }
      } else {
        p = scalar(p, c);
      }
      // After a value: separators and closing brackets until the next value.
      for (;;) {
        if (depth == 0) return p;
        const Open& o = open[depth - 1];
        const char after = peek(p);
        if (after == ',') {
          ++p;
          if (o.object) p = key(p);
          break;
        }
        if (after != (o.object ? '}' : ']')) return give_up();
        if (o.object) order_.close_map(o.body, pos(p));
        ++p;
        --depth;
      }
    }
  }

  const char* scalar(const char* p, char c) {
    switch (c) {
      case '"':
        return string(p);
      case 't':
      case 'f':
      case 'n':
        return word(p, c);
      default:
        if (c != '-' && !is_digit(c)) return give_up();
        return number(p);
    }
  }

  // --- Strings -------------------------------------------------------------------------------

  [[gnu::always_inline]] const char* string(const char* p) {
    const char* const q = token::string_run(p + 1, end_);
    if (q < end_ && *q == '"') return q + 1;  // most strings hold no escape
    return escaped_string(p, q);
  }
  [[gnu::noinline]] const char* escaped_string(const char* p, const char* q) {
    bool written = true;
    const char* const after = escapes(q, written);
    if (written || gave_up()) return after;
    std::string_view text;
    TextCursor::string(p, text);
    rewrite_string(p, after, text);
    return after;
  }
  // Checks the rest of a string from `q`, the first byte to look at; `written` is cleared where
  // an escape is not the one the writer would write.
  const char* escapes(const char* q, bool& written) {
    for (;;) {
      q = token::string_run(q, end_);
      if (q == end_ || *q != '\\') return q < end_ && *q == '"' ? q + 1 : give_up();
      const token::Escape e = token::escape(q, end_);
      if (e.fault != token::Fault::None) return give_up();
      char spelt[6];
      const std::size_t n = escaped_form(e.code_point, spelt);
      if (n != static_cast<std::size_t>(e.at - q) || std::memcmp(spelt, q, n) != 0) written = false;
      q = e.at;
    }
  }
  void rewrite_string(const char* from, const char* to, std::string_view text) {
    side_.truncate(0);
    side_.string(text);
    order_.rewrite(pos(from), static_cast<std::size_t>(to - from), side_.view());
  }

  // A member's key and colon: the member starts at the key.
  [[gnu::always_inline]] const char* key(const char* p) {
    if (peek(p) != '"') return give_up();
    const std::size_t start = pos(p);
    const char* const q = token::string_run(p + 1, end_);
    if (q < end_ && *q == '"') {
      order_.member({p + 1, static_cast<std::size_t>(q - p - 1)}, start);
      p = q + 1;
    } else {
      p = escaped_key(p, q);
    }
    if (peek(p) != ':') return give_up();
    return p + 1;
  }
  // The member starts before its key is rewritten.
  [[gnu::noinline]] const char* escaped_key(const char* p, const char* q) {
    bool written = true;
    const char* const after = escapes(q, written);
    if (gave_up()) return after;
    std::string_view k;
    TextCursor::string(p, k);  // decoded, for its place among the keys
    order_.member(k, pos(p));
    if (!written) rewrite_string(p, after, k);
    return after;
  }

  // --- Numbers -------------------------------------------------------------------------------

  const char* number(const char* p) {
    const token::NumberToken t = token::scan_number(p, end_);
    if (t.fault != token::Fault::None) return give_up();
    // Integers the writer gives back digit for digit; only -0 and those below the i64 range
    // become doubles.
    if (t.is_integer()) return t.at;
    return rewritten_number(p, t);
  }
  // A number the writer gives in its double form.
  [[gnu::noinline]] const char* rewritten_number(const char* p, const token::NumberToken& t) {
    const std::optional<Number> n = token::number_value(p, t);
    if (!n) return give_up();  // the exact reader judges the range
    char buf[32];
    const std::size_t len = format_double(n->f, buf);
    const auto spelt = static_cast<std::size_t>(t.at - p);
    if (len != spelt || std::memcmp(buf, p, len) != 0) order_.rewrite(pos(p), spelt, {buf, len});
    return t.at;
  }

  Reader& r_;
  const char* base_ = nullptr;  // where the value starts: offsets count from here
  int depth_ = 0;               // the reader's nesting allowance, as at the start
  OrderedText order_;
  Writer side_;  // a string rewritten
};

}  // namespace

bool transcode_fast(Reader& reader, Writer& out) {
  return FastTranscoder(reader).run(out);
}

}  // namespace vorlik::json
