#include "src/wire/json_to_msgpack.hpp"

#include <cstdint>
#include <cstring>
#include <string>

#include "belvane/wire_error.hpp"
#include "containers/ordered_text.hpp"
#include "jsonio/walk.hpp"

namespace vorlik::wire {

namespace {

[[noreturn, gnu::noinline]] void fail_too_large(std::size_t size, const char* what,
                                                const char* unit) {
  throw belvane::WireError(std::string(what) + " too large for MessagePack: " +
                           std::to_string(size) + " " + unit + " (at most 4294967295)");
}

std::uint32_t length32(std::size_t size, const char* what, const char* unit) {
  if (size > 0xFFFFFFFFu) [[unlikely]]
    fail_too_large(size, what, unit);
  return static_cast<std::uint32_t>(size);
}

// A marker byte and up to eight bytes after it, built before they go to the output at once.
struct Head {
  char bytes[9];
  std::size_t size = 1;

  explicit Head(unsigned marker) : bytes{static_cast<char>(marker)} {}
  Head(unsigned marker, std::uint64_t v, int width) : Head(marker) {
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8)
      bytes[size++] = static_cast<char>(v >> shift);
  }
  std::string_view view() const { return {bytes, size}; }
};

// A marker byte and its big-endian length, in the smallest of the three forms; `fix` is the
// first marker of the short form, `small` its largest length.
Head head(std::uint32_t n, unsigned fix, std::uint32_t small, unsigned m16, unsigned m32) {
  if (n <= small) return Head(fix | n);
  if (n <= 0xFFFF) return Head(m16, n, 2);
  return Head(m32, n, 4);
}

// Packs what the reader walks. An array's or a map's count is known only at its end: one byte
// is kept for its head, enough for up to 15 entries; a longer head is a rewrite of that byte,
// made with the maps' reordering when the whole value has been packed.
class Packer {
 public:
  Packer(json::Reader& r, std::string& out)
      : r_(r), out_(out), base_(out.size()), order_(r.arena(), {}) {}

  void run() {
    order_.expect(r_.text().size());
    r_.walk(*this);
    if (!order_.rewritten()) return;
    const std::string packed = out_.substr(base_);
    out_.resize(base_ + order_.gathered_room(packed.size()));
    out_.resize(static_cast<std::size_t>(order_.gather(packed, out_.data() + base_) - out_.data()));
  }

  // --- What the reader meets -------------------------------------------------------------------

  void null() {
    element();
    out_.push_back(static_cast<char>(0xC0));
  }
  void boolean(bool b) {
    element();
    out_.push_back(static_cast<char>(b ? 0xC3 : 0xC2));
  }
  void string(std::string_view s) {
    element();
    put_string(s);
  }
  void number(const json::Number& n) {
    element();
    put_number(n);
  }
  void open_array() { open(false); }
  void close_array() {
    const Open& o = open_[depth_ - 1];
    close(head(length32(o.count, "array", "elements"), 0x90, 15, 0xDC, 0xDD));
  }
  void open_object() {
    open(true);
    order_.open_map();
  }
  void key(std::string_view k) {
    ++open_[depth_ - 1].count;
    order_.member(k, pos());
    put_string(k);
  }
  void close_object() {
    const std::size_t kept = order_.close_map(open_[depth_ - 1].body, pos());
    close(head(length32(kept, "object", "members"), 0x80, 15, 0xDE, 0xDF));
  }

 private:
  struct Open {
    bool map;
    std::size_t head;    // where its head byte stands
    std::size_t body;    // where its entries start
    std::size_t count;   // elements, or members read
    std::uint32_t mark;  // where the text from its head on is found, for a longer head
  };

  std::size_t pos() const { return out_.size() - base_; }

  // Before a value: inside an array, one more element. (A member is counted at its key.)
  void element() {
    if (depth_ > 0 && !open_[depth_ - 1].map) ++open_[depth_ - 1].count;
  }
  void open(bool map) {
    element();
    const std::size_t at = pos();
    out_.push_back('\0');
    open_[depth_++] = {map, at, pos(), 0, order_.mark()};
  }
  // Inlined with put_string(), as each is made once a container or string and costs less than a
  // call; a longer head is the rare case.
  [[gnu::always_inline]] void close(const Head& h) {
    const Open& o = open_[--depth_];
    if (h.size == 1)
      out_[base_ + o.head] = h.bytes[0];
    else
      longer_head(o, h);
  }
  [[gnu::noinline]] void longer_head(const Open& o, const Head& h) {
    order_.rewrite(o.mark, o.head, 1, h.view());
  }

  [[gnu::always_inline]] void put_string(std::string_view s) {
    const std::uint32_t n = length32(s.size(), "string", "bytes");
    if (n <= 31)
      out_.push_back(static_cast<char>(0xA0 | n));
    else
      out_.append(n <= 0xFF ? Head(0xD9, n, 1).view() : head(n, 0, 0, 0xDA, 0xDB).view());
    out_.append(s);
  }

  void put_number(const json::Number& n) {
    switch (n.kind) {
      case json::Number::Kind::U64:
        if (n.u <= 0x7F) {
          out_.push_back(static_cast<char>(n.u));
        } else {
          const int bytes = n.u <= 0xFF ? 1 : n.u <= 0xFFFF ? 2 : n.u <= 0xFFFFFFFFu ? 4 : 8;
          const unsigned marker = bytes == 1 ? 0xCC : bytes == 2 ? 0xCD : bytes == 4 ? 0xCE : 0xCF;
          out_.append(Head(marker, n.u, bytes).view());
        }
        return;
      case json::Number::Kind::I64:
        // Negative by construction: the reader gives non-negative integers as U64.
        if (n.i >= -32) {
          out_.push_back(static_cast<char>(n.i));
        } else {
          const int bytes = n.i >= INT8_MIN ? 1 : n.i >= INT16_MIN ? 2 : n.i >= INT32_MIN ? 4 : 8;
          const unsigned marker = bytes == 1 ? 0xD0 : bytes == 2 ? 0xD1 : bytes == 4 ? 0xD2 : 0xD3;
          out_.append(Head(marker, static_cast<std::uint64_t>(n.i), bytes).view());
        }
        return;
      case json::Number::Kind::F64: {
        std::uint64_t bits;  // copied: std::bit_cast is missing from some C++ runtimes
        std::memcpy(&bits, &n.f, sizeof bits);
        out_.append(Head(0xCB, bits, 8).view());
        return;
      }
    }
  }

  json::Reader& r_;
  std::string& out_;
  const std::size_t base_;  // where the value starts in the output: offsets count from here
  OrderedText order_;
  Open open_[json::kMaxDepth];
  int depth_ = 0;
};

}  // namespace

void pack_json(json::Reader& reader, std::string& out) {
  Packer(reader, out).run();
}

}  // namespace vorlik::wire
