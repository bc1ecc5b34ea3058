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

// --- Typing ------------------------------------------------------------------------------------
//
// A handler is typed either from its buffered content (the general way, which also produces
// every error) or straight from the reader (the direct way, for the common well-formed case with
// the tag first). The per-variant rules are written once, over a value handle: `const Json&` for
// buffered content, `Direct` for the reader standing on the value. The direct way gives up with
// `Fallback` on anything unusual, and the caller reads the handler again the general way.

struct Direct {
  json::Reader& r;
};

struct Fallback {};

std::string_view str_of(const Json& v) {
  if (!v.is_string()) json::fail_type(v, "a string");
  return v.string;
}

std::string_view str_of(Direct d) {
  if (d.r.peek_ws() != '"') throw Fallback{};
  return d.r.string_token();
}

bool is_str(const Json& v) {
  return v.is_string();
}
bool is_str(Direct d) {
  return d.r.peek_ws() == '"';
}

// Consumes a null where the handle stands on one.
bool take_null(const Json& v) {
  return v.is_null();
}
bool take_null(Direct d) {
  return d.r.take_null();
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

Json lit_of(const Json& v) {
  return to_generic(v);
}
Json lit_of(Direct d) {
  return json::read_json(d.r, json::Shape::Generic);
}

template <class Each>
void each_item(const Json& v, Each&& each) {
  if (!v.is_array()) json::fail_type(v, "a sequence");
  for (const Json& item : v.items) each(item);
}

template <class Each>
void each_item(Direct d, Each&& each) {
  if (d.r.peek_ws() != '[') throw Fallback{};
  d.r.container(']', [&] {
    json::Reader::Elements el(d.r);
    while (el.next()) each(d);
  });
}

template <class Each>
void each_entry(const Json& v, Each&& each) {
  if (!v.is_object()) json::fail_type(v, "a map");
  for (const auto& [key, value] : v.members) each(key, value);
}

template <class Each>
void each_entry(Direct d, Each&& each) {
  if (d.r.peek_ws() != '{') throw Fallback{};
  d.r.container('}', [&] {
    json::Reader::Members m(d.r);
    std::string_view key;
    while (m.next(key)) {
      d.r.colon();
      each(key, d);
    }
  });
}

// The fields of a buffered tagged value.
struct BufferedFields {
  const Body& body;
  const TaggedType& type;

  template <class TypeField>
  void operator()(std::span<const Field> fields, TypeField&& type_field) const {
    type_fields(body, type, fields, type_field);
  }
};

// The members after the tag, read straight from the reader: each known field at most once,
// unknown members read (they must be well-formed content) and dropped.
struct DirectFields {
  json::Reader& r;
  json::Reader::Members& members;
  const TaggedType& type;

  template <class TypeField>
  void operator()(std::span<const Field> fields, TypeField&& type_field) const {
    unsigned seen = 0;
    std::string_view key;
    while (members.next(key)) {
      if (key == type.tag_key) throw Fallback{};
      r.colon();
      std::size_t k = 0;
      while (k < fields.size() && fields[k].name != key) ++k;
      if (k == fields.size()) {
        (void)json::read_json(r, json::Shape::Buffered);
        continue;
      }
      if (seen & (1u << k)) throw Fallback{};
      seen |= 1u << k;
      type_field(k, Direct{r});
    }
    for (std::size_t k = 0; k < fields.size(); ++k)
      if (!(seen & (1u << k)) && !fields[k].optional) throw Fallback{};
  }
};

// A tagged value typed by type_variant(variant, fields), from buffered content or directly.
template <class TypeVariant>
auto typed(const Json& v, const TaggedType& t, TypeVariant&& type_variant) {
  Body b = body_of(v, t);
  BufferedFields fields{b, t};
  return type_variant(b.variant, fields);
}

template <class TypeVariant>
auto typed(Direct d, const TaggedType& t, TypeVariant&& type_variant, bool numbered = true) {
  json::Reader& r = d.r;
  if (r.peek_ws() != '{') throw Fallback{};
  decltype(type_variant(0, std::declval<DirectFields&>())) result;
  r.container('}', [&] {
    json::Reader::Members m(r);
    std::string_view key;
    if (!m.next(key) || key != t.tag_key) throw Fallback{};
    r.colon();
    int variant = -1;
    int c = r.peek_ws();
    if (c == '"') {
      variant = find_tag(r.string_token(), t);
    } else if (numbered && c >= '0' && c <= '9') {
      json::Number n = r.number_token();
      if (n.kind == json::Number::Kind::U64 && n.u < t.tags.size()) variant = static_cast<int>(n.u);
    }
    if (variant < 0) throw Fallback{};
    DirectFields fields{r, m, t};
    result = type_variant(variant, fields);
  });
  return result;
}

template <class H>
Ref type_ref(H h);
template <class H>
Expr type_expr(H h);
template <class H>
Action type_action(H h);

template <class H>
std::optional<Box<Expr>> opt_expr(H h) {
  if (take_null(h)) return std::nullopt;
  return Box<Expr>(type_expr(h));
}

template <class H>
Ref type_ref(H h) {
  return typed(h, kRef, [](int variant, const auto& fields) {
    Ref r;
    r.kind = static_cast<Ref::Kind>(variant);
    if (r.kind == Ref::Kind::This) {
      fields({}, [](std::size_t, auto) {});
    } else {
      static constexpr Field kId[] = {{"id", false}};
      fields(kId, [&](std::size_t, auto f) { r.id = str_of(f); });
    }
    return r;
  });
}

template <class H>
Expr type_expr(H h) {
  return typed(h, kExpr, [](int variant, const auto& fields) {
    Expr e;
    e.kind = static_cast<Expr::Kind>(variant);
    switch (e.kind) {
      case Expr::Kind::Lit: {
        static constexpr Field kFields[] = {{"value", false}};
        fields(kFields, [&](std::size_t, auto f) { e.value = Box<Json>(lit_of(f)); });
        break;
      }
      case Expr::Kind::Event:
        fields({}, [](std::size_t, auto) {});
        break;
      case Expr::Kind::Not: {
        static constexpr Field kFields[] = {{"of", false}};
        fields(kFields, [&](std::size_t, auto f) { e.of = type_expr(f); });
        break;
      }
      case Expr::Kind::Prop: {
        static constexpr Field kFields[] = {{"target", false}, {"name", false}};
        fields(kFields, [&](std::size_t k, auto f) {
          if (k == 0)
            e.target = type_ref(f);
          else
            e.name = str_of(f);
        });
        break;
      }
      case Expr::Kind::Field: {
        static constexpr Field kFields[] = {{"name", false}};
        fields(kFields, [&](std::size_t, auto f) { e.name = str_of(f); });
        break;
      }
      case Expr::Kind::Obj: {
        static constexpr Field kFields[] = {{"fields", false}};
        fields(kFields, [&](std::size_t, auto f) {
          e.fields.clear();
          each_entry(f, [&](std::string_view key, auto value) {
            e.fields.emplace_back(key, Box<Expr>(type_expr(value)));
          });
          settle_map(e.fields);
        });
        break;
      }
      case Expr::Kind::Concat: {
        static constexpr Field kFields[] = {{"parts", false}};
        fields(kFields, [&](std::size_t, auto f) {
          each_item(f, [&](auto part) { e.parts.push_back(type_expr(part)); });
        });
        break;
      }
    }
    return e;
  });
}

// An address is a string, or else an expression; what made the expression fail is not told.
template <class H>
EndpointUrl type_url(H h) {
  EndpointUrl url;
  if (is_str(h)) {
    url.fixed = str_of(h);
    return url;
  }
  try {
    url.computed = type_expr(h);
  } catch (const json::ReadError&) {
    json::fail_unplaced("data did not match any variant of untagged enum EndpointUrl");
  }
  url.kind = EndpointUrl::Kind::Computed;
  return url;
}

template <class F>
Action action_fields(int variant, const F& fields) {
  Action a;
  a.kind = static_cast<Action::Kind>(variant);
  switch (a.kind) {
    case Action::Kind::SetProp: {
      static constexpr Field kFields[] = {{"target", false}, {"prop", false}, {"value", false}};
      fields(kFields, [&](std::size_t k, auto f) {
        if (k == 0) a.target = type_ref(f);
        if (k == 1) a.prop = str_of(f);
        if (k == 2) a.value = type_expr(f);
      });
      break;
    }
    case Action::Kind::Toggle: {
      static constexpr Field kFields[] = {{"target", false}, {"prop", false}};
      fields(kFields, [&](std::size_t k, auto f) {
        if (k == 0) a.target = type_ref(f);
        if (k == 1) a.prop = str_of(f);
      });
      break;
    }
    case Action::Kind::SetField: {
      static constexpr Field kFields[] = {{"field", false}, {"value", false}};
      fields(kFields, [&](std::size_t k, auto f) {
        if (k == 0) a.field = str_of(f);
        if (k == 1) a.value = type_expr(f);
      });
      break;
    }
    case Action::Kind::ToggleField: {
      static constexpr Field kFields[] = {{"field", false}};
      fields(kFields, [&](std::size_t, auto f) { a.field = str_of(f); });
      break;
    }
    case Action::Kind::Sequence: {
      static constexpr Field kFields[] = {{"actions", false}};
      fields(kFields, [&](std::size_t, auto f) {
        each_item(f, [&](auto item) { a.actions.push_back(type_action(item)); });
      });
      break;
    }
    case Action::Kind::Emit: {
      static constexpr Field kFields[] = {{"event", false}, {"detail", true}};
      fields(kFields, [&](std::size_t k, auto f) {
        if (k == 0) a.event = str_of(f);
        if (k == 1) a.detail = opt_expr(f);
      });
      break;
    }
    case Action::Kind::SendPatch: {
      static constexpr Field kFields[] = {{"model", false}, {"field", false}, {"value", false}};
      fields(kFields, [&](std::size_t k, auto f) {
        if (k == 0) a.model = str_of(f);
        if (k == 1) a.field = str_of(f);
        if (k == 2) a.value = type_expr(f);
      });
      break;
    }
    case Action::Kind::If: {
      static constexpr Field kFields[] = {{"cond", false}, {"then", false}, {"else", true}};
      fields(kFields, [&](std::size_t k, auto f) {
        if (k == 0) a.cond = type_expr(f);
        if (k == 1) a.then_branch = type_action(f);
        if (k == 2) {
          a.else_branch.reset();
          if (!take_null(f)) a.else_branch = type_action(f);
        }
      });
      break;
    }
    case Action::Kind::CallEndpoint: {
      static constexpr Field kFields[] = {
          {"method", false}, {"url", false}, {"body", true}, {"result", true}};
      fields(kFields, [&](std::size_t k, auto f) {
        if (k == 0) a.method = str_of(f);
        if (k == 1) a.url = type_url(f);
        if (k == 2) a.body = opt_expr(f);
        if (k == 3) {
          a.result.reset();
          if (!take_null(f)) a.result = str_of(f);
        }
      });
      break;
    }
    case Action::Kind::NamedJs: {
      static constexpr Field kFields[] = {{"handler", false}};
      fields(kFields, [&](std::size_t, auto f) { a.handler = str_of(f); });
      break;
    }
  }
  return a;
}

template <class H>
Action type_action(H h) {
  return typed(h, kAction,
               [](int variant, const auto& fields) { return action_fields(variant, fields); });
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
      if (e.value)
        json::write_json(w, **e.value);
      else
        w.null();
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

namespace {

// The general way: the tag may stand anywhere, so the other members are buffered until the
// object has been read whole; the tag itself is checked as soon as it is met.
Action read_action_buffered(json::Reader& r) {
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
  BufferedFields fields{b, kAction};
  return action_fields(b.variant, fields);
}

}  // namespace

Action read_action(json::Reader& r) {
  // Most handlers are written with the tag first and nothing unusual: those are typed as they
  // are read. Anything else is read again the general way, which also reports every error.
  const json::Reader::Checkpoint start = r.checkpoint();
  try {
    return typed(
        Direct{r}, kAction,
        [](int variant, const DirectFields& fields) { return action_fields(variant, fields); },
        /*numbered=*/false);
  } catch (const Fallback&) {
  } catch (const json::ReadError&) {
  }
  r.rewind(start);
  return read_action_buffered(r);
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
