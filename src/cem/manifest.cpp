#include "src/cem/manifest.hpp"

#include <string>

#include "jsonio/record.hpp"

namespace vorlik {

namespace {

using json::FieldSpec;
using json::Reader;

template <class T, class ReadOne>
void read_list(Reader& r, std::vector<T>& out, ReadOne read_one) {
  r.read_seq([&] { read_one(r, out.emplace_back()); });
}

void read_type_text(Reader& r, TypeText& t) {
  static constexpr FieldSpec kFields[] = {json::nullable_field("text")};
  json::read_fields(r, "struct TypeText", kFields,
                    [&](std::size_t) { t.text = r.read_optional_str(); });
}

std::optional<TypeText> read_optional_type_text(Reader& r) {
  if (r.take_null()) return std::nullopt;
  TypeText t;
  read_type_text(r, t);
  return t;
}

void read_named(Reader& r, Named& n) {
  static constexpr FieldSpec kFields[] = {{"name"}};
  json::read_fields(r, "struct Named", kFields, [&](std::size_t) { n.name = r.read_str(); });
}

void read_attribute(Reader& r, Attribute& a) {
  static constexpr FieldSpec kFields[] = {
      {"name"},
      json::nullable_field("type"),
      json::nullable_field("default"),
      json::nullable_field("description"),
  };
  json::read_fields(r, "struct Attribute", kFields, [&](std::size_t field) {
    switch (field) {
      case 0:
        a.name = r.read_str();
        break;
      case 1:
        a.type = read_optional_type_text(r);
        break;
      case 2:
        a.default_value = r.read_optional_str();
        break;
      case 3:
        a.description = r.read_optional_str();
        break;
    }
  });
}

// Reads into a Declaration that held the previous one, keeping the capacity of its lists.
void read_declaration(Reader& r, Declaration& d) {
  d.clear();

  // The optional strings have no missing-key value in array form: only the flag and the lists
  // may be left off the end there.
  static constexpr FieldSpec kFields[] = {
      json::optional_field("customElement"), json::nullable_field("tagName"),
      json::nullable_field("summary"),       json::nullable_field("description"),
      json::optional_field("attributes"),    json::optional_field("events"),
      json::optional_field("slots"),
  };
  json::read_fields(r, "struct Declaration", kFields, [&](std::size_t field) {
    switch (field) {
      case 0:
        d.custom_element = r.read_bool();
        break;
      case 1:
        d.tag_name = r.read_optional_str();
        break;
      case 2:
        d.summary = r.read_optional_str();
        break;
      case 3:
        d.description = r.read_optional_str();
        break;
      case 4:
        read_list(r, d.attributes, read_attribute);
        break;
      case 5:
        read_list(r, d.events, read_named);
        break;
      case 6:
        read_list(r, d.slots, read_named);
        break;
    }
  });
}

// A Module or a Manifest: a record whose one field is a list.
template <class ReadElement>
void read_list_record(Reader& r, std::string_view record, std::string_view key,
                      ReadElement read_element) {
  const FieldSpec fields[] = {json::optional_field(key)};
  json::read_fields(r, record, fields, [&](std::size_t) { r.read_seq(read_element); });
}

}  // namespace

void read_manifest(Reader& r, const std::function<void(const Declaration&)>& on_declaration) {
  Declaration declaration;
  read_list_record(r, "struct Manifest", "modules", [&] {
    read_list_record(r, "struct Module", "declarations", [&] {
      read_declaration(r, declaration);
      on_declaration(declaration);
    });
  });
}

}  // namespace vorlik
