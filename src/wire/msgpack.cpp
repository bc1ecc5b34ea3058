#include "src/wire/msgpack.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "belvane/wire_error.hpp"
#include "containers/ordered_text.hpp"
#include "jsonio/chars.hpp"
#include "jsonio/scan.hpp"
#include "jsonio/utf8.hpp"
#include "src/wire/marker.hpp"

namespace vorlik::wire {

namespace {

using belvane::WireError;

constexpr std::size_t kDepthLimit = 1024;  // this many nested levels fail

class ToJson {
 public:
  ToJson(std::string_view in, json::Writer& w, Arena& arena)
      : in_(reinterpret_cast<const unsigned char*>(in.data())),
        size_(in.size()),
        out_(w),
        base_(w.size()),
        order_(arena, ",") {}

  std::size_t run() {
    order_.expect(2 * size_);  // its text in JSON, about twice as long
    for (;;) {
      bool key = false;
      if (!open_.empty()) {
        Open& top = open_.back();
        key = top.map && (top.left & 1) == 0;
        if (top.map && !key) {
          out_.raw(':');
        } else if (out_.size() != top.body) {
          out_.raw(',');
        }
        --top.left;
      }
      value(key);
      while (!open_.empty() && open_.back().left == 0) close();
      if (open_.empty()) break;
    }
    // Maps whose keys came out of order are put in order now, the text copied once.
    if (order_.rewritten()) {
      const std::string written(out_.view().substr(base_));
      out_.truncate(base_);
      out_.advance(order_.gather(written, out_.room(order_.gathered_room(written.size()))));
    }
    return max_depth_;
  }

 private:
  struct Open {
    std::uint64_t left;  // entries still to come; a map counts keys and values apart
    std::size_t body;    // output offset of the first entry
    bool map;
  };

  std::size_t pos() const { return out_.size() - base_; }

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
    if (key) order_.member(s, pos());
    bool wide = false;
    const auto at =
        static_cast<std::size_t>(reinterpret_cast<const unsigned char*>(s.data()) - in_);
    if (json::is_plain_ascii(s.data(), s.size(), size_ - at, wide)) {
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
    open_.push_back({map ? 2 * count : count, out_.size(), map});
    if (map) order_.open_map();
    max_depth_ = std::max(max_depth_, open_.size());
  }

  void close() {
    const Open& top = open_.back();
    if (top.map) {
      order_.close_map(top.body - base_, pos());
    }
    out_.raw(top.map ? '}' : ']');
    open_.pop_back();
  }

  const unsigned char* in_;
  std::size_t size_;
  std::size_t pos_ = 0;
  json::Writer& out_;
  const std::size_t base_;  // where the value starts in the output: offsets count from here
  OrderedText order_;
  std::vector<Open> open_;
  std::size_t max_depth_ = 0;
};

}  // namespace

std::size_t msgpack_to_json(std::string_view bytes, json::Writer& out, Arena& arena) {
  return ToJson(bytes, out, arena).run();
}

}  // namespace vorlik::wire
