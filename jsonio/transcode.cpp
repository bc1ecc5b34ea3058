#include "jsonio/transcode.hpp"

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

#include "jsonio/transcode_fast.hpp"

namespace vorlik::json {

namespace {

class Transcoder {
 public:
  Transcoder(Reader& r, Writer& w) : r_(r), w_(w) {}

  void value() {
    switch (r_.start_value()) {
      case Token::Null:
        w_.null();
        return;
      case Token::True:
        w_.boolean(true);
        return;
      case Token::False:
        w_.boolean(false);
        return;
      case Token::String:
        string(r_.string_token());
        return;
      case Token::Number:
        w_.number(r_.number_token());
        return;
      case Token::Array:
        array();
        return;
      case Token::Object:
        object();
        return;
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
    const std::size_t body = w_.size();
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
        const std::size_t start = w_.size();
        string(key);
        w_.raw(':');
        value();
        members_.push_back({key, start, w_.size()});
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
      sorted.append(w_.view().substr(m.start, m.end - m.start));
    }
    w_.truncate(body);
    w_.raw(sorted);
  }

  Reader& r_;
  Writer& w_;
  std::vector<Written> members_;  // a stack shared by all open objects
  std::vector<std::size_t> order_;
  std::string sorted_;  // reused by every reordering
};

}  // namespace

void transcode(Reader& reader, Writer& writer) {
  // Text that reads cleanly takes the quick way; the careful one decides everything else, so
  // that faults are found and described exactly as the reader does.
  if (transcode_fast(reader, writer)) return;
  Transcoder(reader, writer).value();
}

}  // namespace vorlik::json
