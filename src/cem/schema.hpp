// Component schemas: what a client learns about each custom element of a manifest.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jsonio/writer.hpp"
#include "src/cem/manifest.hpp"
#include "src/cem/prop_type.hpp"

namespace vorlik {

struct PropSchema {
  std::string_view name;
  PropType ty;
  std::optional<std::string_view> default_value;
  std::optional<std::string_view> doc;
};

struct ComponentSchema {
  std::string_view tag_name;
  std::string class_name;
  std::optional<std::string_view> summary;
  std::vector<PropSchema> props;
  std::vector<std::string_view> events;
  std::vector<std::string_view> slots;
};

// A declaration describes a component when it is a custom element with a tag name.
bool is_component(const Declaration& declaration);

// Fills `schema` from a component declaration, reusing the storage it already has. The schema
// views into the declaration's strings.
void derive_schema(const Declaration& declaration, ComponentSchema& schema);

// One schema as a compact JSON object; absent optional members are left out. `manifest` is the
// text the schema's strings were read from.
void write_schema(const ComponentSchema& schema, std::string_view manifest, json::Writer& out);

}  // namespace vorlik
