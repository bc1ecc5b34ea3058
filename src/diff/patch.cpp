#include "src/diff/patch.hpp"

#include <array>
#include <span>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include "jsonio/messages.hpp"
#include "jsonio/record.hpp"
#include "jsonio/variant.hpp"

namespace vorlik {

namespace {

using json::FieldSpec;

// What a variant's body is called in the reader's messages: "struct variant Op::SetProp". Made
// once from the names, as only messages need them.
const std::string& body_name(std::size_t variant) {
  static const auto kNames = [] {
    std::array<std::string, kOpNames.size()> names;
    for (std::size_t k = 0; k < names.size(); ++k)
      names[k] = json::msg::struct_variant("Op", kOpNames[k]);
    return names;
  }();
  return kNames[variant];
}

// The variant named, refused just after its name when it names none.
std::size_t checked_variant(json::Reader& reader, std::string_view name) {
  const int variant = json::variant_index(name, kOpNames);
  if (variant < 0) reader.fail_here(json::unknown_variant(name, kOpNames));
  return static_cast<std::size_t>(variant);
}

constexpr FieldSpec kPatchFields[] = {{"ops"}};
constexpr FieldSpec kPathSegFields[] = {{"slot"}, {"index"}};

PathSeg read_path_seg(json::Reader& r) {
  PathSeg seg;
  json::read_fields(r, "struct PathSeg", kPathSegFields, [&](std::size_t i) {
    if (i == 0)
      seg.slot = r.read_str();
    else
      seg.index = r.read_u64();
  });
  return seg;
}

Path read_path(json::Reader& r) {
  Path path;
  r.read_seq([&] { path.push_back(read_path_seg(r)); });
  return path;
}

std::optional<std::string_view> read_key(json::Reader& r) {
  if (r.take_null()) return std::nullopt;
  return r.read_str();
}

// Each variant's fields, "path" first, and the reading of the others: one overload of
// fields_of() and read_field() per variant.

constexpr FieldSpec kNameFields[] = {{"path"}, {"name"}};
constexpr FieldSpec kSetPropFields[] = {{"path"}, {"name"}, {"value"}};
constexpr FieldSpec kSetEventFields[] = {{"path"}, {"name"}, {"action"}};
constexpr FieldSpec kSetBindingFields[] = {{"path"}, {"name"}, {"binding"}};
// The key may be left out of the object form (no key), not out of the array form.
constexpr FieldSpec kSetKeyFields[] = {{"path"}, json::nullable_field("key")};
constexpr FieldSpec kInsertChildFields[] = {{"path"}, {"slot"}, {"index"}, {"node"}};
constexpr FieldSpec kRemoveChildFields[] = {{"path"}, {"slot"}, {"index"}};
constexpr FieldSpec kMoveChildFields[] = {{"path"}, {"slot"}, {"from"}, {"to"}};
constexpr FieldSpec kReplaceFields[] = {{"path"}, {"node"}};

std::span<const FieldSpec> fields_of(const op::SetProp&) {
  return kSetPropFields;
}
void read_field(json::Reader& r, op::SetProp& b, std::size_t i) {
  if (i == 1)
    b.name = r.read_str();
  else
    b.value = read_value(r);
}

template <class Removal>
requires std::is_same_v<Removal, op::RemoveProp> || std::is_same_v<Removal, op::RemoveEvent> ||
    std::is_same_v<Removal, op::RemoveBinding>
        std::span<const FieldSpec> fields_of(const Removal&) {
  return kNameFields;
}
template <class Removal>
requires std::is_same_v<Removal, op::RemoveProp> || std::is_same_v<Removal, op::RemoveEvent> ||
    std::is_same_v<Removal, op::RemoveBinding>
void read_field(json::Reader& r, Removal& b, std::size_t) {
  b.name = r.read_str();
}

std::span<const FieldSpec> fields_of(const op::SetEvent&) {
  return kSetEventFields;
}
void read_field(json::Reader& r, op::SetEvent& b, std::size_t i) {
  if (i == 1)
    b.name = r.read_str();
  else
    *b.action = read_action(r);
}

std::span<const FieldSpec> fields_of(const op::SetBinding&) {
  return kSetBindingFields;
}
void read_field(json::Reader& r, op::SetBinding& b, std::size_t i) {
  if (i == 1)
    b.name = r.read_str();
  else
    *b.binding = read_binding(r);
}

std::span<const FieldSpec> fields_of(const op::SetKey&) {
  return kSetKeyFields;
}
void read_field(json::Reader& r, op::SetKey& b, std::size_t) {
  b.key = read_key(r);
}

std::span<const FieldSpec> fields_of(const op::InsertChild&) {
  return kInsertChildFields;
}
void read_field(json::Reader& r, op::InsertChild& b, std::size_t i) {
  if (i == 1)
    b.slot = r.read_str();
  else if (i == 2)
    b.index = r.read_u64();
  else
    *b.node = read_node(r);
}

std::span<const FieldSpec> fields_of(const op::RemoveChild&) {
  return kRemoveChildFields;
}
void read_field(json::Reader& r, op::RemoveChild& b, std::size_t i) {
  if (i == 1)
    b.slot = r.read_str();
  else
    b.index = r.read_u64();
}

std::span<const FieldSpec> fields_of(const op::MoveChild&) {
  return kMoveChildFields;
}
void read_field(json::Reader& r, op::MoveChild& b, std::size_t i) {
  if (i == 1)
    b.slot = r.read_str();
  else if (i == 2)
    b.from = r.read_u64();
  else
    b.to = r.read_u64();
}

std::span<const FieldSpec> fields_of(const op::Replace&) {
  return kReplaceFields;
}
void read_field(json::Reader& r, op::Replace& b, std::size_t) {
  *b.node = read_node(r);
}

// The body of alternative I of Op, the variant kOpNames[I] names.
template <std::size_t I>
Op read_body(json::Reader& r) {
  std::variant_alternative_t<I, Op> body;
  json::read_fields(r, body_name(I), fields_of(body), [&](std::size_t i) {
    if (i == 0)
      body.path = read_path(r);
    else
      read_field(r, body, i);
  });
  return Op(std::in_place_index<I>, std::move(body));
}

template <std::size_t... I>
Op read_variant(json::Reader& r, std::size_t variant, std::index_sequence<I...>) {
  static constexpr Op (*kReaders[])(json::Reader&) = {&read_body<I>...};
  return kReaders[variant](r);
}

// The names stand in the order of Op's alternatives.
static_assert(kOpNames.size() == std::variant_size_v<Op>);

Op read_variant(json::Reader& r, std::size_t variant) {
  return read_variant(r, variant, std::make_index_sequence<std::variant_size_v<Op>>());
}

}  // namespace

Patch read_patch(json::Reader& reader) {
  Patch patch;
  json::read_fields(reader, "struct Patch", kPatchFields, [&](std::size_t) {
    reader.read_seq([&] { patch.ops.push_back(read_op(reader)); });
  });
  return patch;
}

Op read_op(json::Reader& reader) {
  std::optional<Op> op;
  reader.read_tagged(
      [&](std::string_view name) {
        checked_variant(reader, name);
        json::fail_unplaced(
            json::msg::invalid_type(json::msg::kFoundUnitVariant, "struct variant"));
      },
      [&](std::string_view name) {
        const std::size_t variant = checked_variant(reader, name);
        reader.colon();
        op.emplace(read_variant(reader, variant));
      });
  return std::move(*op);
}

}  // namespace vorlik
