// Text written through a cursor into a string that is kept longer than the text: short pieces
// then cost neither a length update of the string nor a call to copy them. The string is made
// exact again by sync(), before anything else writes to it or reads it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>

namespace vorlik::wire {

class Sink {
 public:
  explicit Sink(std::string& out) : out_(out), used_(out.size()) {}
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;

  // Room for `n` bytes at the cursor; write them and then advance(to the end of what was
  // written).
  char* room(std::size_t n) {
    if (out_.size() - used_ < n) grow(n);
    return out_.data() + used_;
  }
  void advance(const char* to) { used_ = static_cast<std::size_t>(to - out_.data()); }
  void put(char c) {
    *room(1) = c;
    ++used_;
  }

  std::size_t size() const { return used_; }

  // The string holding exactly the text written so far.
  std::string& sync() {
    out_.resize(used_);
    return out_;
  }
  // Goes on after whatever was appended to the synced string.
  void resume() { used_ = out_.size(); }

 private:
  // The string grows by the standard doubling; only a stretch ahead of the cursor is cleared
  // at a time.
  void grow(std::size_t n) {
    constexpr std::size_t kStretch = 512;
    out_.resize(used_ + std::max(n, kStretch));
  }

  std::string& out_;
  std::size_t used_;
};

}  // namespace vorlik::wire
