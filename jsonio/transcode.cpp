#include "jsonio/transcode.hpp"

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

namespace vorlik::json {

namespace {

class Transcoder {
 public:
  Transcoder(Reader& r, Writer& w) : r_(r), w_(w), out_(w.buffer()) {}

  void value() {
    int c = r_.peek_ws();
    switch (c) {
      case -1:
        r_.fail_peek("EOF while parsing a value");
      case 'n':
        r_.bump();
        r_.ident("ull");
        w_.null();
        return;
      case 't':
        r_.bump();
        r_.ident("rue");
        w_.boolean(true);
        return;
      case 'f':
        r_.bump();
        r_.ident("alse");
        w_.boolean(false);
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
        if (c == '-' || (c >= '0' && c <= '9')) {
          Number n = r_.number_token();
          switch (n.kind) {
            case Number::Kind::U64:
              w_.u64(n.u);
              break;
            case Number::Kind::I64:
              w_.i64(n.i);
              break;
            case Number::Kind::F64:
              w_.f64(n.f);
              break;
          }
          return;
        }
        r_.fail_peek("expected value");
    }
  }

 private:
  // One member already written: its key and its bytes in the output ("key":value).
  struct Written {
    std::string_view key;
    std::size_t start;
    std::size_t end;
  };

  // Must follow the string's reading directly: only then does the reader know how it was spelt.
  void string(std::string_view s) {
    if (r_.last_string_plain())
      w_.plain_string(s);
    else
      w_.string(s);
  }

  void array() {
    w_.raw('[');
    r_.container(']', [&] {
      Reader::Elements el(r_);
      bool first = true;
      while (el.next()) {
        if (!first) w_.raw(',');
        first = false;
        value();
      }
    });
    w_.raw(']');
  }

  void object() {
    w_.raw('{');
    const std::size_t body = out_.size();
    const std::size_t base = members_.size();
    bool in_order = true;
    r_.container('}', [&] {
      Reader::Members m(r_);
      std::string_view key;
      while (m.next(key)) {
        r_.colon();
        if (members_.size() > base) {
          w_.raw(',');
          if (!(members_.back().key < key)) in_order = false;
        }
        const std::size_t start = out_.size();
        string(key);
        w_.raw(':');
        value();
        members_.push_back({key, start, out_.size()});
      }
    });
    // Members written out of order, or repeated, are put right afterwards: stably sorted by
    // key, the last of equal keys kept.
    if (!in_order) reorder(body, base);
    members_.resize(base);
    w_.raw('}');
  }

  void reorder(std::size_t body, std::size_t base) {
    const std::size_t n = members_.size() - base;
    order_.resize(n);
    std::iota(order_.begin(), order_.end(), base);
    std::stable_sort(order_.begin(), order_.end(), [&](std::size_t a, std::size_t b) {
      return members_[a].key < members_[b].key;
    });
    std::string& sorted = sorted_;
    sorted.clear();
    for (std::size_t k = 0; k < n; ++k) {
      const Written& m = members_[order_[k]];
      if (k + 1 < n && members_[order_[k + 1]].key == m.key) continue;
      if (!sorted.empty()) sorted.push_back(',');
      sorted.append(out_, m.start, m.end - m.start);
    }
    out_.resize(body);
    out_.append(sorted);
  }

  Reader& r_;
  Writer& w_;
  std::string& out_;
  std::vector<Written> members_;  // a stack shared by all open objects
  std::vector<std::size_t> order_;
  std::string sorted_;  // reused by every reordering
};

}  // namespace

void transcode(Reader& reader, Writer& writer) {
  Transcoder(reader, writer).value();
}

}  // namespace vorlik::json
