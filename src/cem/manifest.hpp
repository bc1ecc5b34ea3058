// A custom-elements manifest, reduced to what the component schemas are derived from.
//
// The manifest and its modules are read as the sequence of their declarations: each declaration
// is handed on as soon as it has been read, so no list of modules or declarations is ever held.
// Strings view into the manifest text or the reader's arena and live as long as they do.
#pragma once

#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "containers/arena.hpp"
#include "jsonio/reader.hpp"
#include "jsonio/record.hpp"

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
  bool custom_element = false;
  std::optional<std::string_view> tag_name;
  std::optional<std::string_view> summary;
  std::optional<std::string_view> description;
  std::vector<Attribute> attributes;
  std::vector<Named> events;
  std::vector<Named> slots;

  // Empty again, keeping the capacity of the lists for the next declaration.
  void clear() {
    custom_element = false;
    tag_name.reset();
    summary.reset();
    description.reset();
    attributes.clear();
    events.clear();
    slots.clear();
  }
};

// The fields of each record, in declared order: both readers take the members' names and the
// required ones from these tables. The optional strings have no missing-key value in array
// form: only the flag and the lists may be left off the end there.
inline constexpr auto kManifestFields = json::field_table(json::optional_field("modules"));
inline constexpr auto kModuleFields = json::field_table(json::optional_field("declarations"));
inline constexpr auto kDeclarationFields =
    json::field_table(json::optional_field("customElement"), json::nullable_field("tagName"),
                      json::nullable_field("summary"), json::nullable_field("description"),
                      json::optional_field("attributes"), json::optional_field("events"),
                      json::optional_field("slots"));
inline constexpr auto kAttributeFields =
    json::field_table(json::required_field("name"), json::nullable_field("type"),
                      json::nullable_field("default"), json::nullable_field("description"));
inline constexpr auto kTypeTextFields = json::field_table(json::nullable_field("text"));
inline constexpr auto kNamedFields = json::field_table(json::required_field("name"));

// Reads the manifest value at the reader's cursor (every record in object or array form) and
// calls on_declaration with each declaration of each module, in order. The Declaration passed is
// reused for the next one. Members the records do not know are skipped unread.
void read_manifest(json::Reader& reader,
                   const std::function<void(const Declaration&)>& on_declaration);

// The same for a whole manifest text on the fast path, for compact, well-formed text. Returns
// false where the exact reader must read the text again: on a fault, a record in array form or
// a field given twice. The declarations handed on until then are those the exact reader hands
// on first, and what was laid out in the arena stays there.
bool read_manifest_fast(std::string_view text, Arena& arena,
                        const std::function<void(const Declaration&)>& on_declaration);

}  // namespace vorlik
