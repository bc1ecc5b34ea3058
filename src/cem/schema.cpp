#include "src/cem/schema.hpp"

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

void write_names(const std::vector<std::string_view>& names, json::Writer& out) {
  out.raw('[');
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i) out.raw(',');
    out.string(names[i]);
  }
  out.raw(']');
}

void write_prop(const PropSchema& prop, json::Writer& out) {
  out.raw("{\"name\":");
  out.string(prop.name);
  out.raw(",\"ty\":");
  write_prop_type(prop.ty, out);
  if (prop.default_value) {
    out.raw(",\"default\":");
    out.string(*prop.default_value);
  }
  if (prop.doc) {
    out.raw(",\"doc\":");
    out.string(*prop.doc);
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

void write_schema(const ComponentSchema& schema, json::Writer& out) {
  out.raw("{\"tag_name\":");
  out.string(schema.tag_name);
  out.raw(",\"class_name\":");
  out.string(schema.class_name);
  if (schema.summary) {
    out.raw(",\"summary\":");
    out.string(*schema.summary);
  }
  out.raw(",\"props\":[");
  for (std::size_t i = 0; i < schema.props.size(); ++i) {
    if (i) out.raw(',');
    write_prop(schema.props[i], out);
  }
  out.raw("],\"events\":");
  write_names(schema.events, out);
  out.raw(",\"slots\":");
  write_names(schema.slots, out);
  out.raw('}');
}

}  // namespace vorlik
