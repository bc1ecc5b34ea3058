#include "jsonio/transcode.hpp"

#include <string>

#include "containers/ordered_text.hpp"
#include "jsonio/transcode_fast.hpp"
#include "jsonio/walk.hpp"

namespace vorlik::json {

namespace {

// The careful way: the exact reader walks the value and each token is written in normal form as
// it is read; maps are put in order when the whole value has been written.
class Transcoder {
 public:
  Transcoder(Reader& r, Writer& w) : r_(r), w_(w), base_(w.size()), order_(r.arena(), ",") {}

  void run() {
    r_.walk(*this);
    if (!order_.rewritten()) return;
    const std::string written(w_.view().substr(base_));
    w_.truncate(base_);
    w_.advance(order_.gather(written, w_.room(order_.gathered_room(written.size()))));
  }

  // --- What the reader meets -------------------------------------------------------------------

  void null() {
    element();
    w_.null();
  }
  void boolean(bool b) {
    element();
    w_.boolean(b);
  }
  void string(std::string_view s) {
    element();
    text(s);
  }
  void number(const Number& n) {
    element();
    w_.number(n);
  }
  void open_array() { open('[', false); }
  void close_array() { close(']'); }
  void open_object() {
    open('{', true);
    order_.open_map();
  }
  void key(std::string_view k) {
    Open& o = open_[depth_ - 1];
    if (!o.first) w_.raw(',');
    o.first = false;
    order_.member(k, pos());
    text(k);
    w_.raw(':');
  }
  void close_object() {
    const std::size_t body = open_[depth_ - 1].body;
    order_.close_map(body, pos());
    close('}');
  }

 private:
  struct Open {
    bool object;
    bool first;        // no entry written yet
    std::size_t body;  // where its entries start
  };

  std::size_t pos() const { return w_.size() - base_; }

  // Must follow the string's reading directly: only then does the reader know how it was spelt.
  void text(std::string_view s) {
    if (r_.last_string_plain())
      w_.plain_string(s);
    else
      w_.string(s);
  }

  // Before a value: inside an array, the comma after the one before. (A member's comma comes
  // before its key.)
  void element() {
    if (depth_ == 0) return;
    Open& o = open_[depth_ - 1];
    if (o.object) return;
    if (!o.first) w_.raw(',');
    o.first = false;
  }
  void open(char bracket, bool object) {
    element();
    w_.raw(bracket);
    open_[depth_++] = {object, true, pos()};
  }
  void close(char bracket) {
    --depth_;
    w_.raw(bracket);
  }

  Reader& r_;
  Writer& w_;
  const std::size_t base_;  // where the value starts in the output: offsets count from here
  OrderedText order_;
  Open open_[kMaxDepth];
  int depth_ = 0;
};

}  // namespace

void transcode_careful(Reader& reader, Writer& writer) {
  Transcoder(reader, writer).run();
}

void transcode(Reader& reader, Writer& writer) {
  // Text that reads cleanly takes the quick way; the careful one decides everything else, so
  // that faults are found and described exactly as the reader does.
  if (transcode_fast(reader, writer)) return;
  transcode_careful(reader, writer);
}

}  // namespace vorlik::json
