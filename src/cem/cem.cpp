// The manifest entry point: parse_cem.
#include "src/cem/cem.hpp"

#include "containers/arena.hpp"
#include "jsonio/writer.hpp"
#include "src/boundary/guard.hpp"
#include "src/cem/manifest.hpp"
#include "src/cem/schema.hpp"

namespace vorlik {

Outcome parse_cem(std::string_view manifest_text) noexcept {
  return guarded([&] {
    Arena arena;  // unescaped strings the declarations and the schemas view into
    json::Writer out;
    ComponentSchema schema;
    std::size_t written = 0;
    // Each component is written as soon as its declaration has been read; a failure later on
    // discards the whole text.
    const auto on_declaration = [&](const Declaration& declaration) {
      if (!is_component(declaration)) return;
      if (written++) out.raw(',');
      derive_schema(declaration, schema);
      write_schema(schema, manifest_text, out);
    };
    out.raw('[');
    if (!read_manifest_fast(manifest_text, arena, on_declaration)) {
      // The exact reader starts again from the first declaration, and places the fault.
      out.truncate(1);
      written = 0;
      read_document(manifest_text, arena, [&](json::Reader& reader) {
        read_manifest(reader, on_declaration);
        return written;
      });
    }
    out.raw(']');
    return out.take();
  });
}

}  // namespace vorlik
