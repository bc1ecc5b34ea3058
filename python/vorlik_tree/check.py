"""Checking a tree against the component schemas that `vorlik.parse_cem` derives from a manifest."""

from __future__ import annotations

import json
from collections.abc import Collection, Mapping, Sequence
from dataclasses import dataclass
from typing import Any, Literal, TypeAlias

import vorlik

from . import model as m
from .read import normalize

FindingKind: TypeAlias = Literal[
    "unknown tag", "unknown prop", "unknown event", "unknown slot", "wrong kind", "not in enum"
]


@dataclass(frozen=True)
class Finding:
    """One thing in a tree that the schemas do not allow, at `path` (as `root.slots['items'][0]`)."""

    path: str
    kind: FindingKind
    message: str

    def __str__(self) -> str:
        return f"{self.path}: {self.message}"


class _Component:
    __slots__ = ("tag", "props", "events", "slots")

    def __init__(self, schema: Mapping[str, Any]) -> None:
        self.tag: str = schema["tag_name"]
        self.props: dict[str, list[Any]] = {}  # an attribute declared twice keeps every type
        for prop in schema["props"]:
            self.props.setdefault(prop["name"], []).append(prop["ty"])
        self.events = set(schema["events"])
        self.slots = set(schema["slots"])


class Schemas:
    """Component schemas by tag: `parse_cem`'s text, or that text already parsed. Where a tag is
    declared twice, the first declaration counts."""

    def __init__(self, schemas: str | Sequence[Mapping[str, Any]]) -> None:
        listed = json.loads(schemas) if isinstance(schemas, str) else schemas
        self.components: dict[str, _Component] = {}
        for schema in listed:
            self.components.setdefault(schema["tag_name"], _Component(schema))

    @classmethod
    def from_manifest(cls, manifest: str) -> Schemas:
        """The schemas of a `custom-elements.json` manifest's text."""
        return cls(vorlik.parse_cem(manifest))


def describe(ty: Any) -> str:
    """A prop type in words: `Bool`, `Str`, `Int or Float`, `one of 'a', 'b'`, `... or Null`, `any value`."""
    if isinstance(ty, str):
        return {"Number": "Int or Float", "Any": "any value"}.get(ty, ty)
    if "Enum" in ty:
        return "one of " + ", ".join(map(repr, dict.fromkeys(ty["Enum"])))
    return describe(ty["Optional"]) + " or Null"


def _accepts(ty: Any, kind: str, payload: Any) -> bool | None:
    """Whether a value of this kind and payload fits the type: True, False for the wrong kind, None
    for a Str outside an enum."""
    if ty == "Any":
        return True
    if isinstance(ty, str):
        return kind == ty or (ty == "Number" and kind in ("Int", "Float"))
    if "Optional" in ty:
        return True if kind == "Null" else _accepts(ty["Optional"], kind, payload)
    if kind != "Str":
        return False
    return True if payload in ty["Enum"] else None


def check(
    tree: m.Node | str, schemas: Schemas | str | Sequence[Mapping[str, Any]], *, allow_tags: Collection[str] = ()
) -> list[Finding]:
    """Everything in `tree` (a Node, or a tree's text) that `schemas` do not allow, in tree order:
    tags no component has (their members go unchecked, their children are checked), and on
    components props, events and slots they do not declare, bindings of props they do not
    declare, and prop values of the wrong kind or outside an enum. Tags in `allow_tags` (plain
    HTML elements, say) are taken as they are. An empty list means the tree fits.

    A text that is not a tree raises vorlik's ValueError; a Node that cannot be written raises as
    `Node.to_json` does."""
    if not isinstance(schemas, Schemas):
        schemas = Schemas(schemas)
    root = json.loads(tree.to_json() if isinstance(tree, m.Node) else normalize(tree))
    found: list[Finding] = []
    _walk(root, "root", schemas.components, frozenset(allow_tags), found)
    return found


def _walk(
    node: Mapping[str, Any],
    path: str,
    components: Mapping[str, _Component],
    allowed: frozenset[str],
    found: list[Finding],
) -> None:
    tag = node["tag"]
    component = components.get(tag)
    if component is None and tag not in allowed:
        found.append(Finding(path, "unknown tag", f"no component has the tag {tag!r}"))
    elif component is not None:
        _members(node, path, component, found)
    for slot, children in node.get("slots", {}).items():
        for i, child in enumerate(children):
            _walk(child, f"{path}.slots[{slot!r}][{i}]", components, allowed, found)


def _members(node: Mapping[str, Any], path: str, c: _Component, found: list[Finding]) -> None:
    for name, value in node.get("props", {}).items():
        at = f"{path}.props[{name!r}]"
        types = c.props.get(name)
        if types is None:
            found.append(Finding(at, "unknown prop", f"{c.tag!r} has no prop {name!r}"))
            continue
        kind, payload = ("Null", None) if value == "Null" else next(iter(value.items()))
        verdicts = [_accepts(ty, kind, payload) for ty in types]
        if True in verdicts:
            continue
        shown = f"Str {payload!r}" if kind == "Str" else kind
        wanted = " or ".join(dict.fromkeys(map(describe, types)))
        found.append(
            Finding(
                at,
                "not in enum" if None in verdicts else "wrong kind",
                f"{c.tag!r} prop {name!r} takes {wanted}, not {shown}",
            )
        )
    for name in node.get("events", {}):
        if name not in c.events:
            found.append(Finding(f"{path}.events[{name!r}]", "unknown event", f"{c.tag!r} has no event {name!r}"))
    for name in node.get("slots", {}):
        if name not in c.slots:
            found.append(Finding(f"{path}.slots[{name!r}]", "unknown slot", f"{c.tag!r} has no slot {name!r}"))
    for name in node.get("bindings", {}):
        if name not in c.props:
            found.append(
                Finding(f"{path}.bindings[{name!r}]", "unknown prop", f"{c.tag!r} has no prop {name!r} to bind")
            )


__all__ = ["Finding", "FindingKind", "Schemas", "check", "describe"]
