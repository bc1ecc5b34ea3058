// parse_cem on any text: schemas that come out are JSON the reader takes back, and wherever the
// fast manifest reader reads a text, the exact reader hands on the same declarations.
#include <optional>
#include <string>

#include "containers/arena.hpp"
#include "fuzz/fuzz_support.hpp"
#include "jsonio/error.hpp"
#include "jsonio/reader.hpp"
#include "jsonio/writer.hpp"
#include "src/cem/manifest.hpp"
#include "src/cem/schema.hpp"

using namespace vorlik;
using namespace vorlik::fuzz;

namespace {

// What a declaration tells a caller: its schema where it is a component, a mark where not.
struct Schemas {
  json::Writer out;
  ComponentSchema schema;
  std::string_view text;
  void operator()(const Declaration& declaration) {
    out.raw(is_component(declaration) ? '+' : '-');
    if (!is_component(declaration)) return;
    derive_schema(declaration, schema);
    write_schema(schema, text, out);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = as_text(data, size);
  Outcome schemas = parse_cem(text);
  if (ok(schemas)) check(ok(encode_frame(schemas.data, "m", "snapshot", 0, "application/msgpack")));

  Arena fast_arena;
  Schemas fast{.text = text};
  if (!read_manifest_fast(text, fast_arena, std::ref(fast))) return 0;
  Arena arena;
  Schemas exact{.text = text};
  json::Reader reader(text, arena);
  try {
    read_manifest(reader, std::ref(exact));
    reader.finish();
  } catch (const json::ReadError&) {
    check(false);  // the fast path read a text the exact reader refuses
  }
  check(fast.out.view() == exact.out.view());
  return 0;
}
