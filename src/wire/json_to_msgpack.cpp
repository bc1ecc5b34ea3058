#include "src/wire/json_to_msgpack.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <numeric>
#include <vector>

#include "src/guard.hpp"

namespace vorlik::wire {

namespace {

std::uint32_t length32(std::size_t size, const char* what, const char* unit) {
  if (size > 0xFFFFFFFFu)
    throw Failure{std::string(what) + " too large for MessagePack: " + std::to_string(size) + " " +
                  unit + " (at most 4294967295)"};
  return static_cast<std::uint32_t>(size);
}

void put_be(std::string& out, std::uint64_t v, int bytes) {
  for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
    out.push_back(static_cast<char>(v >> shift));
}

// A marker byte and its big-endian length, in the smallest of the three forms; `fix` is the
// first marker of the short form, `small` its largest length.
std::string head(std::uint32_t n, unsigned fix, std::uint32_t small, unsigned m16, unsigned m32) {
  std::string h;
  if (n <= small) {
    h.push_back(static_cast<char>(fix | n));
  } else if (n <= 0xFFFF) {
    h.push_back(static_cast<char>(m16));
    put_be(h, n, 2);
  } else {
    h.push_back(static_cast<char>(m32));
    put_be(h, n, 4);
  }
  return h;
}

class Packer {
 public:
  Packer(json::Reader& r, std::string& out) : r_(r), out_(out) {}

  void value() {
    const int c = r_.peek_ws();
    switch (c) {
      case -1:
        r_.fail_peek("EOF while parsing a value");
      case 'n':
        r_.bump();
        r_.ident("ull");
        out_.push_back(static_cast<char>(0xC0));
        return;
      case 't':
        r_.bump();
        r_.ident("rue");
        out_.push_back(static_cast<char>(0xC3));
        return;
      case 'f':
        r_.bump();
        r_.ident("alse");
        out_.push_back(static_cast<char>(0xC2));
        return;
      case '"':
        string(r_.string_token());
        return;
      case '[':
        array();
        return;
      case '{':
        object();
        return;
      default:
        if (c == '-' || (c >= '0' && c <= '9')) return number(r_.number_token());
        r_.fail_peek("expected value");
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
    if (n <= 31) {
      out_.push_back(static_cast<char>(0xA0 | n));
    } else if (n <= 0xFF) {
      out_.push_back(static_cast<char>(0xD9));
      put_be(out_, n, 1);
    } else {
      out_.append(head(n, 0, 0, 0xDA, 0xDB));
    }
    out_.append(s);
  }

  void number(const json::Number& n) {
    switch (n.kind) {
      case json::Number::Kind::U64:
        if (n.u <= 0x7F) {
          out_.push_back(static_cast<char>(n.u));
        } else {
          const int bytes = n.u <= 0xFF ? 1 : n.u <= 0xFFFF ? 2 : n.u <= 0xFFFFFFFFu ? 4 : 8;
          out_.push_back(static_cast<char>(bytes == 1   ? 0xCC
                                           : bytes == 2 ? 0xCD
                                           : bytes == 4 ? 0xCE
                                                        : 0xCF));
          put_be(out_, n.u, bytes);
        }
        return;
      case json::Number::Kind::I64:
        // Negative by construction: the reader gives non-negative integers as U64.
        if (n.i >= -32) {
          out_.push_back(static_cast<char>(n.i));
        } else {
          const int bytes = n.i >= INT8_MIN ? 1 : n.i >= INT16_MIN ? 2 : n.i >= INT32_MIN ? 4 : 8;
          out_.push_back(static_cast<char>(bytes == 1   ? 0xD0
                                           : bytes == 2 ? 0xD1
                                           : bytes == 4 ? 0xD2
                                                        : 0xD3));
          put_be(out_, static_cast<std::uint64_t>(n.i), bytes);
        }
        return;
      case json::Number::Kind::F64:
        out_.push_back(static_cast<char>(0xCB));
        put_be(out_, std::bit_cast<std::uint64_t>(n.f), 8);
        return;
    }
  }

  // The count is known only at the end, so the header goes in front of the body then.
  void array() {
    const std::size_t start = out_.size();
    std::size_t n = 0;
    r_.container(']', [&] {
      json::Reader::Elements el(r_);
      while (el.next()) {
        value();
        ++n;
      }
    });
    out_.insert(start, head(length32(n, "array", "elements"), 0x90, 15, 0xDC, 0xDD));
  }

  void object() {
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
    out_.insert(body, head(length32(n, "object", "members"), 0x80, 15, 0xDE, 0xDF));
  }

  // Members packed out of order, or repeated: stably sorted by key, the last of equal keys kept.
  // Returns how many are left.
  std::size_t reorder(std::size_t body, std::size_t base) {
    const std::size_t n = members_.size() - base;
    order_.resize(n);
    std::iota(order_.begin(), order_.end(), base);
    std::stable_sort(order_.begin(), order_.end(), [&](std::size_t a, std::size_t b) {
      return members_[a].key < members_[b].key;
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
