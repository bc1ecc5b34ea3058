// The JSON-text entry points of the diff and patch core.
#include "containers/arena.hpp"
#include "jsonio/writer.hpp"
#include "src/api.hpp"
#include "src/diff/apply.hpp"
#include "src/diff/diff.hpp"
#include "src/diff/patch.hpp"
#include "src/guard.hpp"
#include "src/node.hpp"

namespace vorlik {

namespace {

Node read_tree(json::Reader& reader) {
  return read_node(reader);
}
Patch read_whole_patch(json::Reader& reader) {
  return read_patch(reader);
}

}  // namespace

Outcome diff_json(std::string_view old_text, std::string_view new_text) noexcept {
  return guarded([&] {
    Arena arena;
    Node old_root = read_document(old_text, arena, read_tree);
    Node new_root = read_document(new_text, arena, read_tree);
    json::Writer out;
    write_diff(out, old_root, new_root);
    return out.take();
  });
}

Outcome apply_json(std::string_view root_text, std::string_view patch_text) noexcept {
  return guarded([&] {
    Arena arena;
    Node root = read_document(root_text, arena, read_tree);
    Patch patch = read_document(patch_text, arena, read_whole_patch);
    try {
      apply_patch(root, std::move(patch), arena);
    } catch (ApplyError& e) {
      throw Failure{std::move(e.message)};
    }
    json::Writer out;
    // The tree written back in normal form is about as long as it came in.
    out.buffer().reserve(root_text.size() + patch_text.size());
    write_node(out, root);
    return out.take();
  });
}

}  // namespace vorlik
