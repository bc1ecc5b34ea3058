#include "src/wire/msgpack.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "belvane/wire_error.hpp"
#include "jsonio/chars.hpp"
#include "jsonio/utf8.hpp"
#include "src/wire/marker.hpp"

namespace vorlik::wire {

namespace {

using belvane::WireError;

constexpr std::size_t kDepthLimit = 1024;  // this many nested levels fail

// True when the `n` bytes at `p` need neither escaping nor UTF-8 checking: ASCII without quote,
// backslash or control characters. `wide` tells whether a byte above 0x7F was seen. `avail`
// bytes from `p` on may be read (at least n): the last few bytes are then read as one word.
bool plain(const char* p, std::size_t n, std::size_t avail, bool& wide) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL, kHigh = kOnes * 0x80;
  std::uint64_t hits = 0, high = 0;
  // Per byte: zero after xor with '"' or '\\', or below 0x20. Exact for bytes up to 0x7F; the
  // others are caught by `high`.
  auto check = [&](std::uint64_t v) {
    const std::uint64_t quote = v ^ (kOnes * '"'), backslash = v ^ (kOnes * '\\');
    hits |=
        ((quote - kOnes) & ~quote) | ((backslash - kOnes) & ~backslash) | ((v - kOnes * 0x20) & ~v);
    high |= v;
  };
  std::size_t k = 0;
  for (; k + 8 <= n; k += 8) {
    std::uint64_t v;
    std::memcpy(&v, p + k, 8);
    check(v);
  }
  if (k < n) {
    const std::size_t rest = n - k;  // 1..7
    std::uint64_t v = 0;
    if (avail - k >= 8)
      std::memcpy(&v, p + k, 8);
    else
      std::memcpy(&v, p + k, rest);
    // The bytes past the end become plain letters.
    const std::uint64_t keep = std::endian::native == std::endian::little
                                   ? (std::uint64_t{1} << (8 * rest)) - 1
                                   : ~(~std::uint64_t{0} >> (8 * rest));
    check((v & keep) | (kOnes * 'a' & ~keep));
  }
  wide = (high & kHigh) != 0;
  return (hits & kHigh) == 0 && !wide;
}

class ToJson {
 public:
  ToJson(std::string_view in, json::Writer& w)
      : in_(reinterpret_cast<const unsigned char*>(in.data())), size_(in.size()), out_(w) {}

  std::size_t run() {
    for (;;) {
      bool key = false;
      if (!open_.empty()) {
        Open& top = open_.back();
        key = top.map && (top.left & 1) == 0;
        if (top.map && !key)
          out_.raw(':');
        else if (out_.size() != top.body)
          out_.raw(',');
        --top.left;
      }
      value(key);
      while (!open_.empty() && open_.back().left == 0) close();
      if (open_.empty()) return max_depth_;
    }
  }

 private:
  struct Open {
    std::uint64_t left;  // entries still to come; a map counts keys and values apart
    std::size_t body;    // output offset of the first entry
    std::size_t base;    // members_ index of the first member
    bool map;
    bool in_order;  // keys so far strictly ascending
  };
  // A member of an open map: its key in the input, where its text starts in the output.
  struct Member {
    const unsigned char* key;
    std::size_t key_size;
    std::size_t start;

    std::string_view name() const { return {reinterpret_cast<const char*>(key), key_size}; }
  };

  [[noreturn]] void fail_short() const {
    throw WireError(pos_ >= size_ ? "IO error while reading marker: failed to fill whole buffer"
                                  : "IO error while reading data: failed to fill whole buffer");
  }
  [[noreturn]] void fail_at(const char* what) const {
    throw WireError(std::string(what) + " value at index " + std::to_string(pos_) +
                    " is not supported");
  }

  void need(std::uint64_t bytes) const {
    if (size_ - pos_ < bytes) fail_short();
  }

  // One item at pos_: a scalar or string whole, or an array's or map's head.
  void value(bool key) {
    if (pos_ >= size_) fail_short();
    const unsigned char* s = in_ + pos_;
    const Marker& m = kMarkers[*s];
    if (m.family == Family::Unused) {
      const char hex[3] = {json::kHexDigits[*s >> 4], json::kHexDigits[*s & 15], 0};
      throw WireError(std::string("invalid marker 0x") + hex + " at index " + std::to_string(pos_));
    }
    need(m.head);
    switch (m.family) {
      case Family::Str: {
        const std::uint64_t n = announced(s);
        need(m.head + n);
        string({reinterpret_cast<const char*>(s + m.head), static_cast<std::size_t>(n)}, key);
        pos_ += m.head + static_cast<std::size_t>(n);
        return;
      }
      case Family::Bin:
        need(item_size(s));
        fail_at("bin");
      case Family::Ext:
        need(item_size(s));
        fail_at("ext");
      default:
        break;
    }
    if (key) throw WireError("map key must be a string");
    switch (m.family) {
      case Family::Nil:
        word("null");
        break;
      case Family::Bool:
        word((*s & 1) != 0 ? std::string_view("true") : std::string_view("false"));
        break;
      case Family::Uint:
        integer(m.head == 1 ? *s : read_be(s + 1, m.head - 1u));
        break;
      case Family::Int:
        integer(m.head == 1 ? static_cast<std::int8_t>(*s) : signed_be(s + 1, m.head - 1u));
        break;
      case Family::Float:
        real(m.head == 5 ? static_cast<double>(read_be_float<float>(s + 1))
                         : read_be_float<double>(s + 1));
        break;
      case Family::Array:
      case Family::Map:
        open(m.family == Family::Map, announced(s));
        break;
      default:
        break;
    }
    pos_ += m.head;
  }

  static std::int64_t signed_be(const unsigned char* s, unsigned bytes) {
    const unsigned shift = 64 - 8 * bytes;
    return static_cast<std::int64_t>(read_be(s, bytes) << shift) >> shift;
  }

  void word(std::string_view text) {
    char* p = out_.room(5);
    std::memcpy(p, text.data(), text.size());
    out_.advance(p + text.size());
  }

  template <class Int>
  void integer(Int v) {
    char* p = out_.room(24);
    out_.advance(std::to_chars(p, p + 24, v).ptr);
  }

  // Not finite: null.
  void real(double d) {
    char* p = out_.room(32);
    out_.advance(p + json::format_double(d, p));
  }

  void string(std::string_view s, bool key) {
    if (key) {
      Open& top = open_.back();
      const auto* p = reinterpret_cast<const unsigned char*>(s.data());
      if (members_.size() > top.base && !(members_.back().name() < s)) top.in_order = false;
      members_.push_back({p, s.size(), out_.size()});
    }
    bool wide = false;
    const auto at =
        static_cast<std::size_t>(reinterpret_cast<const unsigned char*>(s.data()) - in_);
    if (plain(s.data(), s.size(), size_ - at, wide)) {
      char* o = out_.room(s.size() + 2 + 16);
      *o = '"';
      // Short strings are copied 16 bytes at a time when the input goes on that far.
      if (s.size() <= 16 && size_ - at >= 16)
        std::memcpy(o + 1, s.data(), 16);
      else
        std::memcpy(o + 1, s.data(), s.size());
      o[s.size() + 1] = '"';
      out_.advance(o + s.size() + 2);
      return;
    }
    if (wide) {
      if (auto fault = json::find_utf8_fault(s)) {
        fault->index +=
            static_cast<std::size_t>(reinterpret_cast<const unsigned char*>(s.data()) - in_);
        throw WireError("string is not valid UTF-8: " + json::describe_utf8_fault(*fault));
      }
    }
    out_.string(s);
  }

  void open(bool map, std::uint64_t count) {
    if (open_.size() + 1 >= kDepthLimit) throw WireError("depth limit exceeded");
    out_.raw(map ? '{' : '[');
    open_.push_back({map ? 2 * count : count, out_.size(), members_.size(), map, true});
    max_depth_ = std::max(max_depth_, open_.size());
  }

  void close() {
    const Open& top = open_.back();
    if (top.map) {
      if (!top.in_order) reorder(top);
      members_.resize(top.base);
    }
    out_.raw(top.map ? '}' : ']');
    open_.pop_back();
  }

  // Members written out of order, or repeated: stably sorted by key, the last of equal keys
  // kept, written again in that order.
  void reorder(const Open& top) {
    std::string& out = out_.sync();
    const std::size_t n = members_.size() - top.base;
    order_.resize(n);
    std::iota(order_.begin(), order_.end(), top.base);
    // Ties broken by position: the order of a stable sort, without its buffer.
    std::sort(order_.begin(), order_.end(), [&](std::size_t a, std::size_t b) {
      const int c = members_[a].name().compare(members_[b].name());
      return c < 0 || (c == 0 && a < b);
    });
    // A member's text runs up to the comma before the next one, the last one's to the end.
    auto end = [&](std::size_t i) {
      return i + 1 < members_.size() ? members_[i + 1].start - 1 : out.size();
    };
    sorted_.clear();
    for (std::size_t k = 0; k < n; ++k) {
      const std::size_t i = order_[k];
      if (k + 1 < n && members_[order_[k + 1]].name() == members_[i].name()) continue;
      if (!sorted_.empty()) sorted_.push_back(',');
      sorted_.append(out, members_[i].start, end(i) - members_[i].start);
    }
    out.resize(top.body);
    out.append(sorted_);
    out_.resume();
  }

  const unsigned char* in_;
  std::size_t size_;
  std::size_t pos_ = 0;
  json::Writer& out_;
  std::vector<Open> open_;
  std::vector<Member> members_;  // a stack shared by all open maps
  std::size_t max_depth_ = 0;
  std::vector<std::size_t> order_;
  std::string sorted_;  // reused by every reordering
};

}  // namespace

std::size_t msgpack_to_json(std::string_view bytes, json::Writer& out) {
  return ToJson(bytes, out).run();
}

}  // namespace vorlik::wire
