#include "src/cem/schema.hpp"

#include <functional>

#include "src/cem/class_name.hpp"
#include "src/cem/prop_default.hpp"

namespace vorlik {

namespace {

void derive_prop(const Attribute& attribute, PropSchema& prop) {
  prop.name = attribute.name;
  // Without a type text the type is Any, as it is for an empty one.
  bool has_text = attribute.type && attribute.type->text;
  parse_type(has_text ? *attribute.type->text : std::string_view(), prop.ty);
  prop.default_value = normalize_default(attribute.default_value);
  prop.doc = attribute.description;
}

// A view into the manifest text comes from a string read without escapes, so it holds nothing
// that needs one; others were unescaped into the arena or built here.
void write_text(std::string_view s, std::string_view manifest, json::Writer& out) {
  const std::less<const char*> before;
  if (!before(s.data(), manifest.data()) &&
      !before(manifest.data() + manifest.size(), s.data() + s.size()))
    out.plain_string(s);
  else
    out.string(s);
}

void write_names(const std::vector<std::string_view>& names, std::string_view manifest,
                 json::Writer& out) {
  out.raw('[');
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i) out.raw(',');
    write_text(names[i], manifest, out);
  }
  out.raw(']');
}

void write_prop(const PropSchema& prop, std::string_view manifest, json::Writer& out) {
  out.raw("{\"name\":");
  write_text(prop.name, manifest, out);
  out.raw(",\"ty\":");
  write_prop_type(prop.ty, out);
  if (prop.default_value) {
    out.raw(",\"default\":");
    write_text(*prop.default_value, manifest, out);
  }
  if (prop.doc) {
    out.raw(",\"doc\":");
    write_text(*prop.doc, manifest, out);
  }
  out.raw('}');
}

}  // namespace

bool is_component(const Declaration& declaration) {
  return declaration.custom_element && declaration.tag_name;
}

void derive_schema(const Declaration& declaration, ComponentSchema& schema) {
  schema.tag_name = *declaration.tag_name;
  schema.class_name = class_name(schema.tag_name);
  schema.summary = declaration.summary ? declaration.summary : declaration.description;
  schema.props.resize(declaration.attributes.size());
  for (std::size_t i = 0; i < declaration.attributes.size(); ++i)
    derive_prop(declaration.attributes[i], schema.props[i]);
  schema.events.clear();
  for (const Named& event : declaration.events) schema.events.push_back(event.name);
  schema.slots.clear();
  for (const Named& slot : declaration.slots) schema.slots.push_back(slot.name);
}

void write_schema(const ComponentSchema& schema, std::string_view manifest, json::Writer& out) {
  out.raw("{\"tag_name\":");
  write_text(schema.tag_name, manifest, out);
  out.raw(",\"class_name\":");
  out.string(schema.class_name);
  if (schema.summary) {
    out.raw(",\"summary\":");
    write_text(*schema.summary, manifest, out);
  }
  out.raw(",\"props\":[");
  for (std::size_t i = 0; i < schema.props.size(); ++i) {
    if (i) out.raw(',');
    write_prop(schema.props[i], manifest, out);
  }
  out.raw("],\"events\":");
  write_names(schema.events, manifest, out);
  out.raw(",\"slots\":");
  write_names(schema.slots, manifest, out);
  out.raw('}');
}

}  // namespace vorlik
