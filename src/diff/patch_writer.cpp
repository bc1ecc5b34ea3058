#include "src/diff/patch_writer.hpp"

#include <array>
#include <cstddef>
#include <string>
#include <type_traits>

namespace vorlik {

namespace {

// `{"<variant>":{"path":[` for each variant, made from the names once, so that opening an op is
// one append.
struct Head {
  std::array<char, 32> text{};
  std::size_t size = 0;

  constexpr void add(std::string_view s) {
    for (char c : s) text.at(size++) = c;
  }
  std::string_view view() const { return {text.data(), size}; }
};

constexpr auto kHeads = [] {
  std::array<Head, kOpNames.size()> heads{};
  for (std::size_t v = 0; v < kOpNames.size(); ++v) {
    heads[v].add("{\"");
    heads[v].add(kOpNames[v]);
    heads[v].add("\":{\"path\":[");
  }
  return heads;
}();

template <class T, std::size_t I = 0>
constexpr std::size_t variant_of() {
  if constexpr (std::is_same_v<T, std::variant_alternative_t<I, Op>>)
    return I;
  else
    return variant_of<T, I + 1>();
}

// The segments of `path` as OpWriter takes them.
std::string written_path(const Path& path) {
  json::Writer w;
  for (std::size_t k = 0; k < path.size(); ++k) {
    if (k) w.raw(',');
    write_path_seg(w, path[k].slot, path[k].index);
  }
  return w.take();
}

}  // namespace

void OpWriter::open(std::size_t variant, std::string_view path) {
  if (!first_) out_.raw(',');
  first_ = false;
  out_.raw(kHeads[variant].view());
  out_.raw(path);
  out_.raw(']');
}

void OpWriter::name(std::string_view name) {
  out_.raw(",\"name\":");
  out_.string(name);
}

void OpWriter::set_prop(std::string_view path, std::string_view name, const Value& value) {
  open(variant_of<op::SetProp>(), path);
  this->name(name);
  out_.raw(",\"value\":");
  write_value(out_, value);
  out_.raw("}}");
}

void OpWriter::remove_prop(std::string_view path, std::string_view name) {
  open(variant_of<op::RemoveProp>(), path);
  this->name(name);
  out_.raw("}}");
}

void OpWriter::set_event(std::string_view path, std::string_view name, const Action& action) {
  open(variant_of<op::SetEvent>(), path);
  this->name(name);
  out_.raw(",\"action\":");
  write_action(out_, action);
  out_.raw("}}");
}

void OpWriter::remove_event(std::string_view path, std::string_view name) {
  open(variant_of<op::RemoveEvent>(), path);
  this->name(name);
  out_.raw("}}");
}

void OpWriter::set_binding(std::string_view path, std::string_view name, const Binding& binding) {
  open(variant_of<op::SetBinding>(), path);
  this->name(name);
  out_.raw(",\"binding\":");
  write_binding(out_, binding);
  out_.raw("}}");
}

void OpWriter::remove_binding(std::string_view path, std::string_view name) {
  open(variant_of<op::RemoveBinding>(), path);
  this->name(name);
  out_.raw("}}");
}

void OpWriter::set_key(std::string_view path, std::optional<std::string_view> key) {
  open(variant_of<op::SetKey>(), path);
  out_.raw(",\"key\":");
  if (key)
    out_.string(*key);
  else
    out_.null();
  out_.raw("}}");
}

void OpWriter::insert_child(std::string_view path, std::string_view slot, std::uint64_t index,
                            const Node& node) {
  open(variant_of<op::InsertChild>(), path);
  out_.raw(",\"slot\":");
  out_.string(slot);
  out_.raw(",\"index\":");
  out_.u64(index);
  out_.raw(",\"node\":");
  write_node(out_, node);
  out_.raw("}}");
}

void OpWriter::remove_child(std::string_view path, std::string_view slot, std::uint64_t index) {
  open(variant_of<op::RemoveChild>(), path);
  out_.raw(",\"slot\":");
  out_.string(slot);
  out_.raw(",\"index\":");
  out_.u64(index);
  out_.raw("}}");
}

void OpWriter::move_child(std::string_view path, std::string_view slot, std::uint64_t from,
                          std::uint64_t to) {
  open(variant_of<op::MoveChild>(), path);
  out_.raw(",\"slot\":");
  out_.string(slot);
  out_.raw(",\"from\":");
  out_.u64(from);
  out_.raw(",\"to\":");
  out_.u64(to);
  out_.raw("}}");
}

void OpWriter::replace(std::string_view path, const Node& node) {
  open(variant_of<op::Replace>(), path);
  out_.raw(",\"node\":");
  write_node(out_, node);
  out_.raw("}}");
}

void OpWriter::op(const Op& op) {
  std::visit(
      [&](const auto& b) {
        using T = std::decay_t<decltype(b)>;
        const std::string path = written_path(b.path);
        if constexpr (std::is_same_v<T, op::SetProp>) {
          set_prop(path, b.name, b.value);
        } else if constexpr (std::is_same_v<T, op::RemoveProp>) {
          remove_prop(path, b.name);
        } else if constexpr (std::is_same_v<T, op::SetEvent>) {
          set_event(path, b.name, *b.action);
        } else if constexpr (std::is_same_v<T, op::RemoveEvent>) {
          remove_event(path, b.name);
        } else if constexpr (std::is_same_v<T, op::SetBinding>) {
          set_binding(path, b.name, *b.binding);
        } else if constexpr (std::is_same_v<T, op::RemoveBinding>) {
          remove_binding(path, b.name);
        } else if constexpr (std::is_same_v<T, op::SetKey>) {
          set_key(path, b.key);
        } else if constexpr (std::is_same_v<T, op::InsertChild>) {
          insert_child(path, b.slot, b.index, *b.node);
        } else if constexpr (std::is_same_v<T, op::RemoveChild>) {
          remove_child(path, b.slot, b.index);
        } else if constexpr (std::is_same_v<T, op::MoveChild>) {
          move_child(path, b.slot, b.from, b.to);
        } else {
          static_assert(std::is_same_v<T, op::Replace>);
          replace(path, *b.node);
        }
      },
      op);
}

void write_patch(json::Writer& writer, const Patch& patch) {
  write_patch_with(writer, [&](OpWriter& ops) {
    for (const Op& op : patch.ops) ops.op(op);
  });
}

void write_op(json::Writer& writer, const Op& op) {
  OpWriter(writer).op(op);
}

}  // namespace vorlik
