// The typing rules of handlers, written once over a value handle: `const Json&` for buffered
// content (buffered.hpp) or `Direct` for the reader standing on the value (direct.hpp). Each
// step types into `out` and returns false where the direct way gives up.
#pragma once

#include <cstddef>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

#include "containers/ordered.hpp"
#include "jsonio/error.hpp"
#include "jsonio/record.hpp"
#include "src/action/action.hpp"
#include "src/action/buffered.hpp"
#include "src/action/direct.hpp"
#include "src/action/tags.hpp"

namespace vorlik::handler {

using json::FieldSpec;
using json::nullable_field;

template <class H>
bool type_expr(H h, Expr& out);
template <class H>
bool type_action(H h, Action& out);

template <class H>
bool type_ref(H h, Ref& out) {
  return typed(h, kRef, [&](int variant, const auto& fields) {
    out.kind = static_cast<Ref::Kind>(variant);
    if (out.kind == Ref::Kind::This) return fields({}, [](std::size_t, auto) { return true; });
    static constexpr FieldSpec kFields[] = {{"id"}};
    return fields(kFields, [&](std::size_t, auto f) { return take_str(f, out.id); });
  });
}

// A nested expression or action, placed in the arena and typed there.
template <class T, class H>
bool type_held(H h, Held<T>& out) {
  out = Held<T>::make(arena_of(h));
  if constexpr (std::is_same_v<T, Expr>)
    return type_expr(h, *out);
  else
    return type_action(h, *out);
}

template <class H>
bool type_opt_expr(H h, std::optional<Held<Expr>>& out) {
  out.reset();
  if (take_null(h)) return true;
  return type_held(h, out.emplace());
}

// The variant `V` of a tagged union typed from its fields; one overload per variant.

template <class F>
bool type_variant(const F& fields, expr::Lit& e) {
  static constexpr FieldSpec kFields[] = {{"value"}};
  return fields(kFields, [&](std::size_t, auto f) { return take_lit(f, e.value); });
}

template <class F>
bool type_variant(const F& fields, expr::Event&) {
  return fields({}, [](std::size_t, auto) { return true; });
}

template <class F>
bool type_variant(const F& fields, expr::Not& e) {
  static constexpr FieldSpec kFields[] = {{"of"}};
  return fields(kFields, [&](std::size_t, auto f) { return type_held(f, e.of); });
}

template <class F>
bool type_variant(const F& fields, expr::Prop& e) {
  static constexpr FieldSpec kFields[] = {{"target"}, {"name"}};
  return fields(kFields, [&](std::size_t k, auto f) {
    return k == 0 ? type_ref(f, e.target) : take_str(f, e.name);
  });
}

template <class F>
bool type_variant(const F& fields, expr::Field& e) {
  static constexpr FieldSpec kFields[] = {{"name"}};
  return fields(kFields, [&](std::size_t, auto f) { return take_str(f, e.name); });
}

template <class F>
bool type_variant(const F& fields, expr::Obj& e) {
  static constexpr FieldSpec kFields[] = {{"fields"}};
  return fields(kFields, [&](std::size_t, auto f) {
    const bool ok = each_entry(f, [&](std::string_view key, auto value) {
      e.fields.push_back({key, Expr{}}, arena_of(value));
      return type_expr(value, e.fields.back().second);
    });
    settle_entries(e.fields);
    return ok;
  });
}

template <class F>
bool type_variant(const F& fields, expr::Concat& e) {
  static constexpr FieldSpec kFields[] = {{"parts"}};
  return fields(kFields, [&](std::size_t, auto f) {
    return each_item(f, [&](auto part) {
      e.parts.push_back(Expr{}, arena_of(part));
      return type_expr(part, e.parts.back());
    });
  });
}

template <class F>
bool type_variant(const F& fields, action::SetProp& a) {
  static constexpr FieldSpec kFields[] = {{"target"}, {"prop"}, {"value"}};
  return fields(kFields, [&](std::size_t k, auto f) {
    if (k == 0) return type_ref(f, a.target);
    if (k == 1) return take_str(f, a.prop);
    return type_held(f, a.value);
  });
}

template <class F>
bool type_variant(const F& fields, action::Toggle& a) {
  static constexpr FieldSpec kFields[] = {{"target"}, {"prop"}};
  return fields(kFields, [&](std::size_t k, auto f) {
    return k == 0 ? type_ref(f, a.target) : take_str(f, a.prop);
  });
}

template <class F>
bool type_variant(const F& fields, action::SetField& a) {
  static constexpr FieldSpec kFields[] = {{"field"}, {"value"}};
  return fields(kFields, [&](std::size_t k, auto f) {
    return k == 0 ? take_str(f, a.field) : type_held(f, a.value);
  });
}

template <class F>
bool type_variant(const F& fields, action::ToggleField& a) {
  static constexpr FieldSpec kFields[] = {{"field"}};
  return fields(kFields, [&](std::size_t, auto f) { return take_str(f, a.field); });
}

template <class F>
bool type_variant(const F& fields, action::Sequence& a) {
  static constexpr FieldSpec kFields[] = {{"actions"}};
  return fields(kFields, [&](std::size_t, auto f) {
    return each_item(f, [&](auto item) {
      a.actions.push_back(Action{}, arena_of(item));
      return type_action(item, a.actions.back());
    });
  });
}

template <class F>
bool type_variant(const F& fields, action::Emit& a) {
  static constexpr FieldSpec kFields[] = {{"event"}, nullable_field("detail")};
  return fields(kFields, [&](std::size_t k, auto f) {
    return k == 0 ? take_str(f, a.event) : type_opt_expr(f, a.detail);
  });
}

template <class F>
bool type_variant(const F& fields, action::SendPatch& a) {
  static constexpr FieldSpec kFields[] = {{"model"}, {"field"}, {"value"}};
  return fields(kFields, [&](std::size_t k, auto f) {
    if (k == 0) return take_str(f, a.model);
    if (k == 1) return take_str(f, a.field);
    return type_held(f, a.value);
  });
}

template <class F>
bool type_variant(const F& fields, action::If& a) {
  static constexpr FieldSpec kFields[] = {{"cond"}, {"then"}, nullable_field("else")};
  return fields(kFields, [&](std::size_t k, auto f) {
    if (k == 0) return type_held(f, a.cond);
    if (k == 1) return type_held(f, a.then_branch);
    a.else_branch.reset();
    return take_null(f) || type_held(f, a.else_branch.emplace());
  });
}

// An address is a string, or else an expression; what made the expression fail is not told.
template <class H>
bool type_url(H h, EndpointUrl& out) {
  if (is_str(h)) return take_str(h, out.v.template emplace<std::string_view>());
  try {
    return type_held(h, out.v.template emplace<Held<Expr>>());
  } catch (const json::ReadError&) {
    json::fail_unplaced(json::msg::no_untagged_variant("EndpointUrl"));
  }
}

template <class F>
bool type_variant(const F& fields, action::CallEndpoint& a) {
  static constexpr FieldSpec kFields[] = {
      {"method"}, {"url"}, nullable_field("body"), nullable_field("result")};
  return fields(kFields, [&](std::size_t k, auto f) {
    if (k == 0) return take_str(f, a.method);
    if (k == 1) return type_url(f, a.url);
    if (k == 2) return type_opt_expr(f, a.body);
    a.result.reset();
    return take_null(f) || take_str(f, a.result.emplace());
  });
}

template <class F>
bool type_variant(const F& fields, action::NamedJs& a) {
  static constexpr FieldSpec kFields[] = {{"handler"}};
  return fields(kFields, [&](std::size_t, auto f) { return take_str(f, a.handler); });
}

// Emplaces alternative `variant` of `out` and types it from `fields`.
template <class Variant, class F, std::size_t... I>
bool type_alternative(int variant, const F& fields, Variant& out, std::index_sequence<I...>) {
  bool ok = false;
  (void)((variant == static_cast<int>(I) &&
          (ok = type_variant(fields, out.template emplace<I>()), true)) ||
         ...);
  return ok;
}

template <class Variant, class F>
bool type_alternative(int variant, const F& fields, Variant& out) {
  return type_alternative(variant, fields, out,
                          std::make_index_sequence<std::variant_size_v<Variant>>());
}

template <class H>
bool type_expr(H h, Expr& out) {
  return typed(h, kExpr, [&](int variant, const auto& fields) {
    return type_alternative(variant, fields, out.v);
  });
}

template <class H>
bool type_action(H h, Action& out) {
  return typed(h, kAction, [&](int variant, const auto& fields) {
    return type_alternative(variant, fields, out.v);
  });
}

}  // namespace vorlik::handler
