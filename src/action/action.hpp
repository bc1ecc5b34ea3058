// Event handlers as data: Action, with its expressions (Expr), component references (Ref) and
// call targets (EndpointUrl). Each tagged union is written as one object whose first member is
// the tag ("kind", "expr", "ref"); on input the tag may stand anywhere, so a handler is read
// whole into a buffered value first and typed from there.
//
// Handlers live in the arena of the call that reads them: nested expressions and actions are
// Held, lists are arena arrays, so a handler is trivially copyable and freed with the call.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <type_traits>
#include <variant>

#include "containers/arena_map.hpp"
#include "containers/held.hpp"
#include "jsonio/reader.hpp"
#include "jsonio/value.hpp"
#include "jsonio/writer.hpp"

namespace vorlik {

struct Ref {
  enum class Kind : std::uint8_t { This, Id };
  Kind kind = Kind::This;
  std::string_view id;  // Id

  friend bool operator==(const Ref&, const Ref&) = default;
};

struct Expr;

namespace expr {
struct Lit {
  json::Json value;
  friend bool operator==(const Lit&, const Lit&) = default;
};
struct Event {
  friend bool operator==(const Event&, const Event&) = default;
};
struct Not {
  Held<Expr> of;
  friend bool operator==(const Not&, const Not&) = default;
};
struct Prop {
  Ref target;
  std::string_view name;
  friend bool operator==(const Prop&, const Prop&) = default;
};
struct Field {
  std::string_view name;
  friend bool operator==(const Field&, const Field&) = default;
};
struct Obj {
  ArenaMap<Expr> fields;
  // Defined below Expr: comparing the entries needs Expr complete.
  friend bool operator==(const Obj& a, const Obj& b);
};
struct Concat {
  ArenaVec<Expr> parts;
  friend bool operator==(const Concat&, const Concat&) = default;
};
}  // namespace expr

// The alternatives stand in the order of their tags.
struct Expr {
  std::variant<expr::Lit, expr::Event, expr::Not, expr::Prop, expr::Field, expr::Obj, expr::Concat>
      v;
  friend bool operator==(const Expr&, const Expr&) = default;
};

namespace expr {
inline bool operator==(const Obj& a, const Obj& b) {
  return a.fields == b.fields;
}
}  // namespace expr

// A fixed address, or one computed by an expression.
struct EndpointUrl {
  std::variant<std::string_view, Held<Expr>> v;
  friend bool operator==(const EndpointUrl&, const EndpointUrl&) = default;
};

struct Action;

namespace action {
struct SetProp {
  Ref target;
  std::string_view prop;
  Held<Expr> value;
  friend bool operator==(const SetProp&, const SetProp&) = default;
};
struct Toggle {
  Ref target;
  std::string_view prop;
  friend bool operator==(const Toggle&, const Toggle&) = default;
};
struct SetField {
  std::string_view field;
  Held<Expr> value;
  friend bool operator==(const SetField&, const SetField&) = default;
};
struct ToggleField {
  std::string_view field;
  friend bool operator==(const ToggleField&, const ToggleField&) = default;
};
struct Sequence {
  ArenaVec<Action> actions;
  friend bool operator==(const Sequence&, const Sequence&) = default;
};
struct Emit {
  std::string_view event;
  std::optional<Held<Expr>> detail;
  friend bool operator==(const Emit&, const Emit&) = default;
};
struct SendPatch {
  std::string_view model;
  std::string_view field;
  Held<Expr> value;
  friend bool operator==(const SendPatch&, const SendPatch&) = default;
};
struct If {
  Held<Expr> cond;
  Held<Action> then_branch;
  std::optional<Held<Action>> else_branch;
  friend bool operator==(const If&, const If&) = default;
};
struct CallEndpoint {
  std::string_view method;
  EndpointUrl url;
  std::optional<Held<Expr>> body;
  std::optional<std::string_view> result;
  friend bool operator==(const CallEndpoint&, const CallEndpoint&) = default;
};
struct NamedJs {
  std::string_view handler;
  friend bool operator==(const NamedJs&, const NamedJs&) = default;
};
}  // namespace action

// The alternatives stand in the order of their tags.
struct Action {
  std::variant<action::SetProp, action::Toggle, action::SetField, action::ToggleField,
               action::Sequence, action::Emit, action::SendPatch, action::If, action::CallEndpoint,
               action::NamedJs>
      v;
  friend bool operator==(const Action&, const Action&) = default;
};

static_assert(std::is_trivially_copyable_v<Action> && std::is_trivially_destructible_v<Action>);

// Reads a handler where one stands in the text (an event of a node, the action of an op), laid
// out in the reader's arena.
Action read_action(json::Reader& reader);
void write_action(json::Writer& writer, const Action& action);

}  // namespace vorlik
