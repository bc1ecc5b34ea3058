"""The builder's objects: nodes, the submodel marker, event handlers, bindings, and the types of
the plain Python values they hold.

Nodes and handlers hold what they are given; nothing is checked or converted until the tree is
written (`Node.to_json`), which refuses what the tree form cannot hold and names its place in
the tree. The lists and dicts given to nodes and handlers are kept, not copied.
"""

from __future__ import annotations

from collections.abc import Iterable, Mapping, Sequence
from dataclasses import dataclass
from typing import Any, Literal, NamedTuple, TypeAlias, Union

#: A property value: None is `Null`, bool `Bool`, int `Int`, float `Float`, str `Str`, a list
#: or tuple `List`, a dict with str keys `Map`, and `Submodel(n)` a reference to another model.
Value: TypeAlias = Union[None, bool, int, float, str, "Submodel", Sequence["Value"], Mapping[str, "Value"]]

#: A plain JSON value, as a literal expression or a binding's `compute` holds it; integers keep
#: their kind apart from floats (1 and 1.0 differ).
Json: TypeAlias = None | bool | int | float | str | Sequence["Json"] | Mapping[str, "Json"]

BindMode: TypeAlias = Literal["one-way", "two-way"]


class Submodel(NamedTuple):
    """A property value that refers to another model by its number (0 to 2**64-1)."""

    model: int


class Written:
    """Objects that are equal when they are written as the same text. They hold what they are
    given, as lists and dicts do, and like those they are not hashable."""

    __slots__ = ()

    def to_json(self) -> str:
        """The object as compact JSON text, in the form vorlik writes it."""
        from .write import to_json

        return to_json(self)

    def __eq__(self, other: object) -> bool:
        if type(other) is not type(self):
            return NotImplemented
        return self.to_json() == other.to_json()

    __hash__ = None  # type: ignore[assignment]


# ---- references


@dataclass(slots=True, eq=False)
class This(Written):
    """The component that owns the handler."""


@dataclass(slots=True, eq=False)
class Id(Written):
    """The component with this identifier."""

    id: str


Ref: TypeAlias = This | Id


# ---- expressions


@dataclass(slots=True, eq=False)
class Lit(Written):
    """A constant: any JSON value, None included."""

    value: Json


@dataclass(slots=True, eq=False)
class Event(Written):
    """The event that triggered the handler."""


@dataclass(slots=True, eq=False)
class Not(Written):
    """The logical negation of an expression."""

    of: Expr


@dataclass(slots=True, eq=False)
class Prop(Written):
    """A property of a component."""

    target: Ref
    name: str


@dataclass(slots=True, eq=False)
class Field(Written):
    """A named field of the client's data."""

    name: str


@dataclass(slots=True, eq=False)
class Obj(Written):
    """An object built from named expressions."""

    fields: Mapping[str, Expr]


@dataclass(slots=True, eq=False)
class Concat(Written):
    """The concatenation of the parts."""

    parts: Sequence[Expr]


Expr: TypeAlias = Lit | Event | Not | Prop | Field | Obj | Concat


# ---- actions


@dataclass(slots=True, eq=False)
class SetProp(Written):
    """Set a property of a component."""

    target: Ref
    prop: str
    value: Expr


@dataclass(slots=True, eq=False)
class Toggle(Written):
    """Flip a boolean property of a component."""

    target: Ref
    prop: str


@dataclass(slots=True, eq=False)
class SetField(Written):
    """Set a field of the client's data."""

    field: str
    value: Expr


@dataclass(slots=True, eq=False)
class ToggleField(Written):
    """Flip a boolean field of the client's data."""

    field: str


@dataclass(slots=True, eq=False)
class Seq(Written):
    """Run the actions in order."""

    actions: Sequence[Action]


@dataclass(slots=True, eq=False)
class Emit(Written):
    """Raise a named event, with an optional detail."""

    event: str
    detail: Expr | None = None


@dataclass(slots=True, eq=False)
class SendPatch(Written):
    """Send a patch that gives field `field` of model `model` a new value."""

    model: str
    field: str
    value: Expr


@dataclass(slots=True, eq=False)
class If(Written):
    """Choose a branch; without `else_` nothing happens when the condition is false."""

    cond: Expr
    then: Action
    else_: Action | None = None


@dataclass(slots=True, eq=False)
class CallEndpoint(Written):
    """Call an endpoint: `url` is the address itself (a str) or an expression that computes it."""

    method: str
    url: str | Expr
    body: Expr | None = None
    result: str | None = None


@dataclass(slots=True, eq=False)
class NamedJs(Written):
    """Run the client-side script handler of this name."""

    handler: str


Action: TypeAlias = SetProp | Toggle | SetField | ToggleField | Seq | Emit | SendPatch | If | CallEndpoint | NamedJs


@dataclass(slots=True, eq=False)
class Binding(Written):
    """Binds a property to a field of the client's data, or to a value computed from it."""

    mode: BindMode
    field: str | None = None
    compute: Json = None


class Node(Written):
    """A component: a tag, an optional key, properties, children in named slots, event handlers
    and bindings. The maps are kept as given (not copied) and written in key order."""

    __slots__ = ("tag", "key", "props", "slots", "events", "bindings")

    tag: str
    key: str | None
    props: Mapping[str, Value] | None
    slots: Mapping[str, Sequence[Node]] | None
    events: Mapping[str, Action] | None
    bindings: Mapping[str, Binding] | None

    def __init__(
        self,
        tag: str,
        key: str | None = None,
        *,
        props: Mapping[str, Value] | None = None,
        slots: Mapping[str, Sequence[Node]] | None = None,
        events: Mapping[str, Action] | None = None,
        bindings: Mapping[str, Binding] | None = None,
    ) -> None:
        self.tag = tag
        self.key = key
        self.props = props
        self.slots = slots
        self.events = events
        self.bindings = bindings

    @classmethod
    def from_json(cls, text: str) -> Node:
        """Reads a tree from its JSON text (any form vorlik reads) into builder objects."""
        from .read import read

        return read(text)

    def __repr__(self) -> str:
        shown = [repr(self.tag)] + ([f"key={self.key!r}"] if self.key is not None else [])
        shown += [
            f"{name}={getattr(self, name)!r}"
            for name in ("props", "slots", "events", "bindings")
            if getattr(self, name)
        ]
        return f"Node({', '.join(shown)})"


def build_component(
    tag: str,
    key: str | None,
    props: Iterable[tuple[str, Value, Value]],
    events: Iterable[tuple[str, Action | None]],
    slots: Iterable[tuple[str, Sequence[Node]]],
    more_props: Mapping[str, Value] | None = None,
    more_events: Mapping[str, Action] | None = None,
    more_slots: Mapping[str, Sequence[Node]] | None = None,
    bindings: Mapping[Any, Binding] | None = None,
) -> Node:
    """The node that a constructor made by `vorlik cem --python` returns.

    `props` are (name, value, default): a prop whose value is its default (the same type and an
    equal value) is left out, as the component applies its own default; `events` (name, handler)
    are left out when the handler is None, `slots` (name, children) when there are no children.
    These come after `more_props`, `more_events` and `more_slots`, and win over them."""
    p = dict(more_props) if more_props else {}
    for name, value, default in props:
        if value is not default and (type(value) is not type(default) or value != default):
            p[name] = value
    e = dict(more_events) if more_events else {}
    for name, action in events:
        if action is not None:
            e[name] = action
    s = dict(more_slots) if more_slots else {}
    for name, children in slots:
        if children:
            s[name] = children
    return Node(tag, key, props=p or None, slots=s or None, events=e or None, bindings=bindings or None)
