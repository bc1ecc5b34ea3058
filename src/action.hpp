// Event handlers as data: Action, with its expressions (Expr), component references (Ref) and
// call targets (EndpointUrl). Each tagged union is written as one object whose first member is
// the tag ("kind", "expr", "ref"); on input the tag may stand anywhere, so a handler is read
// whole into a buffered value first and typed from there.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "containers/box.hpp"
#include "containers/flat_map.hpp"
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

struct Expr {
  enum class Kind : std::uint8_t { Lit, Event, Not, Prop, Field, Obj, Concat };
  Kind kind = Kind::Event;
  std::optional<Box<json::Json>> value;  // Lit (always present there; boxed to keep Expr small)
  std::optional<Box<Expr>> of;           // Not (always present there)
  Ref target;                            // Prop
  std::string_view name;                 // Prop, Field
  FlatMap<Box<Expr>> fields;  // Obj (boxed: a map of Expr may not be declared inside Expr)
  std::vector<Expr> parts;    // Concat

  friend bool operator==(const Expr&, const Expr&);
};

struct EndpointUrl {
  enum class Kind : std::uint8_t { Fixed, Computed };
  Kind kind = Kind::Fixed;
  std::string_view fixed;
  std::optional<Box<Expr>> computed;

  friend bool operator==(const EndpointUrl&, const EndpointUrl&);
};

struct Action {
  enum class Kind : std::uint8_t {
    SetProp,
    Toggle,
    SetField,
    ToggleField,
    Sequence,
    Emit,
    SendPatch,
    If,
    CallEndpoint,
    NamedJs
  };
  Kind kind = Kind::NamedJs;
  Ref target;                              // SetProp, Toggle
  std::string_view prop;                   // SetProp, Toggle
  std::optional<Box<Expr>> value;          // SetProp, SetField, SendPatch (always present there)
  std::string_view field;                  // SetField, ToggleField, SendPatch
  std::vector<Action> actions;             // Sequence
  std::string_view event;                  // Emit
  std::optional<Box<Expr>> detail;         // Emit (optional)
  std::string_view model;                  // SendPatch
  std::optional<Box<Expr>> cond;           // If (always present there)
  std::optional<Box<Action>> then_branch;  // If (always present there)
  std::optional<Box<Action>> else_branch;  // If (optional)
  std::string_view method;                 // CallEndpoint
  std::optional<EndpointUrl> url;          // CallEndpoint (always present there)
  std::optional<Box<Expr>> body;           // CallEndpoint (optional)
  std::optional<std::string_view> result;  // CallEndpoint (optional)
  std::string_view handler;                // NamedJs

  friend bool operator==(const Action&, const Action&);
};

// Reads a handler where one stands in the text (an event of a node, the action of an op).
Action read_action(json::Reader& reader);
void write_action(json::Writer& writer, const Action& action);

}  // namespace vorlik
