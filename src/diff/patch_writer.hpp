// The JSON form of patches, written op by op from the parts of each op. The diff holds those
// parts in its two trees and writes its patch through here without building Op values;
// write_op and write_patch write Op values through the same functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "belvane/value.hpp"
#include "jsonio/writer.hpp"
#include "src/action/action.hpp"
#include "src/diff/patch.hpp"
#include "src/node/node.hpp"

namespace vorlik {

// Writes ops as the items of one JSON array, commas included. An op's path is passed as
// written: the JSON of its segments (write_path_seg), comma-separated, without the brackets.
class OpWriter {
 public:
  explicit OpWriter(json::Writer& out) : out_(out) {}

  void set_prop(std::string_view path, std::string_view name, const Value& value);
  void remove_prop(std::string_view path, std::string_view name);
  void set_event(std::string_view path, std::string_view name, const Action& action);
  void remove_event(std::string_view path, std::string_view name);
  void set_binding(std::string_view path, std::string_view name, const Binding& binding);
  void remove_binding(std::string_view path, std::string_view name);
  void set_key(std::string_view path, std::optional<std::string_view> key);
  void insert_child(std::string_view path, std::string_view slot, std::uint64_t index,
                    const Node& node);
  void remove_child(std::string_view path, std::string_view slot, std::uint64_t index);
  void move_child(std::string_view path, std::string_view slot, std::uint64_t from,
                  std::uint64_t to);
  void replace(std::string_view path, const Node& node);

  // Any op, from its value.
  void op(const Op& op);

 private:
  // `,` unless first, then `{"<variant>":{"path":[`, the path and `]`.
  void open(std::size_t variant, std::string_view path);
  // `,"name":` and the name.
  void name(std::string_view name);

  json::Writer& out_;
  bool first_ = true;
};

// `{"ops":[`, the ops that write_ops(OpWriter&) writes, `]}`.
template <class WriteOps>
void write_patch_with(json::Writer& writer, WriteOps&& write_ops) {
  writer.raw("{\"ops\":[");
  OpWriter ops(writer);
  write_ops(ops);
  writer.raw("]}");
}

void write_patch(json::Writer& writer, const Patch& patch);
void write_op(json::Writer& writer, const Op& op);

// A path segment `{"slot":...,"index":...}` in two parts, so that the paths of many siblings
// can share the first.
inline void write_path_seg_slot(json::Writer& writer, std::string_view slot) {
  writer.raw("{\"slot\":");
  writer.string(slot);
  writer.raw(",\"index\":");
}
inline void write_path_seg_index(json::Writer& writer, std::uint64_t index) {
  writer.u64(index);
  writer.raw('}');
}
inline void write_path_seg(json::Writer& writer, std::string_view slot, std::uint64_t index) {
  write_path_seg_slot(writer, slot);
  write_path_seg_index(writer, index);
}

}  // namespace vorlik
