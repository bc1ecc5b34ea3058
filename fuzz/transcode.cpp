// The JSON transcoder's quick way against its careful way, and the careful way against the
// generic value read and written again: where the quick way reads a text, the careful way reads
// it too and writes the same bytes; the careful way writes what the value writer writes, or
// fails with the same message.
#include "jsonio/transcode.hpp"

#include <optional>
#include <string>

#include "containers/arena.hpp"
#include "fuzz/fuzz_support.hpp"
#include "jsonio/error.hpp"
#include "jsonio/reader.hpp"
#include "jsonio/transcode_fast.hpp"
#include "jsonio/value.hpp"
#include "jsonio/writer.hpp"

using namespace vorlik;
using namespace vorlik::fuzz;

namespace {

// The text read whole by `read` and written in normal form, or "error: " and the message.
template <class Read>
std::string written(std::string_view text, Read&& read) {
  Arena arena;
  json::Reader reader(text, arena);
  json::Writer w;
  try {
    read(reader, w);
    reader.finish();
  } catch (const json::ReadError& e) {
    return "error: " + json::format_error(text, e);
  }
  return w.take();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = as_text(data, size);
  if (!is_text(text)) return 0;
  const std::string careful =
      written(text, [](json::Reader& r, json::Writer& w) { json::transcode_careful(r, w); });
  const std::string value = written(
      text, [](json::Reader& r, json::Writer& w) { json::write_json(w, json::read_json(r)); });
  check(careful == value);

  Arena arena;
  json::Reader reader(text, arena);
  json::Writer w;
  if (!json::transcode_fast(reader, w)) return 0;
  // The quick way read a value; what follows it is the reader's to judge, as for the careful way.
  try {
    reader.finish();
  } catch (const json::ReadError&) {
    check(starts_with(careful, "error: "));
    return 0;
  }
  check(w.view() == careful);
  return 0;
}
