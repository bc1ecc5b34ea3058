#include "src/diff/patch.hpp"

#include <array>
#include <span>
#include <string>
#include <type_traits>

#include "jsonio/record.hpp"
#include "jsonio/variant.hpp"

namespace vorlik {

namespace {

// What a variant's body is called in the reader's messages.
constexpr std::array<std::string_view, std::variant_size_v<Op>> kBodyNames = {
    "struct variant Op::SetProp",     "struct variant Op::RemoveProp",
    "struct variant Op::SetEvent",    "struct variant Op::RemoveEvent",
    "struct variant Op::SetBinding",  "struct variant Op::RemoveBinding",
    "struct variant Op::SetKey",      "struct variant Op::InsertChild",
    "struct variant Op::RemoveChild", "struct variant Op::MoveChild",
    "struct variant Op::Replace"};

// The variant named, refused just after its name when it names none.
int checked_variant(json::Reader& reader, std::string_view name) {
  int variant = json::variant_index(name, kOpNames);
  if (variant < 0) reader.fail_here(json::unknown_variant(name, kOpNames));
  return variant;
}

using json::FieldSpec;

constexpr FieldSpec kPatchFields[] = {{"ops"}};
constexpr FieldSpec kPathSegFields[] = {{"slot"}, {"index"}};
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

template <class T, std::size_t I = 0>
constexpr std::size_t alternative_index() {
  if constexpr (std::is_same_v<T, std::variant_alternative_t<I, Op>>)
    return I;
  else
    return alternative_index<T, I + 1>();
}

// The body of variant T. `fields` are its members, "path" first; read_rest(body, i) reads
// member i of the others.
template <class T, class ReadRest>
Op read_body(json::Reader& r, std::span<const FieldSpec> fields, ReadRest&& read_rest) {
  T body;
  json::read_fields(r, kBodyNames[alternative_index<T>()], fields, [&](std::size_t i) {
    if (i == 0)
      body.path = read_path(r);
    else
      read_rest(body, i);
  });
  return Op(std::in_place_type<T>, std::move(body));
}

Op read_variant(json::Reader& r, int variant) {
  auto name = [&](auto& body, std::size_t) { body.name = r.read_str(); };
  switch (variant) {
    case 0:
      return read_body<op::SetProp>(r, kSetPropFields, [&](op::SetProp& b, std::size_t i) {
        if (i == 1)
          b.name = r.read_str();
        else
          b.value = read_value(r);
      });
    case 1:
      return read_body<op::RemoveProp>(r, kNameFields, name);
    case 2:
      return read_body<op::SetEvent>(r, kSetEventFields, [&](op::SetEvent& b, std::size_t i) {
        if (i == 1)
          b.name = r.read_str();
        else
          *b.action = read_action(r);
      });
    case 3:
      return read_body<op::RemoveEvent>(r, kNameFields, name);
    case 4:
      return read_body<op::SetBinding>(r, kSetBindingFields, [&](op::SetBinding& b, std::size_t i) {
        if (i == 1)
          b.name = r.read_str();
        else
          *b.binding = read_binding(r);
      });
    case 5:
      return read_body<op::RemoveBinding>(r, kNameFields, name);
    case 6:
      return read_body<op::SetKey>(r, kSetKeyFields,
                                   [&](op::SetKey& b, std::size_t) { b.key = read_key(r); });
    case 7:
      return read_body<op::InsertChild>(r, kInsertChildFields,
                                        [&](op::InsertChild& b, std::size_t i) {
                                          if (i == 1)
                                            b.slot = r.read_str();
                                          else if (i == 2)
                                            b.index = r.read_u64();
                                          else
                                            *b.node = read_node(r);
                                        });
    case 8:
      return read_body<op::RemoveChild>(r, kRemoveChildFields,
                                        [&](op::RemoveChild& b, std::size_t i) {
                                          if (i == 1)
                                            b.slot = r.read_str();
                                          else
                                            b.index = r.read_u64();
                                        });
    case 9:
      return read_body<op::MoveChild>(r, kMoveChildFields, [&](op::MoveChild& b, std::size_t i) {
        if (i == 1)
          b.slot = r.read_str();
        else if (i == 2)
          b.from = r.read_u64();
        else
          b.to = r.read_u64();
      });
    default:
      return read_body<op::Replace>(r, kReplaceFields,
                                    [&](op::Replace& b, std::size_t) { *b.node = read_node(r); });
  }
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
        int variant = checked_variant(reader, name);
        reader.colon();
        op.emplace(read_variant(reader, variant));
      });
  return std::move(*op);
}

}  // namespace vorlik
