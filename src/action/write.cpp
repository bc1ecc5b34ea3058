// Writing a handler: one object per tagged value, its tag the first member.
#include <cstddef>
#include <variant>

#include "src/action/action.hpp"
#include "src/action/tags.hpp"

namespace vorlik {

namespace handler {
namespace {

void write_tag(json::Writer& w, std::string_view key, std::string_view tag) {
  w.raw("{\"");
  w.raw(key);
  w.raw("\":\"");
  w.raw(tag);
  w.raw('"');
}

// The keys are plain names that need no escaping.
void member(json::Writer& w, std::string_view key) {
  w.raw(",\"");
  w.raw(key);
  w.raw("\":");
}

void write_ref(json::Writer& w, const Ref& r) {
  write_tag(w, kRef.tag_key, kRefTags[static_cast<std::size_t>(r.kind)]);
  if (r.kind == Ref::Kind::Id) {
    member(w, "id");
    w.string(r.id);
  }
  w.raw('}');
}

void write_expr(json::Writer& w, const Expr& e);

void write_opt_expr(json::Writer& w, const std::optional<Held<Expr>>& e) {
  if (e)
    write_expr(w, **e);
  else
    w.null();
}

// The members after the tag, one overload per variant.

void write_body(json::Writer& w, const expr::Lit& e) {
  member(w, "value");
  json::write_json(w, e.value);
}

void write_body(json::Writer&, const expr::Event&) {}

void write_body(json::Writer& w, const expr::Not& e) {
  member(w, "of");
  write_expr(w, *e.of);
}

void write_body(json::Writer& w, const expr::Prop& e) {
  member(w, "target");
  write_ref(w, e.target);
  member(w, "name");
  w.string(e.name);
}

void write_body(json::Writer& w, const expr::Field& e) {
  member(w, "name");
  w.string(e.name);
}

void write_body(json::Writer& w, const expr::Obj& e) {
  member(w, "fields");
  w.raw('{');
  for (std::size_t k = 0; k < e.fields.size(); ++k) {
    if (k) w.raw(',');
    w.key(e.fields[k].first);
    write_expr(w, e.fields[k].second);
  }
  w.raw('}');
}

void write_body(json::Writer& w, const expr::Concat& e) {
  member(w, "parts");
  w.raw('[');
  for (std::size_t k = 0; k < e.parts.size(); ++k) {
    if (k) w.raw(',');
    write_expr(w, e.parts[k]);
  }
  w.raw(']');
}

void write_expr(json::Writer& w, const Expr& e) {
  write_tag(w, kExpr.tag_key, kExprTags[e.v.index()]);
  std::visit([&](const auto& alternative) { write_body(w, alternative); }, e.v);
  w.raw('}');
}

void write_body(json::Writer& w, const action::SetProp& a) {
  member(w, "target");
  write_ref(w, a.target);
  member(w, "prop");
  w.string(a.prop);
  member(w, "value");
  write_expr(w, *a.value);
}

void write_body(json::Writer& w, const action::Toggle& a) {
  member(w, "target");
  write_ref(w, a.target);
  member(w, "prop");
  w.string(a.prop);
}

void write_body(json::Writer& w, const action::SetField& a) {
  member(w, "field");
  w.string(a.field);
  member(w, "value");
  write_expr(w, *a.value);
}

void write_body(json::Writer& w, const action::ToggleField& a) {
  member(w, "field");
  w.string(a.field);
}

void write_body(json::Writer& w, const action::Sequence& a) {
  member(w, "actions");
  w.raw('[');
  for (std::size_t k = 0; k < a.actions.size(); ++k) {
    if (k) w.raw(',');
    write_action(w, a.actions[k]);
  }
  w.raw(']');
}

void write_body(json::Writer& w, const action::Emit& a) {
  member(w, "event");
  w.string(a.event);
  member(w, "detail");
  write_opt_expr(w, a.detail);
}

void write_body(json::Writer& w, const action::SendPatch& a) {
  member(w, "model");
  w.string(a.model);
  member(w, "field");
  w.string(a.field);
  member(w, "value");
  write_expr(w, *a.value);
}

void write_body(json::Writer& w, const action::If& a) {
  member(w, "cond");
  write_expr(w, *a.cond);
  member(w, "then");
  write_action(w, *a.then_branch);
  member(w, "else");
  if (a.else_branch)
    write_action(w, **a.else_branch);
  else
    w.null();
}

void write_url(json::Writer& w, const EndpointUrl& url) {
  if (const auto* computed = std::get_if<Held<Expr>>(&url.v))
    write_expr(w, **computed);
  else
    w.string(std::get<std::string_view>(url.v));
}

void write_body(json::Writer& w, const action::CallEndpoint& a) {
  member(w, "method");
  w.string(a.method);
  member(w, "url");
  write_url(w, a.url);
  member(w, "body");
  write_opt_expr(w, a.body);
  member(w, "result");
  if (a.result)
    w.string(*a.result);
  else
    w.null();
}

void write_body(json::Writer& w, const action::NamedJs& a) {
  member(w, "handler");
  w.string(a.handler);
}

}  // namespace
}  // namespace handler

void write_action(json::Writer& w, const Action& a) {
  handler::write_tag(w, handler::kAction.tag_key, handler::kActionTags[a.v.index()]);
  std::visit([&](const auto& alternative) { handler::write_body(w, alternative); }, a.v);
  w.raw('}');
}

}  // namespace vorlik
