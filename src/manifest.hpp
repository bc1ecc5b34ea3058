// A custom-elements manifest, reduced to what the component schemas are derived from.
//
// Strings view into the manifest text or the reader's arena and lists live in a memory resource
// of the caller's, so a Manifest lives no longer than the call that read it.
#pragma once

#include <memory_resource>
#include <optional>
#include <string_view>
#include <vector>

#include "jsonio/reader.hpp"

namespace vorlik {

struct TypeText {
  std::optional<std::string_view> text;
};

struct Named {
  std::string_view name;
};

struct Attribute {
  std::string_view name;
  std::optional<TypeText> type;
  std::optional<std::string_view> default_value;
  std::optional<std::string_view> description;
};

struct Declaration {
  explicit Declaration(std::pmr::memory_resource* memory)
      : attributes(memory), events(memory), slots(memory) {}

  bool custom_element = false;
  std::optional<std::string_view> tag_name;
  std::optional<std::string_view> summary;
  std::optional<std::string_view> description;
  std::pmr::vector<Attribute> attributes;
  std::pmr::vector<Named> events;
  std::pmr::vector<Named> slots;
};

struct Module {
  explicit Module(std::pmr::memory_resource* memory) : declarations(memory) {}

  std::pmr::vector<Declaration> declarations;
};

struct Manifest {
  explicit Manifest(std::pmr::memory_resource* memory) : modules(memory) {}

  std::pmr::vector<Module> modules;
};

// Reads one Manifest value (object or array form) at the reader's cursor, its lists allocated
// from `memory`. Members the records do not know are skipped unread.
Manifest read_manifest(json::Reader& reader, std::pmr::memory_resource* memory);

}  // namespace vorlik
