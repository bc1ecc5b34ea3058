"""Building component trees in Python: nodes, values, event handlers and bindings, written as
the JSON text vorlik reads, byte for byte in its normal form.

    >>> from vorlik_tree import Node, Emit
    >>> Node("ul", props={"title": "Inbox", "unread": 3},
    ...      slots={"items": [Node("li", "a", events={"click": Emit("open")})]}).to_json()
    '{"tag":"ul","props":{"title":{"Str":"Inbox"},"unread":{"Int":3}},"slots":{"items":[{"tag":"li","key":"a","events":{"click":{"kind":"emit","event":"open","detail":null}}}]}}'
"""

from .check import Finding, Schemas, check
from .codegen import python_module
from .model import (
    Action,
    Binding,
    BindMode,
    CallEndpoint,
    Concat,
    Emit,
    Event,
    Expr,
    Field,
    Id,
    If,
    Json,
    Lit,
    NamedJs,
    Node,
    Not,
    Obj,
    Prop,
    Ref,
    SendPatch,
    Seq,
    SetField,
    SetProp,
    Submodel,
    This,
    Toggle,
    ToggleField,
    Value,
    build_component,
)
from .read import normalize
from .write import to_json

__all__ = [
    "Node",
    "Submodel",
    "Value",
    "Json",
    "Binding",
    "BindMode",
    "to_json",
    "normalize",
    "Ref",
    "This",
    "Id",
    "Expr",
    "Lit",
    "Event",
    "Not",
    "Prop",
    "Field",
    "Obj",
    "Concat",
    "Action",
    "SetProp",
    "Toggle",
    "SetField",
    "ToggleField",
    "Seq",
    "Emit",
    "SendPatch",
    "If",
    "CallEndpoint",
    "NamedJs",
    "check",
    "Schemas",
    "Finding",
    "python_module",
    "build_component",
]
