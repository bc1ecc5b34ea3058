#include "src/wire/json_to_msgpack.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <vector>

#include "belvane/wire_error.hpp"

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

class Packer {
 public:
  Packer(json::Reader& r, std::string& out) : r_(r), out_(out) {}

  void value() {
    switch (r_.start_value()) {
      case json::Token::Null:
        out_.push_back(static_cast<char>(0xC0));
        return;
      case json::Token::True:
        out_.push_back(static_cast<char>(0xC3));
        return;
      case json::Token::False:
        out_.push_back(static_cast<char>(0xC2));
        return;
      case json::Token::String:
        string(r_.string_token());
        return;
      case json::Token::Number:
        return number(r_.number_token());
      case json::Token::Array:
        array();
        return;
      case json::Token::Object:
        object();
        return;
    }
  }

 private:
  // One member already packed: its key and its bytes in the output (key, then value).
  struct Packed {
    std::string_view key;
    std::size_t start;
    std::size_t end;
  };

  void string(std::string_view s) {
    const std::uint32_t n = length32(s.size(), "string", "bytes");
    if (n <= 31)
      out_.push_back(static_cast<char>(0xA0 | n));
    else
      out_.append(n <= 0xFF ? Head(0xD9, n, 1).view() : head(n, 0, 0, 0xDA, 0xDB).view());
    out_.append(s);
  }

  void number(const json::Number& n) {
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

  // The count is known only at the end. One byte is kept for the header, enough for up to 15
  // entries; a longer header moves the body.
  void put_head(std::size_t at, const Head& h) {
    out_[at] = h.bytes[0];
    if (h.size > 1) out_.insert(at + 1, h.bytes + 1, h.size - 1);
  }

  void array() {
    const std::size_t start = out_.size();
    out_.push_back('\0');
    std::size_t n = 0;
    r_.container(']', [&] {
      json::Reader::Elements el(r_);
      while (el.next()) {
        value();
        ++n;
      }
    });
    put_head(start, head(length32(n, "array", "elements"), 0x90, 15, 0xDC, 0xDD));
  }

  void object() {
    const std::size_t at = out_.size();
    out_.push_back('\0');
    const std::size_t body = out_.size();
    const std::size_t base = members_.size();
    bool in_order = true;
    r_.container('}', [&] {
      json::Reader::Members m(r_);
      std::string_view key;
      while (m.next(key)) {
        r_.colon();
        if (members_.size() > base && !(members_.back().key < key)) in_order = false;
        const std::size_t start = out_.size();
        string(key);
        value();
        members_.push_back({key, start, out_.size()});
      }
    });
    const std::size_t n = in_order ? members_.size() - base : reorder(body, base);
    members_.resize(base);
    put_head(at, head(length32(n, "object", "members"), 0x80, 15, 0xDE, 0xDF));
  }

  // Members packed out of order, or repeated: stably sorted by key, the last of equal keys kept.
  // Returns how many are left.
  std::size_t reorder(std::size_t body, std::size_t base) {
    const std::size_t n = members_.size() - base;
    order_.resize(n);
    std::iota(order_.begin(), order_.end(), base);
    // Ties broken by position: the order of a stable sort, without its buffer.
    std::sort(order_.begin(), order_.end(), [&](std::size_t a, std::size_t b) {
      const int c = members_[a].key.compare(members_[b].key);
      return c < 0 || (c == 0 && a < b);
    });
    sorted_.clear();
    std::size_t kept = 0;
    for (std::size_t k = 0; k < n; ++k) {
      const Packed& m = members_[order_[k]];
      if (k + 1 < n && members_[order_[k + 1]].key == m.key) continue;
      sorted_.append(out_, m.start, m.end - m.start);
      ++kept;
    }
    out_.resize(body);
    out_.append(sorted_);
    return kept;
  }

  json::Reader& r_;
  std::string& out_;
  std::vector<Packed> members_;  // a stack shared by all open objects
  std::vector<std::size_t> order_;
  std::string sorted_;  // reused by every reordering
};

}  // namespace

void pack_json(json::Reader& reader, std::string& out) {
  Packer(reader, out).value();
}

}  // namespace vorlik::wire
