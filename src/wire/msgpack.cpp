#include "src/wire/msgpack.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <msgpack.hpp>
#include <variant>
#include <vector>

#include "jsonio/utf8.hpp"
#include "src/guard.hpp"

namespace vorlik {

namespace wire {

namespace {

using json::Json;

// --- Decoding ----------------------------------------------------------------------------------

constexpr std::size_t kMsgpackDepthLimit = 1024;  // this many nested levels fail

// Builds a generic value from the parser's events. Every event that starts a value finds its
// marker at pos_, so pos_ always tells how far the input has been consumed: when the input runs
// out, that decides whether it ended where a marker belongs or inside a value.
class Builder {
 public:
  explicit Builder(std::string_view data) : data_(data) {}

  bool visit_nil() { return put(Json{}); }
  bool visit_boolean(bool b) {
    Json v;
    v.type = Json::Type::Bool;
    v.boolean = b;
    return put(std::move(v));
  }
  bool visit_positive_integer(std::uint64_t u) { return put(number(json::Number::of_u64(u))); }
  bool visit_negative_integer(std::int64_t i) {
    // The signed forms may hold non-negative values; those are unsigned like any other.
    if (i >= 0) return visit_positive_integer(static_cast<std::uint64_t>(i));
    return put(number(json::Number::of_i64(i)));
  }
  bool visit_float32(float f) { return visit_float64(static_cast<double>(f)); }
  bool visit_float64(double d) {
    if (!std::isfinite(d)) return put(Json{});
    return put(number(json::Number::of_f64(d)));
  }
  bool visit_str(const char* p, std::uint32_t size) {
    std::string_view s(size ? p : data_.data(), size);
    if (auto fault = json::find_utf8_fault(s)) {
      fault->index += static_cast<std::size_t>(s.data() - data_.data());
      return fail("string is not valid UTF-8: " + json::describe_utf8_fault(*fault));
    }
    Json v;
    v.type = Json::Type::String;
    v.string = s;
    return put(std::move(v), /*is_string=*/true);
  }
  bool visit_bin(const char*, std::uint32_t) {
    return fail("bin value at index " + std::to_string(pos_) + " is not supported");
  }
  bool visit_ext(const char*, std::uint32_t) {
    return fail("ext value at index " + std::to_string(pos_) + " is not supported");
  }

  bool start_array(std::uint32_t n) {
    if (!open(Json::Type::Array)) return false;
    open_.back().value.items.reserve(reservation(n, 1));
    return true;
  }
  bool start_array_item() { return true; }
  bool end_array_item() { return true; }
  bool end_array() { return close(); }

  bool start_map(std::uint32_t n) {
    if (!open(Json::Type::Object)) return false;
    open_.back().value.members.reserve(reservation(n, 2));
    return true;
  }
  bool start_map_key() {
    open_.back().in_key = true;
    return true;
  }
  bool end_map_key() { return true; }
  bool start_map_value() {
    open_.back().in_key = false;
    return true;
  }
  bool end_map_value() { return true; }
  bool end_map() {
    json::make_map(open_.back().value.members);
    return close();
  }

  void parse_error(std::size_t, std::size_t) {
    unsigned marker = pos_ < data_.size() ? static_cast<unsigned char>(data_[pos_]) : 0;
    char hex[3] = {"0123456789abcdef"[marker >> 4], "0123456789abcdef"[marker & 15], 0};
    fail(std::string("invalid marker 0x") + hex + " at index " + std::to_string(pos_));
  }
  void insufficient_bytes(std::size_t, std::size_t) {
    fail(pos_ >= data_.size() ? "IO error while reading marker: failed to fill whole buffer"
                              : "IO error while reading data: failed to fill whole buffer");
  }
  bool referenced() const { return false; }
  void set_referenced(bool) {}

  const std::string& error() const { return error_; }
  Json take() { return std::move(root_); }
  std::size_t depth() const { return max_depth_; }

 private:
  struct Open {
    Json value;
    std::string_view key;
    bool in_key = false;
  };

  static Json number(json::Number n) {
    Json v;
    v.type = Json::Type::Number;
    v.number = n;
    return v;
  }

  // Room reserved for a container that claims `n` entries of at least `bytes` input bytes each.
  // Every open container reserves against the same remaining input, so nested forged claims
  // would multiply; a small cap keeps that bounded, and longer containers grow as they fill.
  std::size_t reservation(std::uint32_t n, std::size_t bytes) const {
    constexpr std::size_t kMostReserved = 64;
    return std::min({std::size_t{n}, remaining() / bytes, kMostReserved});
  }
  std::size_t remaining() const { return data_.size() - std::min(pos_, data_.size()); }

  bool fail(std::string message) {
    if (error_.empty()) error_ = std::move(message);
    return false;
  }

  bool key_expected() const { return !open_.empty() && open_.back().in_key; }

  // Bytes taken by the item whose marker stands at pos_ (a container's header only). Called
  // once the parser has seen the whole item, so its length fields are present.
  std::size_t item_size() const {
    const auto* s = reinterpret_cast<const unsigned char*>(data_.data()) + pos_;
    auto be = [&](int bytes) {
      std::size_t n = 0;
      for (int k = 1; k <= bytes; ++k) n = (n << 8) | s[k];
      return n;
    };
    const unsigned m = s[0];
    if (m >= 0xA0 && m <= 0xBF) return 1 + (m & 0x1F);
    switch (m) {
      case 0xCC:
      case 0xD0:
        return 2;
      case 0xCD:
      case 0xD1:
      case 0xDC:
      case 0xDE:
        return 3;
      case 0xCA:
      case 0xCE:
      case 0xD2:
      case 0xDD:
      case 0xDF:
        return 5;
      case 0xCB:
      case 0xCF:
      case 0xD3:
        return 9;
      case 0xD9:
        return 2 + be(1);
      case 0xDA:
        return 3 + be(2);
      case 0xDB:
        return 5 + be(4);
      default:
        return 1;  // nil, booleans, fixints, fixarray, fixmap
    }
  }

  bool open(Json::Type type) {
    if (key_expected()) return fail("map key must be a string");
    if (open_.size() + 1 >= kMsgpackDepthLimit) return fail("depth limit exceeded");
    pos_ += item_size();
    open_.emplace_back();
    open_.back().value.type = type;
    max_depth_ = std::max(max_depth_, open_.size());
    return true;
  }

  bool close() {
    Json v = std::move(open_.back().value);
    open_.pop_back();
    return place(std::move(v));
  }

  bool put(Json v, bool is_string = false) {
    if (key_expected() && !is_string) return fail("map key must be a string");
    pos_ += item_size();
    return place(std::move(v));
  }

  bool place(Json v) {
    if (open_.empty()) {
      root_ = std::move(v);
      return true;
    }
    Open& top = open_.back();
    if (top.value.type == Json::Type::Array) {
      top.value.items.push_back(std::move(v));
    } else if (top.in_key) {
      top.key = v.string;  // put() and open() let only strings reach a key
    } else {
      top.value.members.emplace_back(top.key, std::move(v));
    }
    return true;
  }

  std::string_view data_;
  std::size_t pos_ = 0;
  std::vector<Open> open_;
  std::size_t max_depth_ = 0;
  Json root_;
  std::string error_;
};

}  // namespace

std::optional<Codec> find_codec(std::string_view name) {
  if (name == "application/json") return Codec::Json;
  if (name == "application/msgpack") return Codec::MsgPack;
  return std::nullopt;
}

Decoded from_msgpack(std::string_view bytes) {
  Builder builder(bytes);
  std::size_t offset = 0;
  if (!msgpack::parse(bytes.data(), bytes.size(), offset, builder)) {
    if (builder.error().empty()) throw Failure{"invalid MessagePack data"};
    throw Failure{builder.error()};
  }
  return {builder.take(), builder.depth()};
}

}  // namespace wire

}  // namespace vorlik
