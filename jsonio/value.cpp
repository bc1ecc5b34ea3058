#include "jsonio/value.hpp"

#include <algorithm>
#include <span>

#include "containers/ordered.hpp"
#include "containers/staging.hpp"
#include "jsonio/walk.hpp"

namespace vorlik::json {

namespace {

// Builds the value the reader walks, without recursion: the elements and members of the
// containers open are staged, innermost last, and laid out in the arena as each one closes.
class Builder {
 public:
  Builder(Reader& r, Shape shape) : r_(r), shape_(shape) {}

  Json result() const { return result_; }

  void null() { put(Json()); }
  void boolean(bool b) { put(Json(b)); }
  void string(std::string_view s) { put(Json(s)); }
  void number(const Number& n) { put(Json(n)); }
  void open_array() { open_[depth_++] = {false, items_.size()}; }
  void close_array() {
    const std::size_t base = open_[--depth_].base;
    const std::span<const Json> laid(items_.items().subspan(base));
    const Items items(Staging<Json>::lay_out(laid, r_.arena()), laid.size());
    items_.truncate(base);
    put(Json(items));
  }
  void open_object() { open_[depth_++] = {true, members_.size()}; }
  void key(std::string_view k) { members_.push(Member(k, Json())); }
  void close_object() {
    const std::size_t base = open_[--depth_].base;
    const auto all = members_.items().subspan(base);
    auto kept = shape_ == Shape::Generic ? settle_range(all.begin(), all.end()) : all.end();
    const std::span<const Member> laid(all.begin(), kept);
    const Entries members(Staging<Member>::lay_out(laid, r_.arena()), laid.size());
    members_.truncate(base);
    put(Json(members));
  }

 private:
  struct Open {
    bool object;
    std::size_t base;  // its first element or member among those staged
  };

  void put(const Json& v) {
    if (depth_ == 0)
      result_ = v;
    else if (open_[depth_ - 1].object)
      members_.items().back().second = v;
    else
      items_.push(v);
  }

  Reader& r_;
  const Shape shape_;
  Json result_;
  Staging<Json> items_;
  Staging<Member> members_;
  Open open_[kMaxDepth];
  int depth_ = 0;
};

}  // namespace

Json read_json(Reader& r, Shape shape) {
  Builder b(r, shape);
  r.walk(b);
  return b.result();
}

void write_json(Writer& w, const Json& v) {
  switch (v.type()) {
    case Json::Type::Null:
      w.null();
      return;
    case Json::Type::Bool:
      w.boolean(v.boolean());
      return;
    case Json::Type::Number:
      w.number(v.number());
      return;
    case Json::Type::String:
      w.string(v.string());
      return;
    case Json::Type::Array: {
      w.raw('[');
      bool first = true;
      for (const Json& item : v.items()) {
        if (!first) w.raw(',');
        first = false;
        write_json(w, item);
      }
      w.raw(']');
      return;
    }
    case Json::Type::Object: {
      w.raw('{');
      bool first = true;
      for (const auto& [key, item] : v.members()) {
        if (!first) w.raw(',');
        first = false;
        w.key(key);
        write_json(w, item);
      }
      w.raw('}');
      return;
    }
  }
}

std::string describe(const Json& v) {
  switch (v.type()) {
    case Json::Type::Null:
      return msg::kFoundNull;
    case Json::Type::Bool:
      return v.boolean() ? msg::kFoundTrue : msg::kFoundFalse;
    case Json::Type::Number:
      return describe_number(v.number());
    case Json::Type::String:
      return describe_string(v.string());
    case Json::Type::Array:
      return msg::kFoundSequence;
    case Json::Type::Object:
      return msg::kFoundMap;
  }
  return {};
}

void fail_type(const Json& found, std::string_view expected) {
  fail_unplaced(msg::invalid_type(describe(found), expected));
}

}  // namespace vorlik::json
