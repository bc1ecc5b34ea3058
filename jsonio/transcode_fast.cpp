#include "jsonio/transcode_fast.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>
#include <type_traits>
#include <vector>

#include "containers/arena.hpp"
#include "containers/ordered.hpp"
#include "jsonio/chars.hpp"
#include "jsonio/number.hpp"
#include "jsonio/scan.hpp"
#include "jsonio/writer.hpp"

namespace vorlik::json {

namespace {

bool is_space(char c) {
  return c == ' ' || c == '\n' || c == '\t' || c == '\r';
}

// A stretch of the output: `off` below or at the input's size is an input offset, above it an
// offset into the rewritten bytes (shifted by the input's size plus one, so that the two kinds
// never look adjacent). `next` is the stretch that follows in the output.
struct Piece {
  std::uint32_t off;
  std::uint32_t len;
  std::uint32_t next;
};

// The key is kept as a pointer and a length rather than a string_view: a member is pushed
// field by field, as a view built on the stack and copied whole would stall on its two halves.
struct Member {
  const char* key_data;  // as read, escapes resolved
  std::uint32_t key_size;
  std::uint32_t head;  // its first piece
  std::string_view key() const { return {key_data, key_size}; }
};

// A growable array of trivially copyable items that keeps its count: a vector's size is the
// distance between two pointers divided by the item size, paid at every push and every look.
// Its blocks lie in the call's arena, so that the text's pieces take no block of their own.
template <class T>
class Stack {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  explicit Stack(Arena& arena) : arena_(arena) {}
  void reserve(std::uint32_t n) {
    if (n > capacity_) regrow(n);
  }
  [[gnu::always_inline]] void push(const T& item) { emplace() = item; }
  // A new item, left for the caller to fill.
  [[gnu::always_inline]] T& emplace() {
    if (size_ == capacity_) regrow(capacity_ * 2 + 16);
    return items_[size_++];
  }
  std::uint32_t size() const { return size_; }
  T& operator[](std::uint32_t k) { return items_[k]; }
  T* data() { return items_; }
  T& back() { return items_[size_ - 1]; }
  void shrink(std::uint32_t n) { size_ = n; }

 private:
  // The old block stays in the arena: a stack never holds more than twice its final size.
  void regrow(std::uint32_t n) {
    auto* grown = static_cast<T*>(arena_.allocate(std::size_t{n} * sizeof(T), alignof(T)));
    if (size_) std::memcpy(grown, items_, size_ * sizeof(T));
    items_ = grown;
    capacity_ = n;
  }

  Arena& arena_;
  T* items_ = nullptr;
  std::uint32_t size_ = 0;
  std::uint32_t capacity_ = 0;
};

// Thrown on anything the quick way does not take on: the careful reading then decides.
struct Fail {};

struct Open {
  bool object;
  bool in_order;
  std::uint32_t base;  // its first entry in the member stack
};

class FastTranscoder {
 public:
  explicit FastTranscoder(Reader& r)
      : r_(r),
        begin_(r.text().data()),
        end_(begin_ + r.text().size()),
        n_(r.text().size()),
        pieces_(r.arena()),
        members_(r.arena()) {}

  bool run(Writer& out) {
    const Reader::Checkpoint start = r_.checkpoint();
    // Piece offsets are 32 bits wide: the input and the rewritten bytes (a number written out
    // is under five times as long as its shortest spelling with its comma) must fit.
    if (n_ >= (std::size_t{1} << 29)) return false;
    depth_ = start.depth;
    const char* p = run_ = begin_ + start.offset;
    // About one a member in compact text, a member being ten bytes or more.
    pieces_.reserve(static_cast<std::uint32_t>((n_ - start.offset) / 8 + 16));
    try {
      p = value(p);
    } catch (const Fail&) {
      r_.rewind(start);
      return false;
    }
    cut(p);
    r_.rewind({offset(p), depth_});
    gather(out, offset(p) - start.offset);
    return true;
  }

 private:
  std::size_t offset(const char* p) const { return static_cast<std::size_t>(p - begin_); }

  // --- Pieces ------------------------------------------------------------------------------

  [[gnu::always_inline]] void push(std::size_t off, std::size_t len) {
    const std::uint32_t index = pieces_.size();
    pieces_.push({static_cast<std::uint32_t>(off), static_cast<std::uint32_t>(len), index + 1});
  }
  // Ends the stretch of input taken as it is at `at`.
  [[gnu::always_inline]] void cut(const char* at) {
    if (at > run_) push(offset(run_), static_cast<std::size_t>(at - run_));
    run_ = at;
  }
  // The token [from, to) is replaced by what `write` adds to the rewritten bytes.
  template <class Write>
  void rewrite(const char* from, const char* to, Write&& write) {
    cut(from);
    const std::size_t before = side_.size();
    write(side_);
    push(n_ + 1 + before, side_.size() - before);
    run_ = to;
  }
  std::uint32_t piece_count() const { return pieces_.size(); }

  // Most pieces are a member or two long: they are copied without a call.
  [[gnu::always_inline]] static char* copy(char* to, const char* from, std::size_t len) {
    if (len <= 16) {
      if (len >= 8) {
        std::uint64_t a, b;
        std::memcpy(&a, from, 8);
        std::memcpy(&b, from + len - 8, 8);
        std::memcpy(to, &a, 8);
        std::memcpy(to + len - 8, &b, 8);
      } else if (len >= 4) {
        std::uint32_t a, b;
        std::memcpy(&a, from, 4);
        std::memcpy(&b, from + len - 4, 4);
        std::memcpy(to, &a, 4);
        std::memcpy(to + len - 4, &b, 4);
      } else {
        for (std::size_t k = 0; k < len; ++k) to[k] = from[k];
      }
    } else {
      std::memcpy(to, from, len);
    }
    return to + len;
  }

  void gather(Writer& out, std::size_t read) {
    const std::string_view side = side_.view();
    // Relinking drops repeated members and moves commas, so the output is never longer than
    // the input read plus the rewritten bytes.
    char* const first = out.room(read + side.size());
    char* to = first;
    const std::uint32_t count = piece_count();
    for (std::uint32_t k = 0; k < count;) {
      const std::uint32_t off = pieces_[k].off;
      std::uint32_t end = off + pieces_[k].len;
      k = pieces_[k].next;
      // Pieces that lie end to end in their source go out in one copy.
      while (k < count && pieces_[k].off == end) {
        end += pieces_[k].len;
        k = pieces_[k].next;
      }
      const char* from = off <= n_ ? begin_ + off : side.data() + (off - n_ - 1);
      to = copy(to, from, static_cast<std::size_t>(end - off));
    }
    out.advance(to);
  }

  // --- Reading -----------------------------------------------------------------------------

  // The byte under the cursor once white space is stepped over; the end is a fault here. Compact
  // text has no white space, so one test passes it.
  [[gnu::always_inline]] char peek(const char*& p) {
    if (p < end_ && (static_cast<unsigned char>(*p) > ' ')) return *p;
    p = skip_space(p);
    return *p;
  }
  // Steps over white space; the cursor then on a byte.
  [[gnu::noinline]] const char* skip_space(const char* p) {
    cut(p);
    while (p < end_ && is_space(*p)) ++p;
    run_ = p;
    if (p == end_) throw Fail{};
    return p;
  }

  // The whole value at the cursor, nested containers on an explicit stack.
  const char* value(const char* p) {
    std::array<Open, kMaxDepth> open;
    int depth = 0;
    const int most = depth_ - 1;  // the reader refuses to open one more
    for (;;) {
      const char c = peek(p);
      if (c == '{' || c == '[') {
        if (depth >= most) throw Fail{};
        Open& o = open[static_cast<std::size_t>(depth++)];
        o = {c == '{', true, member_count()};
        ++p;
        if (peek(p) == (c == '{' ? '}' : ']')) {
          ++p;
          --depth;
        } else {
          if (c == '{') p = key(p, o);
          continue;
        }
      } else {
        p = scalar(p, c);
      }
      // After a value: separators and closing brackets until the next value.
      for (;;) {
        if (depth == 0) return p;
        Open& o = open[static_cast<std::size_t>(depth - 1)];
        const char after = peek(p);
        if (after == ',') {
          ++p;
          if (o.object) p = key(p, o);
          break;
        }
        if (after != (o.object ? '}' : ']')) throw Fail{};
        if (o.object) close_object(o, p);
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
        return word(p, "true");
      case 'f':
        return word(p, "false");
      case 'n':
        return word(p, "null");
      default:
        if (c != '-' && !is_digit(c)) throw Fail{};
        return number(p);
    }
  }

  const char* word(const char* p, std::string_view w) const {
    if (static_cast<std::size_t>(end_ - p) < w.size() || std::memcmp(p, w.data(), w.size()) != 0)
      throw Fail{};
    return p + w.size();
  }

  // The closing quote of the string at `p` when it holds no quote, backslash or control byte
  // before it; otherwise where the first of them stands (or the end).
  [[gnu::always_inline]] const char* plain_end(const char* p) const {
    return begin_ + find_string_special(begin_, offset(p) + 1, n_);
  }

  // Steps over the rest of a string from `q`, the first byte to look at. `normal`: its text is
  // what the writer makes of it. Refuses what the reader might refuse.
  const char* scan_escaped(const char* q, bool& normal) const {
    for (;;) {
      q = begin_ + find_string_special(begin_, offset(q), n_);
      if (q == end_) throw Fail{};
      if (*q == '"') return q + 1;
      if (*q != '\\' || end_ - q < 2) throw Fail{};
      const char e = q[1];
      if (e == 'u') {
        q = unicode_escape(q, normal);
        continue;
      }
      if (e == '/') {
        normal = false;
      } else if (!is_simple_escape(e)) {
        throw Fail{};
      }
      q += 2;
    }
  }

  // \uXXXX, a surrogate pair in two of them; the writer uses the form only for control bytes
  // without a short escape, in lower case.
  const char* unicode_escape(const char* q, bool& normal) const {
    const auto hex4 = [&](const char* at) -> long {
      if (end_ - at < 4) return -1;
      long v = 0;
      for (int k = 0; k < 4; ++k) {
        const int d = hex_value(at[k]);
        if (d < 0) return -1;
        v = v * 16 + d;
      }
      return v;
    };
    const long v = hex4(q + 2);
    if (v < 0 || (v >= 0xDC00 && v <= 0xDFFF)) throw Fail{};
    if (v >= 0xD800 && v <= 0xDBFF) {
      if (end_ - q < 12 || q[6] != '\\' || q[7] != 'u') throw Fail{};
      const long low = hex4(q + 8);
      if (low < 0xDC00 || low > 0xDFFF) throw Fail{};
      normal = false;
      return q + 12;
    }
    const bool short_form = v == '\b' || v == '\t' || v == '\n' || v == '\f' || v == '\r';
    const bool lower = !(q[5] >= 'A' && q[5] <= 'F');
    if (v >= 0x20 || short_form || !lower) normal = false;
    return q + 6;
  }

  // The decoded text of the string at `at`, as the reader gives it.
  std::string_view decoded(const char* at) {
    try {
      r_.rewind({offset(at), depth_});
      return r_.string_token();
    } catch (const ReadError&) {
      throw Fail{};
    }
  }

  [[gnu::always_inline]] const char* string(const char* p) {
    const char* q = plain_end(p);
    if (q < end_ && *q == '"') return q + 1;  // most strings hold no escape
    return escaped_string(p, q);
  }
  [[gnu::noinline]] const char* escaped_string(const char* p, const char* q) {
    bool normal = true;
    const char* after = scan_escaped(q, normal);
    if (normal) return after;
    const std::string_view text = decoded(p);
    rewrite(p, after, [&](Writer& w) { w.string(text); });
    return after;
  }

  const char* digits(const char* p) const {
    while (p < end_ && is_digit(*p)) ++p;
    return p;
  }

  const char* number(const char* p) {
    const char* const at = p;
    const bool negative = *p == '-';
    if (negative) ++p;
    if (p == end_) throw Fail{};
    std::uint64_t significand = 0;
    bool wide = false;  // beyond 64 bits: read as a double, as the reader does
    if (*p == '0') {
      ++p;
      if (p < end_ && is_digit(*p)) throw Fail{};
    } else if (is_digit(*p)) {
      for (; p < end_ && is_digit(*p); ++p) {
        const auto d = static_cast<std::uint64_t>(*p - '0');
        if (significand > (std::numeric_limits<std::uint64_t>::max() - d) / 10) wide = true;
        if (!wide) significand = significand * 10 + d;
      }
    } else {
      throw Fail{};
    }
    bool fraction = false;
    if (p < end_ && *p == '.') {
      const char* const first = ++p;
      if ((p = digits(p)) == first) throw Fail{};
      fraction = true;
    }
    if (p < end_ && (*p == 'e' || *p == 'E')) {
      ++p;
      if (p < end_ && (*p == '+' || *p == '-')) ++p;
      const char* const first = p;
      if ((p = digits(p)) == first) throw Fail{};
      fraction = true;
    }
    // Integers the writer gives back digit for digit; only -0 and those below the i64 range
    // become doubles.
    if (!fraction && !wide &&
        (!negative || (significand != 0 && significand <= (std::uint64_t{1} << 63))))
      return p;
    return rewritten_number(at, p, fraction || wide, significand);
  }
  // A number the writer gives in its double form: negative integers beyond i64 and -0 (the
  // only integers that get here), fractions and exponents.
  [[gnu::noinline]] const char* rewritten_number(const char* at, const char* p, bool as_double,
                                                 std::uint64_t significand) {
    double f;
    if (!as_double) {
      f = significand == 0 ? -0.0 : -static_cast<double>(significand);
    } else {
      const auto v = decimal_to_double(at, p);
      if (!v) throw Fail{};  // the reader judges the range
      f = *v;
    }
    char buf[32];
    const std::size_t len = format_double(f, buf);
    if (len == static_cast<std::size_t>(p - at) && std::memcmp(buf, at, len) == 0) return p;
    rewrite(at, p, [&](Writer& w) { w.raw(std::string_view(buf, len)); });
    return p;
  }

  // --- Objects -----------------------------------------------------------------------------

  std::uint32_t member_count() const { return members_.size(); }

  // A member's key and colon; its pieces start here.
  [[gnu::always_inline]] const char* key(const char* p, Open& o) {
    if (peek(p) != '"') throw Fail{};
    cut(p);
    const std::uint32_t head = piece_count();
    std::string_view k;
    const char* q = plain_end(p);
    if (q < end_ && *q == '"') {
      k = {p + 1, static_cast<std::size_t>(q - p - 1)};
      p = q + 1;
    } else {
      p = escaped_key(p, q, k);
    }
    if (member_count() > o.base && !key_less(members_.back().key(), k)) o.in_order = false;
    Member& m = members_.emplace();
    m.key_data = k.data();
    m.key_size = static_cast<std::uint32_t>(k.size());
    m.head = head;
    if (peek(p) != ':') throw Fail{};
    return p + 1;
  }
  [[gnu::noinline]] const char* escaped_key(const char* p, const char* q, std::string_view& k) {
    bool normal = true;
    const char* after = scan_escaped(q, normal);
    k = decoded(p);
    if (!normal) rewrite(p, after, [&](Writer& w) { w.string(k); });
    return after;
  }

  // The cursor on the closing brace. Members out of order are relinked: stably sorted by key,
  // only the last of equal keys kept, the separating commas moved along.
  void close_object(const Open& o, const char* p) {
    if (o.in_order) {
      members_.shrink(o.base);
      return;
    }
    cut(p);
    const std::uint32_t k = member_count() - o.base;
    const Member* m = members_.data() + o.base;
    const auto tail = [&](std::uint32_t j) {
      return j + 1 < k ? m[j + 1].head - 1 : piece_count() - 1;
    };
    order_.resize(k);
    for (std::uint32_t j = 0; j < k; ++j) order_[j] = j;
    const auto before = [&](std::uint32_t a, std::uint32_t b) {
      return key_less(m[a].key(), m[b].key());
    };
    if (k <= 16) {
      for (std::uint32_t j = 1; j < k; ++j)
        for (std::uint32_t s = j; s > 0 && before(order_[s], order_[s - 1]); --s)
          std::swap(order_[s], order_[s - 1]);
    } else {
      std::stable_sort(order_.begin(), order_.end(), before);
    }
    std::uint32_t kept = 0;
    for (std::uint32_t j = 0; j < k; ++j)
      if (j + 1 == k || key_less(m[order_[j]].key(), m[order_[j + 1]].key()))
        order_[kept++] = order_[j];
    order_.resize(kept);

    // Every member but the one read last ends with its comma.
    const Piece& first_tail = pieces_[tail(0)];
    const std::uint32_t comma = first_tail.off + first_tail.len - 1;
    std::uint32_t prev = m[0].head - 1;  // the piece with the opening brace
    for (std::uint32_t j = 0; j < kept; ++j) {
      const std::uint32_t member = order_[j];
      pieces_[prev].next = m[member].head;
      prev = tail(member);
      const bool last = j + 1 == kept;
      if (member + 1 < k && last) {
        --pieces_[prev].len;
      } else if (member + 1 == k && !last) {
        push(comma, 1);
        pieces_[prev].next = piece_count() - 1;
        prev = piece_count() - 1;
      }
    }
    pieces_[prev].next = piece_count();  // the piece that will hold the closing brace
    members_.shrink(o.base);
  }

  Reader& r_;
  const char* const begin_;
  const char* const end_;
  const std::size_t n_;
  const char* run_ = nullptr;  // where the input taken as it is starts
  int depth_ = 0;              // the reader's nesting allowance, as at the start
  Stack<Piece> pieces_;
  Writer side_;  // the rewritten tokens
  Stack<Member> members_;
  std::vector<std::uint32_t> order_;
};

}  // namespace

bool transcode_fast(Reader& reader, Writer& out) {
  return FastTranscoder(reader).run(out);
}

}  // namespace vorlik::json
