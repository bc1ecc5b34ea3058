// Reading a handler where it stands in the text.
#include <vector>

#include "jsonio/messages.hpp"
#include "src/action/action.hpp"
#include "src/action/typing.hpp"

namespace vorlik {

namespace handler {
namespace {

// The general way: the tag may stand anywhere, so the other members are buffered until the
// object has been read whole; the tag itself is checked as soon as it is met.
Action read_buffered(json::Reader& r) {
  Body b;
  std::vector<json::Member> members;
  std::vector<Json> items;
  auto read_tag = [&] {
    const int c = r.peek_ws();
    if (c == '"') {
      const std::string_view name = r.string_token();
      const int k = find_tag(name, kAction);
      if (k < 0) r.fail_here(unknown_variant(name, kAction));
      b.variant = k;
      return;
    }
    if (c == -1) r.fail_peek(json::msg::kEofValue);
    r.invalid_type(json::msg::kExpectedVariantIdentifier);
  };
  const int c = r.peek_ws();
  if (c == -1) r.fail_peek(json::msg::kEofValue);
  if (c == '{') {
    bool have_tag = false;
    r.container('}', [&] {
      json::Reader::Members m(r);
      std::string_view key;
      while (m.next(key)) {
        if (key == kAction.tag_key) {
          if (have_tag) json::fail_duplicate(kAction.tag_key);
          r.colon();
          read_tag();
          have_tag = true;
        } else {
          r.colon();
          members.emplace_back(key, json::read_json(r, json::Shape::Buffered));
        }
      }
      if (!have_tag) fail_missing_tag(kAction);
    });
    for (const auto& [key, value] : members) b.members.emplace_back(key, &value);
  } else if (c == '[') {
    b.array_form = true;
    r.container(']', [&] {
      json::Reader::Elements el(r);
      if (!el.next()) fail_missing_tag(kAction);
      read_tag();
      while (el.next()) items.push_back(json::read_json(r, json::Shape::Buffered));
    });
    for (const Json& item : items) b.items.push_back(&item);
  } else {
    r.invalid_type(json::msg::internally_tagged(kAction.type_name));
  }
  Action a;
  (void)type_alternative(b.variant, BufferedFields{b, kAction, r.arena()}, a.v);
  return a;
}

}  // namespace
}  // namespace handler

Action read_action(json::Reader& r) {
  // Most handlers are written with the tag first and nothing unusual: those are typed as they
  // are read. Anything else is read again the general way, which also reports every error.
  const json::Reader::Checkpoint start = r.checkpoint();
  try {
    Action a;
    const bool done = handler::typed(
        handler::Direct{r}, handler::kAction,
        [&](int variant, const handler::DirectFields& fields) {
          return handler::type_alternative(variant, fields, a.v);
        },
        /*numbered=*/false);
    if (done) return a;
  } catch (const json::ReadError&) {
  }
  r.rewind(start);
  return handler::read_buffered(r);
}

}  // namespace vorlik
