// The fast tree reader against the exact one: where the exact reader refuses a text the fast
// path gives up, and where both read it they build the same tree (by its written form). Read
// again keeping the text of nodes in written form, it writes the same once more.
#include "src/node/tree_reader.hpp"

#include <optional>
#include <string>

#include "containers/arena.hpp"
#include "fuzz/fuzz_support.hpp"
#include "jsonio/error.hpp"
#include "jsonio/reader.hpp"
#include "jsonio/writer.hpp"
#include "src/node/node.hpp"

using namespace vorlik;
using namespace vorlik::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = as_text(data, size);
  if (!is_text(text)) return 0;
  Arena fast_arena;
  const std::optional<Node> fast = read_tree_fast(text, fast_arena, false);
  Arena arena;
  json::Reader reader(text, arena);
  std::optional<std::string> exact;
  try {
    const Node root = read_node(reader);
    reader.finish();
    json::Writer w;
    write_node(w, root);
    exact = w.take();
  } catch (const json::ReadError&) {
  }
  if (!fast) return 0;
  check(exact.has_value());
  json::Writer w;
  write_node(w, *fast);
  check(w.view() == *exact);
  Arena kept_arena;
  const std::optional<Node> kept = read_tree_fast(text, kept_arena, true);
  check(kept.has_value());
  json::Writer kw;
  write_node(kw, *kept);
  check(kw.view() == *exact);
  return 0;
}
