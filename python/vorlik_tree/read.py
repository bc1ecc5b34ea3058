"""Reading a tree's text back into builder objects, and the normal form of a tree's text."""

from __future__ import annotations

import json
from collections.abc import Mapping
from typing import Any, cast

import vorlik

from . import model as m
from .write import (
    ACTION,
    ACTION_LIST,
    EXPR,
    EXPR_LIST,
    EXPR_MAP,
    JSON,
    OPT_ACTION,
    OPT_EXPR,
    OPT_STR,
    REF,
    SPECS,
    STR,
    URL,
)

_NO_OPS = '{"ops":[]}'

_BY_TAG = {(member, tag): (cls, fields) for cls, (member, tag, fields) in SPECS.items()}


def normalize(tree: str) -> str:
    """The tree's text in normal form: what vorlik writes for it (members in declared order,
    maps sorted by key, compact). Raises vorlik's ValueError for a text that is not a tree."""
    return vorlik.apply(tree, _NO_OPS)


def read(tree: str) -> m.Node:
    """Builder objects for a tree's text; vorlik reads the text, with its exact messages."""
    return node_from(json.loads(normalize(tree)))


def node_from(d: Mapping[str, Any]) -> m.Node:
    """A node from the parsed normal form of a tree."""
    return m.Node(
        d["tag"],
        d.get("key"),
        props={name: value_from(v) for name, v in d["props"].items()} if "props" in d else None,
        slots={name: [node_from(c) for c in kids] for name, kids in d["slots"].items()} if "slots" in d else None,
        events={name: cast(m.Action, _handler(a)) for name, a in d["events"].items()} if "events" in d else None,
        bindings={name: m.Binding(b["mode"], b.get("field"), b.get("compute")) for name, b in d["bindings"].items()}
        if "bindings" in d
        else None,
    )


def value_from(v: Any) -> m.Value:
    """A plain Python value from a tagged property value in normal form."""
    if v == "Null":
        return None
    ((tag, payload),) = v.items()
    if tag == "List":
        return [value_from(x) for x in payload]
    if tag == "Map":
        return {k: value_from(x) for k, x in payload.items()}
    if tag == "Submodel":
        return m.Submodel(payload)
    return cast(m.Value, payload)  # Bool, Int, Float and Str come back as Python's own types


def _handler(d: Mapping[str, Any]) -> object:
    member = next(iter(d))
    cls, fields = _BY_TAG[member, d[member]]
    return cls(*(_field(d[name], kind) for name, _, kind in fields))


def _field(v: Any, kind: int) -> object:
    if v is None and kind in (OPT_STR, OPT_EXPR, OPT_ACTION):
        return None
    if kind in (STR, OPT_STR, JSON) or (kind == URL and isinstance(v, str)):
        return v
    if kind in (REF, EXPR, OPT_EXPR, ACTION, OPT_ACTION, URL):
        return _handler(v)
    if kind == EXPR_MAP:
        return {k: _handler(x) for k, x in v.items()}
    assert kind in (ACTION_LIST, EXPR_LIST)
    return [_handler(x) for x in v]
