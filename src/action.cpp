#include "src/action.hpp"

#include <array>
#include <span>
#include <string>

#include "jsonio/variant.hpp"

namespace vorlik {

namespace {

using json::Json;

struct TaggedType {
  std::string_view tag_key;
  std::string_view type_name;
  std::span<const std::string_view> tags;
  std::span<const std::string_view> names;
};

constexpr std::array<std::string_view, 2> kRefTags = {"this", "id"};
constexpr std::array<std::string_view, 2> kRefNames = {"This", "Id"};
constexpr std::array<std::string_view, 7> kExprTags = {"lit",   "event", "not",   "prop",
                                                       "field", "obj",   "concat"};
constexpr std::array<std::string_view, 7> kExprNames = {"Lit",   "Event", "Not",   "Prop",
                                                        "Field", "Obj",   "Concat"};
constexpr std::array<std::string_view, 10> kActionTags = {
    "set", "toggle", "set-field", "toggle-field", "seq", "emit", "patch", "if", "call", "js"};
constexpr std::array<std::string_view, 10> kActionNames = {
    "SetProp", "Toggle",    "SetField", "ToggleField",  "Sequence",
    "Emit",    "SendPatch", "If",       "CallEndpoint", "NamedJs"};

constexpr TaggedType kRef{"ref", "Ref", kRefTags, kRefNames};
constexpr TaggedType kExpr{"expr", "Expr", kExprTags, kExprNames};
constexpr TaggedType kAction{"kind", "Action", kActionTags, kActionNames};

std::string quoted(std::string_view s) {
  std::string out = "`";
  out += s;
  out += '`';
  return out;
}

std::string unknown_variant(std::string_view given, const TaggedType& t) {
  return json::unknown_variant(given, t.tags);
}

std::string elements(std::size_t n) {
  return std::to_string(n) + (n == 1 ? " element" : " elements");
}

int find_tag(std::string_view name, const TaggedType& t) {
  return json::variant_index(name, t.tags);
}

// A tagged value with its tag taken out: the remaining members (object form) or the remaining
// elements (array form), pointing into buffered content that outlives the body.
struct Body {
  int variant = 0;
  bool array_form = false;
  std::vector<std::pair<std::string_view, const Json*>> members;
  std::vector<const Json*> items;
};

// The tag of a value nested in buffered content: a name, or the variant's number.
int variant_from_content(const Json& v, const TaggedType& t) {
  if (v.is_string()) {
    int k = find_tag(v.string, t);
    if (k < 0) json::fail_unplaced(unknown_variant(v.string, t));
    return k;
  }
  if (v.type == Json::Type::Number && v.number.kind == json::Number::Kind::U64) {
    if (v.number.u < t.tags.size()) return static_cast<int>(v.number.u);
    json::fail_unplaced("invalid value: integer `" + std::to_string(v.number.u) +
                        "`, expected variant index 0 <= i < " + std::to_string(t.tags.size()));
  }
  json::fail_type(v, "variant identifier");
}

[[noreturn]] void missing_tag(const TaggedType& t) {
  json::fail_unplaced("missing field " + quoted(t.tag_key));
}

Body body_of(const Json& v, const TaggedType& t) {
  Body b;
  if (v.is_object()) {
    bool have_tag = false;
    for (const auto& [key, value] : v.members) {
      if (key == t.tag_key) {
        if (have_tag) json::fail_unplaced("duplicate field " + quoted(t.tag_key));
        b.variant = variant_from_content(value, t);
        have_tag = true;
      } else {
        b.members.emplace_back(key, &value);
      }
    }
    if (!have_tag) missing_tag(t);
  } else if (v.is_array()) {
    b.array_form = true;
    if (v.items.empty()) missing_tag(t);
    b.variant = variant_from_content(v.items[0], t);
    for (std::size_t k = 1; k < v.items.size(); ++k) b.items.push_back(&v.items[k]);
  } else {
    json::fail_type(v, std::string("internally tagged enum ") + std::string(t.type_name));
  }
  return b;
}

struct Field {
  std::string_view name;
  bool optional;
};

// Types the fields of a variant from its body, in the order the members stand; each field is
// typed by type_field(index, value).
template <class TypeField>
void type_fields(const Body& b, const TaggedType& t, std::span<const Field> fields,
                 TypeField&& type_field) {
  if (b.array_form) {
    for (std::size_t k = 0; k < fields.size(); ++k) {
      if (k >= b.items.size()) {
        json::fail_unplaced("invalid length " + std::to_string(k) + ", expected struct variant " +
                            std::string(t.type_name) +
                            "::" + std::string(t.names[static_cast<std::size_t>(b.variant)]) +
                            " with " + elements(fields.size()));
      }
      type_field(k, *b.items[k]);
    }
    if (b.items.size() > fields.size()) {
      json::fail_unplaced("invalid length " + std::to_string(b.items.size()) + ", expected " +
                          elements(fields.size()) + " in sequence");
    }
    return;
  }
  unsigned seen = 0;
  for (const auto& [key, value] : b.members) {
    std::size_t k = 0;
    while (k < fields.size() && fields[k].name != key) ++k;
    if (k == fields.size()) continue;  // members the variant does not know are dropped
    if (seen & (1u << k)) json::fail_unplaced("duplicate field " + quoted(key));
    seen |= 1u << k;
    type_field(k, *value);
  }
  for (std::size_t k = 0; k < fields.size(); ++k) {
    if (!(seen & (1u << k)) && !fields[k].optional)
      json::fail_unplaced("missing field " + quoted(fields[k].name));
  }
}

// --- Typing from buffered content ------------------------------------------------------------

std::string_view str_of(const Json& v) {
  if (!v.is_string()) json::fail_type(v, "a string");
  return v.string;
}

Json to_generic(const Json& v) {
  Json out;
  out.type = v.type;
  out.boolean = v.boolean;
  out.number = v.number;
  out.string = v.string;
  out.items.reserve(v.items.size());
  for (const Json& item : v.items) out.items.push_back(to_generic(item));
  out.members.reserve(v.members.size());
  for (const auto& [key, value] : v.members) out.members.emplace_back(key, to_generic(value));
  if (v.is_object()) json::make_map(out.members);
  return out;
}

Ref type_ref(const Json& v);
Expr type_expr(const Json& v);
Action type_action(const Json& v);
Action type_action_body(const Body& b);

std::optional<Box<Expr>> opt_expr(const Json& v) {
  if (v.is_null()) return std::nullopt;
  return Box<Expr>(type_expr(v));
}

Ref type_ref(const Json& v) {
  Body b = body_of(v, kRef);
  Ref r;
  r.kind = static_cast<Ref::Kind>(b.variant);
  if (r.kind == Ref::Kind::This) {
    type_fields(b, kRef, {}, [](std::size_t, const Json&) {});
  } else {
    static constexpr Field kId[] = {{"id", false}};
    type_fields(b, kRef, kId, [&](std::size_t, const Json& f) { r.id = str_of(f); });
  }
  return r;
}

Expr type_expr(const Json& v) {
  Body b = body_of(v, kExpr);
  Expr e;
  e.kind = static_cast<Expr::Kind>(b.variant);
  switch (e.kind) {
    case Expr::Kind::Lit: {
      static constexpr Field kFields[] = {{"value", false}};
      type_fields(b, kExpr, kFields, [&](std::size_t, const Json& f) { e.value = to_generic(f); });
      break;
    }
    case Expr::Kind::Event:
      type_fields(b, kExpr, {}, [](std::size_t, const Json&) {});
      break;
    case Expr::Kind::Not: {
      static constexpr Field kFields[] = {{"of", false}};
      type_fields(b, kExpr, kFields, [&](std::size_t, const Json& f) { e.of = type_expr(f); });
      break;
    }
    case Expr::Kind::Prop: {
      static constexpr Field kFields[] = {{"target", false}, {"name", false}};
      type_fields(b, kExpr, kFields, [&](std::size_t k, const Json& f) {
        if (k == 0)
          e.target = type_ref(f);
        else
          e.name = str_of(f);
      });
      break;
    }
    case Expr::Kind::Field: {
      static constexpr Field kFields[] = {{"name", false}};
      type_fields(b, kExpr, kFields, [&](std::size_t, const Json& f) { e.name = str_of(f); });
      break;
    }
    case Expr::Kind::Obj: {
      static constexpr Field kFields[] = {{"fields", false}};
      type_fields(b, kExpr, kFields, [&](std::size_t, const Json& f) {
        if (!f.is_object()) json::fail_type(f, "a map");
        e.fields.clear();
        for (const auto& [key, value] : f.members)
          e.fields.emplace_back(key, Box<Expr>(type_expr(value)));
        settle_map(e.fields);
      });
      break;
    }
    case Expr::Kind::Concat: {
      static constexpr Field kFields[] = {{"parts", false}};
      type_fields(b, kExpr, kFields, [&](std::size_t, const Json& f) {
        if (!f.is_array()) json::fail_type(f, "a sequence");
        for (const Json& part : f.items) e.parts.push_back(type_expr(part));
      });
      break;
    }
  }
  return e;
}

EndpointUrl type_url(const Json& v) {
  EndpointUrl url;
  if (v.is_string()) {
    url.fixed = v.string;
    return url;
  }
  try {
    url.computed = type_expr(v);
  } catch (const json::ReadError&) {
    json::fail_unplaced("data did not match any variant of untagged enum EndpointUrl");
  }
  url.kind = EndpointUrl::Kind::Computed;
  return url;
}

Action type_action(const Json& v) {
  return type_action_body(body_of(v, kAction));
}

Action type_action_body(const Body& b) {
  Action a;
  a.kind = static_cast<Action::Kind>(b.variant);
  auto type = [&](std::span<const Field> fields, auto&& each) {
    type_fields(b, kAction, fields, each);
  };
  switch (a.kind) {
    case Action::Kind::SetProp: {
      static constexpr Field kFields[] = {{"target", false}, {"prop", false}, {"value", false}};
      type(kFields, [&](std::size_t k, const Json& f) {
        if (k == 0) a.target = type_ref(f);
        if (k == 1) a.prop = str_of(f);
        if (k == 2) a.value = type_expr(f);
      });
      break;
    }
    case Action::Kind::Toggle: {
      static constexpr Field kFields[] = {{"target", false}, {"prop", false}};
      type(kFields, [&](std::size_t k, const Json& f) {
        if (k == 0) a.target = type_ref(f);
        if (k == 1) a.prop = str_of(f);
      });
      break;
    }
    case Action::Kind::SetField: {
      static constexpr Field kFields[] = {{"field", false}, {"value", false}};
      type(kFields, [&](std::size_t k, const Json& f) {
        if (k == 0) a.field = str_of(f);
        if (k == 1) a.value = type_expr(f);
      });
      break;
    }
    case Action::Kind::ToggleField: {
      static constexpr Field kFields[] = {{"field", false}};
      type(kFields, [&](std::size_t, const Json& f) { a.field = str_of(f); });
      break;
    }
    case Action::Kind::Sequence: {
      static constexpr Field kFields[] = {{"actions", false}};
      type(kFields, [&](std::size_t, const Json& f) {
        if (!f.is_array()) json::fail_type(f, "a sequence");
        for (const Json& item : f.items) a.actions.push_back(type_action(item));
      });
      break;
    }
    case Action::Kind::Emit: {
      static constexpr Field kFields[] = {{"event", false}, {"detail", true}};
      type(kFields, [&](std::size_t k, const Json& f) {
        if (k == 0) a.event = str_of(f);
        if (k == 1) a.detail = opt_expr(f);
      });
      break;
    }
    case Action::Kind::SendPatch: {
      static constexpr Field kFields[] = {{"model", false}, {"field", false}, {"value", false}};
      type(kFields, [&](std::size_t k, const Json& f) {
        if (k == 0) a.model = str_of(f);
        if (k == 1) a.field = str_of(f);
        if (k == 2) a.value = type_expr(f);
      });
      break;
    }
    case Action::Kind::If: {
      static constexpr Field kFields[] = {{"cond", false}, {"then", false}, {"else", true}};
      type(kFields, [&](std::size_t k, const Json& f) {
        if (k == 0) a.cond = type_expr(f);
        if (k == 1) a.then_branch = type_action(f);
        if (k == 2) {
          a.else_branch.reset();
          if (!f.is_null()) a.else_branch = type_action(f);
        }
      });
      break;
    }
    case Action::Kind::CallEndpoint: {
      static constexpr Field kFields[] = {
          {"method", false}, {"url", false}, {"body", true}, {"result", true}};
      type(kFields, [&](std::size_t k, const Json& f) {
        if (k == 0) a.method = str_of(f);
        if (k == 1) a.url = type_url(f);
        if (k == 2) a.body = opt_expr(f);
        if (k == 3) {
          a.result.reset();
          if (!f.is_null()) a.result = str_of(f);
        }
      });
      break;
    }
    case Action::Kind::NamedJs: {
      static constexpr Field kFields[] = {{"handler", false}};
      type(kFields, [&](std::size_t, const Json& f) { a.handler = str_of(f); });
      break;
    }
  }
  return a;
}

// --- Writing -------------------------------------------------------------------------------------

void write_tag(json::Writer& w, std::string_view key, std::string_view tag) {
  w.raw("{\"");
  w.raw(key);
  w.raw("\":\"");
  w.raw(tag);
  w.raw('"');
}

void write_ref(json::Writer& w, const Ref& r) {
  write_tag(w, "ref", kRefTags[static_cast<std::size_t>(r.kind)]);
  if (r.kind == Ref::Kind::Id) {
    w.raw(",\"id\":");
    w.string(r.id);
  }
  w.raw('}');
}

void write_expr(json::Writer& w, const Expr& e);

void write_opt_expr(json::Writer& w, const std::optional<Box<Expr>>& e) {
  if (e)
    write_expr(w, **e);
  else
    w.null();
}

void write_expr(json::Writer& w, const Expr& e) {
  write_tag(w, "expr", kExprTags[static_cast<std::size_t>(e.kind)]);
  switch (e.kind) {
    case Expr::Kind::Lit:
      w.raw(",\"value\":");
      json::write_json(w, e.value);
      break;
    case Expr::Kind::Event:
      break;
    case Expr::Kind::Not:
      w.raw(",\"of\":");
      write_opt_expr(w, e.of);
      break;
    case Expr::Kind::Prop:
      w.raw(",\"target\":");
      write_ref(w, e.target);
      w.raw(",\"name\":");
      w.string(e.name);
      break;
    case Expr::Kind::Field:
      w.raw(",\"name\":");
      w.string(e.name);
      break;
    case Expr::Kind::Obj:
      w.raw(",\"fields\":{");
      for (std::size_t k = 0; k < e.fields.size(); ++k) {
        if (k) w.raw(',');
        w.key(e.fields[k].first);
        write_expr(w, *e.fields[k].second);
      }
      w.raw('}');
      break;
    case Expr::Kind::Concat:
      w.raw(",\"parts\":[");
      for (std::size_t k = 0; k < e.parts.size(); ++k) {
        if (k) w.raw(',');
        write_expr(w, e.parts[k]);
      }
      w.raw(']');
      break;
  }
  w.raw('}');
}

void member(json::Writer& w, std::string_view key) {
  w.raw(',');
  w.key(key);
}

}  // namespace

Action read_action(json::Reader& r) {
  // The tag may stand anywhere, so the other members are buffered until the object has been
  // read whole; the tag itself is checked as soon as it is met.
  Json storage;
  Body b;
  auto read_tag = [&] {
    int c = r.peek_ws();
    if (c == '"') {
      std::string_view name = r.string_token();
      int k = find_tag(name, kAction);
      if (k < 0) r.fail_here(unknown_variant(name, kAction));
      b.variant = k;
      return;
    }
    if (c == -1) r.fail_peek("EOF while parsing a value");
    r.invalid_type("variant identifier");
  };
  int c = r.peek_ws();
  if (c == -1) r.fail_peek("EOF while parsing a value");
  if (c == '{') {
    bool have_tag = false;
    r.container('}', [&] {
      json::Reader::Members m(r);
      std::string_view key;
      while (m.next(key)) {
        if (key == kAction.tag_key) {
          if (have_tag) json::fail_unplaced("duplicate field `kind`");
          r.colon();
          read_tag();
          have_tag = true;
        } else {
          r.colon();
          storage.members.emplace_back(key, json::read_json(r, json::Shape::Buffered));
        }
      }
      if (!have_tag) missing_tag(kAction);
    });
    for (const auto& [key, value] : storage.members) b.members.emplace_back(key, &value);
  } else if (c == '[') {
    b.array_form = true;
    r.container(']', [&] {
      json::Reader::Elements el(r);
      if (!el.next()) missing_tag(kAction);
      read_tag();
      while (el.next()) storage.items.push_back(json::read_json(r, json::Shape::Buffered));
    });
    for (const Json& item : storage.items) b.items.push_back(&item);
  } else {
    r.invalid_type("internally tagged enum Action");
  }
  return type_action_body(b);
}

void write_action(json::Writer& w, const Action& a) {
  write_tag(w, "kind", kActionTags[static_cast<std::size_t>(a.kind)]);
  switch (a.kind) {
    case Action::Kind::SetProp:
      member(w, "target");
      write_ref(w, a.target);
      member(w, "prop");
      w.string(a.prop);
      member(w, "value");
      write_opt_expr(w, a.value);
      break;
    case Action::Kind::Toggle:
      member(w, "target");
      write_ref(w, a.target);
      member(w, "prop");
      w.string(a.prop);
      break;
    case Action::Kind::SetField:
      member(w, "field");
      w.string(a.field);
      member(w, "value");
      write_opt_expr(w, a.value);
      break;
    case Action::Kind::ToggleField:
      member(w, "field");
      w.string(a.field);
      break;
    case Action::Kind::Sequence:
      w.raw(",\"actions\":[");
      for (std::size_t k = 0; k < a.actions.size(); ++k) {
        if (k) w.raw(',');
        write_action(w, a.actions[k]);
      }
      w.raw(']');
      break;
    case Action::Kind::Emit:
      member(w, "event");
      w.string(a.event);
      member(w, "detail");
      write_opt_expr(w, a.detail);
      break;
    case Action::Kind::SendPatch:
      member(w, "model");
      w.string(a.model);
      member(w, "field");
      w.string(a.field);
      member(w, "value");
      write_opt_expr(w, a.value);
      break;
    case Action::Kind::If:
      member(w, "cond");
      write_opt_expr(w, a.cond);
      member(w, "then");
      if (a.then_branch)
        write_action(w, **a.then_branch);
      else
        w.null();
      member(w, "else");
      if (a.else_branch)
        write_action(w, **a.else_branch);
      else
        w.null();
      break;
    case Action::Kind::CallEndpoint:
      member(w, "method");
      w.string(a.method);
      member(w, "url");
      if (a.url && a.url->kind == EndpointUrl::Kind::Computed)
        write_opt_expr(w, a.url->computed);
      else
        w.string(a.url ? a.url->fixed : std::string_view());
      member(w, "body");
      write_opt_expr(w, a.body);
      member(w, "result");
      if (a.result)
        w.string(*a.result);
      else
        w.null();
      break;
    case Action::Kind::NamedJs:
      member(w, "handler");
      w.string(a.handler);
      break;
  }
  w.raw('}');
}

bool operator==(const Expr& a, const Expr& b) {
  return a.kind == b.kind && a.value == b.value && a.of == b.of && a.target == b.target &&
         a.name == b.name && a.fields == b.fields && a.parts == b.parts;
}

bool operator==(const EndpointUrl& a, const EndpointUrl& b) {
  return a.kind == b.kind && a.fixed == b.fixed && a.computed == b.computed;
}

bool operator==(const Action& a, const Action& b) {
  return a.kind == b.kind && a.target == b.target && a.prop == b.prop && a.value == b.value &&
         a.field == b.field && a.actions == b.actions && a.event == b.event &&
         a.detail == b.detail && a.model == b.model && a.cond == b.cond &&
         a.then_branch == b.then_branch && a.else_branch == b.else_branch && a.method == b.method &&
         a.url == b.url && a.body == b.body && a.result == b.result && a.handler == b.handler;
}

}  // namespace vorlik
