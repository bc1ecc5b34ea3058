#include "src/cem/manifest.hpp"

#include <string>

#include "jsonio/record.hpp"

namespace vorlik {

namespace {

using json::Reader;

template <class T, class ReadOne>
void read_list(Reader& r, std::vector<T>& out, ReadOne read_one) {
  r.read_seq([&] { read_one(r, out.emplace_back()); });
}

void read_type_text(Reader& r, TypeText& t) {
  json::read_fields(r, "struct TypeText", kTypeTextFields,
                    [&](std::size_t) { t.text = r.read_optional_str(); });
}

std::optional<TypeText> read_optional_type_text(Reader& r) {
  if (r.take_null()) return std::nullopt;
  TypeText t;
  read_type_text(r, t);
  return t;
}

void read_named(Reader& r, Named& n) {
  json::read_fields(r, "struct Named", kNamedFields, [&](std::size_t) { n.name = r.read_str(); });
}

void read_attribute(Reader& r, Attribute& a) {
  json::read_fields(r, "struct Attribute", kAttributeFields, [&](std::size_t field) {
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
  json::read_fields(r, "struct Declaration", kDeclarationFields, [&](std::size_t field) {
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
void read_list_record(Reader& r, std::string_view record, const json::FieldTable<1>& fields,
                      ReadElement read_element) {
  json::read_fields(r, record, fields, [&](std::size_t) { r.read_seq(read_element); });
}

}  // namespace

void read_manifest(Reader& r, const std::function<void(const Declaration&)>& on_declaration) {
  Declaration declaration;
  read_list_record(r, "struct Manifest", kManifestFields, [&] {
    read_list_record(r, "struct Module", kModuleFields, [&] {
      read_declaration(r, declaration);
      on_declaration(declaration);
    });
  });
}

}  // namespace vorlik
