// The JSON-text entry points of the diff and patch core.
#include "src/json.hpp"

#include <optional>
#include <string_view>

#include "containers/arena.hpp"
#include "jsonio/writer.hpp"
#include "src/boundary/guard.hpp"
#include "src/diff/apply.hpp"
#include "src/diff/child_lists.hpp"
#include "src/diff/diff.hpp"
#include "src/diff/patch.hpp"
#include "src/node/node.hpp"
#include "src/node/tree_reader.hpp"

namespace vorlik {

namespace {

Node read_tree(json::Reader& reader) {
  return read_node(reader);
}
// The fast path reads nearly every tree; where it gives up, the exact reader reads the text again
// and describes the fault.
Node read_tree_text(std::string_view text, Arena& arena, bool keep_written) {
  if (std::optional<Node> root = read_tree_fast(text, arena, keep_written)) return *root;
  return read_document(text, arena, read_tree);
}
Patch read_whole_patch(json::Reader& reader) {
  return read_patch(reader);
}

}  // namespace

Outcome diff_json(std::string_view old_text, std::string_view new_text) noexcept {
  return guarded([&] {
    Arena arena(old_text.size() + new_text.size());
    Node old_root = read_tree_text(old_text, arena, false);
    Node new_root = read_tree_text(new_text, arena, false);
    json::Writer out;
    out.trust(old_text);
    out.trust(new_text);
    write_diff(out, old_root, new_root);
    return out.take();
  });
}

Outcome apply_json(std::string_view root_text, std::string_view patch_text) noexcept {
  return guarded([&] {
    Arena arena(root_text.size() + patch_text.size());
    Node root = read_tree_text(root_text, arena, true);
    Patch patch = read_document(patch_text, arena, read_whole_patch);
    try {
      apply_patch(root, std::move(patch), arena, ChildLists::unpredictable_seed(&arena));
    } catch (ApplyError& e) {
      throw Failure{std::move(e.message)};
    }
    json::Writer out;
    // The tree written back in normal form is about as long as it came in.
    out.reserve(root_text.size() + patch_text.size());
    out.trust(root_text);
    out.trust(patch_text);
    write_node(out, root);
    return out.take();
  });
}

}  // namespace vorlik
