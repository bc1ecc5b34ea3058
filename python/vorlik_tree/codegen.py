"""A typed Python module of component constructors, written from the schemas of a manifest.

Each component becomes a function named after its class name that takes its props, one handler
per event and the children of each slot as keyword arguments and returns a `vorlik_tree.Node`.
Manifest names that are not Python identifiers are made into ones (`aria-label` gives
`aria_label`, `class` gives `class_`); the tree keeps the manifest's names.
"""

from __future__ import annotations

import json
import keyword
import re
import unicodedata
from collections.abc import Mapping, Sequence
from typing import Any

from .check import describe

# Names the module itself defines or imports, and the arguments every constructor has.
_MODULE_NAMES = {"annotations", "Literal", "Mapping", "Sequence", "_vt"}
_FIXED_ARGS = ("key", "props", "events", "slots", "bindings", "children")
_NUMBER = re.compile(r"[+-]?[0-9]+")


def _identifier(text: str, taken: set[str], fallback: str) -> str:
    """A Python identifier for a manifest name, unlike every name in `taken` (which it joins)."""
    name = unicodedata.normalize("NFKC", text)  # Python reads identifiers in this form
    name = "".join(c if ("_" + c).isidentifier() else "_" for c in name) or fallback
    if not name.isidentifier():
        name = "_" + name
    if keyword.iskeyword(name) or name == "__debug__":  # both are refused as names to bind
        name += "_"
    while name in taken:
        name += "_"
    taken.add(name)
    return name


def _base_type(ty: Any) -> str:
    if ty == "Bool":
        return "bool"
    if ty == "Str":
        return "str"
    if ty == "Number":
        return "int | float"
    if ty == "Any":
        return "_vt.Value"
    return f"Literal[{', '.join(map(repr, dict.fromkeys(ty['Enum'])))}]"


def _annotation(ty: Any) -> str:
    if isinstance(ty, dict) and "Optional" in ty:
        return _base_type(ty["Optional"]) + " | None"
    return _base_type(ty)


def _default(ty: Any, text: str | None) -> Any:
    """The manifest's default as a value of the prop's type, or None where it gives none that fits."""
    base = ty["Optional"] if isinstance(ty, dict) and "Optional" in ty else ty
    if text is None or base == "Any":
        return None
    if base == "Bool":
        return {"true": True, "false": False}.get(text)
    if base == "Str":
        return text
    if base == "Number":
        if _NUMBER.fullmatch(text):
            number = int(text)
            return number if -(2**63) <= number < 2**63 else None
        try:
            value = float(text)
        except ValueError:
            return None
        return value if value - value == 0 else None  # finite
    return text if text in base["Enum"] else None


def _sentence(text: str) -> str:
    return text[:1].upper() + text[1:] + "."


def _docstring(lines: Sequence[str], indent: str) -> str:
    """A triple-quoted literal holding the lines, whatever characters they have."""

    def escape(c: str) -> str:
        if c == "\\":
            return "\\\\"
        return c if c.isprintable() or c == "\n" else c.encode("unicode_escape").decode("ascii")

    text = "".join(map(escape, "\n".join(lines))).replace('"""', '\\"\\"\\"')
    if text.endswith('"'):
        text = text[:-1] + '\\"'
    return indent + '"""' + text.replace("\n", "\n" + indent).replace(indent + "\n", "\n") + "\n" + indent + '"""'


def _function(schema: Mapping[str, Any], name: str) -> str:
    tag = schema["tag_name"]
    args = set(_FIXED_ARGS) | _MODULE_NAMES
    params = ["key: str | None = None"]
    doc_args = ["key: The node's key among its siblings."]
    props, seen = [], set()
    for prop in schema["props"]:
        if prop["name"] in seen:  # declared twice: the first declaration counts
            continue
        seen.add(prop["name"])
        arg = _identifier(prop["name"], args, "prop")
        default = _default(prop["ty"], prop.get("default"))
        annotation = _annotation(prop["ty"])
        if default is None and "None" not in annotation:
            annotation += " | None"
        params.append(f"{arg}: {annotation} = {default!r}")
        about = [prop.get("doc", "").strip()] if prop.get("doc", "").strip() else []
        if arg != prop["name"]:
            about.append(f"The prop {prop['name']!r}.")
        if default is not None:
            about.append(f"Default {default!r}.")
        doc_args.append(f"{arg}: {' '.join(about) or _sentence(describe(prop['ty']))}".replace("\n", "\n        "))
        props.append(f"({prop['name']!r}, {arg}, {default!r})")
    events = []
    for event in dict.fromkeys(schema["events"]):
        arg = _identifier("on_" + event, args, "on_event")
        params.append(f"{arg}: _vt.Action | None = None")
        doc_args.append(f"{arg}: The handler of the event {event!r}.")
        events.append(f"({event!r}, {arg})")
    slots = []
    for slot in dict.fromkeys(schema["slots"]):
        arg = "children" if slot == "" else _identifier("slot_" + slot, args, "slot")
        params.append(f"{arg}: Sequence[_vt.Node] = ()")
        doc_args.append(f"{arg}: " + ("The default slot." if slot == "" else f"The slot {slot!r}."))
        slots.append(f"({slot!r}, {arg})")
    names = list(dict.fromkeys(p["name"] for p in schema["props"]))
    bound = f"Literal[{', '.join(map(repr, names))}]" if names else "str"
    params += [
        "props: Mapping[str, _vt.Value] | None = None",
        "events: Mapping[str, _vt.Action] | None = None",
        "slots: Mapping[str, Sequence[_vt.Node]] | None = None",
        f"bindings: Mapping[{bound}, _vt.Binding] | None = None",
    ]
    doc_args += [
        "props: More props; those above win over them.",
        "events: More handlers, by event name.",
        "slots: More children, by slot name.",
        "bindings: Props bound to the client's data.",
    ]
    summary = (schema.get("summary") or "").strip().splitlines() or [f"The component {tag!r}."]
    doc = [*summary, "", f"Builds the tag {tag!r}; a prop at its default is left out of the tree.", "", "Args:"]
    doc += ["    " + line for line in doc_args]

    def listed(items: list[str]) -> str:
        return "(" + "".join(f"\n            {item}," for item in items) + ("\n        )" if items else ")")

    lines = (
        [f"def {name}(", "    *,"]
        + [f"    {p}," for p in params]
        + [") -> _vt.Node:", _docstring(doc, "    "), "    return _vt.build_component("]
    )
    lines += [
        f"        {tag!r},",
        "        key,",
        f"        {listed(props)},",
        f"        {listed(events)},",
        f"        {listed(slots)},",
        "        props,",
        "        events,",
        "        slots,",
        "        bindings,",
        "    )",
    ]
    return "\n".join(lines)


def python_module(schemas: str | Sequence[Mapping[str, Any]], source: str = "a manifest") -> str:
    """The text of a typed Python module with one constructor per component of `schemas`
    (`parse_cem`'s text, or that text parsed); `source` names the manifest in its docstring.
    Where a tag is declared twice, the first declaration counts."""
    listed = json.loads(schemas) if isinstance(schemas, str) else schemas
    taken = set(_MODULE_NAMES)
    functions, names, tags = [], [], set()
    for schema in listed:
        if schema["tag_name"] in tags:
            continue
        tags.add(schema["tag_name"])
        name = _identifier(schema["class_name"], taken, "Component")
        names.append(name)
        functions.append(_function(schema, name))
    head = [
        _docstring(
            [
                f"Typed constructors for the components of {source}, written by `vorlik cem --python`.",
                "",
                "Each returns a `vorlik_tree.Node`; see `vorlik_tree.build_component`.",
            ],
            "",
        ),
        "",
        "from __future__ import annotations",
        "",
        "from collections.abc import Mapping, Sequence",
        "from typing import Literal",
        "",
        "import vorlik_tree as _vt",
        "",
        f"__all__ = [{', '.join(map(repr, names))}]",
    ]
    return "\n".join(head) + "".join(f"\n\n\n{f}" for f in functions) + "\n"


__all__ = ["python_module"]
