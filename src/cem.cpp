#include "src/cem.hpp"

#include "src/api.hpp"
#include "src/class_name.hpp"
#include "src/guard.hpp"
#include "src/prop_default.hpp"

namespace vorlik {

namespace {

PropSchema derive_prop(const Attribute& attribute, std::pmr::memory_resource* memory) {
  return PropSchema{
      attribute.name,
      attribute.type && attribute.type->text ? parse_type(*attribute.type->text, memory)
                                             : PropType(memory),
      normalize_default(attribute.default_value),
      attribute.description,
  };
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
  // Enum values go where the declaration's own lists live.
  std::pmr::memory_resource* memory = declaration.attributes.get_allocator().resource();
  schema.props.clear();
  for (const Attribute& attribute : declaration.attributes)
    schema.props.push_back(derive_prop(attribute, memory));
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

void write_schemas(const Manifest& manifest, json::Writer& out) {
  out.raw('[');
  bool first = true;
  ComponentSchema schema;
  for (const Module& module : manifest.modules) {
    for (const Declaration& declaration : module.declarations) {
      if (!is_component(declaration)) continue;
      if (!first) out.raw(',');
      first = false;
      derive_schema(declaration, schema);
      write_schema(schema, out);
    }
  }
  out.raw(']');
}

Outcome parse_cem(std::string_view manifest_text) noexcept {
  return guarded([&] {
    json::Arena arena;  // unescaped strings the manifest and the schemas view into
    std::pmr::monotonic_buffer_resource memory;  // the manifest's lists, all released at once
    Manifest manifest = read_document(
        manifest_text, arena, [&](json::Reader& reader) { return read_manifest(reader, &memory); });
    json::Writer out;
    write_schemas(manifest, out);
    return out.take();
  });
}

}  // namespace vorlik
