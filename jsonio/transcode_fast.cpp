#include "jsonio/transcode_fast.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

#include "containers/ordered.hpp"
#include "jsonio/chars.hpp"
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
  std::uint64_t off;
  std::uint32_t len;
  std::uint32_t next;
};

struct Member {
  std::string_view key;  // as read, escapes resolved
  std::uint32_t head;    // its first piece
};

struct Open {
  bool object;
  bool in_order;
  std::uint32_t base;  // its first entry in the member stack
};

class FastTranscoder {
 public:
  FastTranscoder(Reader& r) : r_(r), p_(r.text().data()), n_(r.text().size()) {}

  bool run(Writer& out) {
    const Reader::Checkpoint start = r_.checkpoint();
    depth_ = start.depth;
    i_ = run_ = start.offset;
    pieces_.reserve((n_ - i_) / 16 + 16);  // about one a member in compact text
    if (n_ >= (std::size_t{1} << 31) || !value()) {
      r_.rewind(start);
      return false;
    }
    cut(i_);
    r_.rewind({i_, depth_});
    gather(out, i_ - start.offset);
    return true;
  }

 private:
  // --- Pieces ------------------------------------------------------------------------------

  [[gnu::always_inline]] void push(std::uint64_t off, std::size_t len) {
    const auto index = static_cast<std::uint32_t>(pieces_.size());
    pieces_.push_back({off, static_cast<std::uint32_t>(len), index + 1});
  }
  // Ends the stretch of input taken as it is at `at`.
  void cut(std::size_t at) {
    if (at > run_) push(run_, at - run_);
    run_ = at;
  }
  // The token from `from` to the cursor is replaced by what `write` adds to the rewritten bytes.
  template <class Write>
  void rewrite(std::size_t from, Write&& write) {
    cut(from);
    const std::size_t before = side_.size();
    write(side_);
    push(n_ + 1 + before, side_.size() - before);
    run_ = i_;
  }
  std::uint32_t piece_count() const { return static_cast<std::uint32_t>(pieces_.size()); }

  void gather(Writer& out, std::size_t read) {
    const std::string_view side = side_.view();
    out.reserve(out.size() + read + side.size());
    const std::uint32_t count = piece_count();
    for (std::uint32_t k = 0; k < count;) {
      const std::uint64_t off = pieces_[k].off;
      std::uint64_t end = off + pieces_[k].len;
      k = pieces_[k].next;
      // Pieces that lie end to end in their source go out in one copy.
      while (k < count && pieces_[k].off == end) {
        end += pieces_[k].len;
        k = pieces_[k].next;
      }
      const char* from = off <= n_ ? p_ + off : side.data() + (off - n_ - 1);
      out.raw(std::string_view(from, static_cast<std::size_t>(end - off)));
    }
  }

  // --- Reading -----------------------------------------------------------------------------

  void skip_space() {
    // Bytes up to the space are rare outside white space: one test passes the rest.
    if (i_ < n_ && static_cast<unsigned char>(p_[i_]) <= ' ' && is_space(p_[i_])) {
      cut(i_);
      while (i_ < n_ && is_space(p_[i_])) ++i_;
      run_ = i_;
    }
  }

  // The whole value at the cursor, nested containers on an explicit stack.
  bool value() {
    std::array<Open, kMaxDepth> open;
    int depth = 0;
    const int most = depth_ - 1;  // the reader refuses to open one more
    for (;;) {
      skip_space();
      if (i_ >= n_) return false;
      const char c = p_[i_];
      if (c == '{' || c == '[') {
        if (depth >= most) return false;
        open[static_cast<std::size_t>(depth++)] = {c == '{', true, member_count()};
        ++i_;
        skip_space();
        if (i_ < n_ && p_[i_] == (c == '{' ? '}' : ']')) {
          ++i_;
          --depth;
        } else {
          if (c == '{' && !key(open[static_cast<std::size_t>(depth - 1)])) return false;
          continue;
        }
      } else if (!scalar(c)) {
        return false;
      }
      // After a value: separators and closing brackets until the next value.
      for (;;) {
        if (depth == 0) return true;
        Open& o = open[static_cast<std::size_t>(depth - 1)];
        skip_space();
        if (i_ >= n_) return false;
        if (p_[i_] == ',') {
          ++i_;
          skip_space();
          if (o.object && !key(o)) return false;
          break;
        }
        if (p_[i_] != (o.object ? '}' : ']')) return false;
        if (o.object) close_object(o);
        ++i_;
        --depth;
      }
    }
  }

  bool scalar(char c) {
    switch (c) {
      case '"':
        return string();
      case 't':
        return word("true");
      case 'f':
        return word("false");
      case 'n':
        return word("null");
      default:
        return (c == '-' || is_digit(c)) && number();
    }
  }

  bool word(std::string_view w) {
    if (n_ - i_ < w.size() || std::memcmp(p_ + i_, w.data(), w.size()) != 0) return false;
    i_ += w.size();
    return true;
  }

  // Steps over a string. `normal`: its text is what the writer makes of it; `escaped`: it holds
  // an escape. Refuses what the reader might refuse.
  [[gnu::always_inline]] bool scan_string(bool& normal, bool& escaped) {
    normal = true;
    escaped = false;
    i_ = find_string_special(p_, i_ + 1, n_);
    if (i_ < n_ && p_[i_] == '"') {  // most strings hold no escape
      ++i_;
      return true;
    }
    return scan_escaped(normal, escaped);
  }

  bool scan_escaped(bool& normal, bool& escaped) {
    for (;;) {
      i_ = find_string_special(p_, i_, n_);
      if (i_ >= n_) return false;
      if (p_[i_] == '"') {
        ++i_;
        return true;
      }
      if (p_[i_] != '\\' || n_ - i_ < 2) return false;
      escaped = true;
      const char e = p_[i_ + 1];
      if (e == 'u') {
        if (!unicode_escape(normal)) return false;
        continue;
      }
      if (e == '/') {
        normal = false;
      } else if (!std::strchr("\"\\bfnrt", e) || e == 0) {
        return false;
      }
      i_ += 2;
    }
  }

  // \uXXXX, a surrogate pair in two of them; the writer uses the form only for control bytes
  // without a short escape, in lower case.
  bool unicode_escape(bool& normal) {
    const auto hex4 = [&](std::size_t at) -> long {
      if (n_ - at < 4) return -1;
      long v = 0;
      for (std::size_t k = 0; k < 4; ++k) {
        const int d = hex_value(p_[at + k]);
        if (d < 0) return -1;
        v = v * 16 + d;
      }
      return v;
    };
    const long v = hex4(i_ + 2);
    if (v < 0 || (v >= 0xDC00 && v <= 0xDFFF)) return false;
    if (v >= 0xD800 && v <= 0xDBFF) {
      if (n_ - i_ < 12 || p_[i_ + 6] != '\\' || p_[i_ + 7] != 'u') return false;
      const long low = hex4(i_ + 8);
      if (low < 0xDC00 || low > 0xDFFF) return false;
      normal = false;
      i_ += 12;
      return true;
    }
    const bool short_form = v == '\b' || v == '\t' || v == '\n' || v == '\f' || v == '\r';
    const bool lower = !(p_[i_ + 5] >= 'A' && p_[i_ + 5] <= 'F');
    if (v >= 0x20 || short_form || !lower) normal = false;
    i_ += 6;
    return true;
  }

  // The decoded text of the string at `at`, as the reader gives it.
  std::optional<std::string_view> decoded(std::size_t at) {
    try {
      r_.rewind({at, depth_});
      std::string_view s = r_.string_token();
      return s;
    } catch (const ReadError&) {
      return std::nullopt;
    }
  }

  bool string() {
    const std::size_t at = i_;
    bool normal, escaped;
    if (!scan_string(normal, escaped)) return false;
    if (normal) return true;
    const auto text = decoded(at);
    if (!text) return false;
    rewrite(at, [&](Writer& w) { w.string(*text); });
    return true;
  }

  bool number() {
    const std::size_t at = i_;
    const bool negative = p_[i_] == '-';
    if (negative) ++i_;
    if (i_ >= n_) return false;
    std::uint64_t significand = 0;
    bool wide = false;  // beyond 64 bits: read as a double, as the reader does
    if (p_[i_] == '0') {
      ++i_;
      if (i_ < n_ && is_digit(p_[i_])) return false;
    } else if (is_digit(p_[i_])) {
      for (; i_ < n_ && is_digit(p_[i_]); ++i_) {
        const auto d = static_cast<std::uint64_t>(p_[i_] - '0');
        if (significand > (std::numeric_limits<std::uint64_t>::max() - d) / 10) wide = true;
        if (!wide) significand = significand * 10 + d;
      }
    } else {
      return false;
    }
    bool fraction = false;
    const auto digits = [&] {
      const std::size_t first = i_;
      while (i_ < n_ && is_digit(p_[i_])) ++i_;
      return i_ > first;
    };
    if (i_ < n_ && p_[i_] == '.') {
      ++i_;
      if (!digits()) return false;
      fraction = true;
    }
    if (i_ < n_ && (p_[i_] == 'e' || p_[i_] == 'E')) {
      ++i_;
      if (i_ < n_ && (p_[i_] == '+' || p_[i_] == '-')) ++i_;
      if (!digits()) return false;
      fraction = true;
    }
    double f;
    if (!fraction && !wide) {
      // Integers the writer gives back digit for digit; only -0 and those below the i64 range
      // become doubles.
      if (!negative || (significand != 0 && significand <= (std::uint64_t{1} << 63))) return true;
      f = significand == 0 ? -0.0 : -static_cast<double>(significand);
    } else {
      const auto r = std::from_chars(p_ + at, p_ + i_, f);
      if (r.ec != std::errc() || r.ptr != p_ + i_) return false;  // the reader judges the range
    }
    char buf[32];
    const std::size_t len = format_double(f, buf);
    if (len == i_ - at && std::memcmp(buf, p_ + at, len) == 0) return true;
    rewrite(at, [&](Writer& w) { w.raw(std::string_view(buf, len)); });
    return true;
  }

  // --- Objects -----------------------------------------------------------------------------

  std::uint32_t member_count() const { return static_cast<std::uint32_t>(members_.size()); }

  // A member's key and colon; its pieces start here.
  bool key(Open& o) {
    if (i_ >= n_ || p_[i_] != '"') return false;
    const std::size_t at = i_;
    cut(at);
    const std::uint32_t head = piece_count();
    bool normal, escaped;
    if (!scan_string(normal, escaped)) return false;
    std::string_view k(p_ + at + 1, i_ - at - 2);
    if (escaped) {
      const auto text = decoded(at);
      if (!text) return false;
      k = *text;
      if (!normal) rewrite(at, [&](Writer& w) { w.string(k); });
    }
    if (member_count() > o.base && !key_less(members_.back().key, k)) o.in_order = false;
    members_.push_back({k, head});
    skip_space();
    if (i_ >= n_ || p_[i_] != ':') return false;
    ++i_;
    return true;
  }

  // The cursor on the closing brace. Members out of order are relinked: stably sorted by key,
  // only the last of equal keys kept, the separating commas moved along.
  void close_object(const Open& o) {
    if (o.in_order) {
      members_.erase(members_.begin() + o.base, members_.end());
      return;
    }
    cut(i_);
    const std::uint32_t k = member_count() - o.base;
    const Member* m = members_.data() + o.base;
    const auto tail = [&](std::uint32_t j) {
      return j + 1 < k ? m[j + 1].head - 1 : piece_count() - 1;
    };
    order_.resize(k);
    for (std::uint32_t j = 0; j < k; ++j) order_[j] = j;
    const auto before = [&](std::uint32_t a, std::uint32_t b) {
      return key_less(m[a].key, m[b].key);
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
      if (j + 1 == k || key_less(m[order_[j]].key, m[order_[j + 1]].key))
        order_[kept++] = order_[j];
    order_.resize(kept);

    // Every member but the one read last ends with its comma.
    const Piece& first_tail = pieces_[tail(0)];
    const std::uint64_t comma = first_tail.off + first_tail.len - 1;
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
    members_.erase(members_.begin() + o.base, members_.end());
  }

  Reader& r_;
  const char* p_;
  std::size_t n_;
  std::size_t i_ = 0;    // the cursor
  std::size_t run_ = 0;  // where the input taken as it is starts
  int depth_ = 0;        // the reader's nesting allowance, as at the start
  std::vector<Piece> pieces_;
  Writer side_;  // the rewritten tokens
  std::vector<Member> members_;
  std::vector<std::uint32_t> order_;
};

}  // namespace

bool transcode_fast(Reader& reader, Writer& out) {
  return FastTranscoder(reader).run(out);
}

}  // namespace vorlik::json
