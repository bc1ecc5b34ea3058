"""Writing builder objects as JSON text, byte for byte as vorlik writes a tree in normal form.

Records write their members in declared order, maps in ascending key order (Python orders str by
code point, which is the UTF-8 byte order for every str that UTF-8 can encode); strings escape
only the quote, the backslash and control characters; floats take their shortest round-trip
digits from `float.__repr__`, laid out as vorlik lays them out.

A writer that meets something the tree form cannot hold raises `Fault`; every level it passes on
the way out adds its step, so the error names the place in the tree.
"""

from __future__ import annotations

import json.encoder
from collections.abc import Callable, Mapping, Sequence
from typing import Any, NoReturn

from . import model as m

#: JSON arrays and objects a reader accepts open at once.
LIMIT = 127
I64_MIN, I64_MAX, U64_MAX = -(2**63), 2**63 - 1, 2**64 - 1

Escape = Callable[[str], str]

# The standard library's string writer (C): quotes the text and escapes `"`, `\` and U+0000 to
# U+001F (\b \t \n \f \r by letter, the others as \u00xx), leaving everything else as it is.
_escape: Escape = json.encoder.encode_basestring


class Fault(Exception):
    """What the tree form cannot hold, on its way out to the caller's frame."""

    def __init__(self, kind: type[Exception], message: str) -> None:
        super().__init__(message)
        self.kind, self.message, self.steps = kind, message, list[str]()

    def error(self) -> Exception:
        return self.kind(f"root{''.join(reversed(self.steps))}: {self.message}")


def _type(value: object) -> str:
    return "None" if value is None else type(value).__name__


def _int_text(n: int) -> str:
    return str(n) if n.bit_length() < 256 else f"an int of {n.bit_length()} bits"


def _too_deep() -> Fault:
    return Fault(ValueError, f"nests deeper than the {LIMIT} levels of JSON arrays and objects a reader accepts")


def _escape_checked(text: str) -> str:
    if not text.isascii():
        try:
            text.encode("utf-8")
        except UnicodeEncodeError as e:
            raise Fault(
                ValueError,
                f"the str holds the lone surrogate {text[e.start]!r} at index {e.start}, which UTF-8 cannot encode",
            ) from None
    return _escape(text)


def float_text(x: float) -> str:
    """The double as vorlik writes it: shortest round-trip digits, positional for decimal
    exponents -5 to 15 with a fractional part, scientific with a signed exponent otherwise."""
    text = float.__repr__(x)
    if "e" in text or "n" in text:
        return _float_exponent(text)
    return text


def _float_exponent(text: str) -> str:
    if text in ("nan", "inf", "-inf"):
        raise Fault(ValueError, f"float {text} cannot be written: the tree form holds finite floats only")
    mantissa, _, exponent = text.partition("e")
    e = int(exponent)
    if e == -5:  # repr turns scientific one step sooner than vorlik does
        sign = "-" if mantissa[0] == "-" else ""
        return f"{sign}0.0000{mantissa.lstrip('-').replace('.', '')}"
    return f"{mantissa}e{'+' if e > 0 else '-'}{abs(e)}"


def _sorted_keys(mapping: Mapping[Any, Any]) -> list[str]:
    try:
        names = sorted(mapping)
    except TypeError:
        names = list(mapping)
    for name in names:
        if not isinstance(name, str):
            raise Fault(TypeError, f"keys must be str, not {_type(name)}: {name!r}")
    return names


def _mapping(value: object, what: str) -> Mapping[Any, Any]:
    if type(value) is dict or isinstance(value, Mapping):
        return value
    raise Fault(TypeError, f"{what} must be a mapping with str keys, not {_type(value)}")


def _sequence(value: object, what: str) -> Sequence[Any]:
    t = type(value)
    if t is list or t is tuple or (isinstance(value, Sequence) and not isinstance(value, (str, bytes, bytearray))):
        return value  # type: ignore[return-value]
    raise Fault(TypeError, f"{what} must be a list or tuple, not {_type(value)}")


# ---- property values


def _value(v: object, out: Callable[[str], None], esc: Escape, depth: int) -> None:
    """Writes a property value; `depth` arrays and objects are open around it."""
    if v is None:
        out('"Null"')
        return
    if depth >= LIMIT:
        raise _too_deep()
    t = type(v)
    if t is str:
        out(f'{{"Str":{esc(v)}}}')  # type: ignore[arg-type]
    elif t is bool:
        out('{"Bool":true}' if v else '{"Bool":false}')
    elif t is int:
        out(f'{{"Int":{_checked_int(v)}}}')  # type: ignore[arg-type]
    elif t is float:
        out(f'{{"Float":{float_text(v)}}}')  # type: ignore[arg-type]
    elif t is list or t is tuple or t is dict:
        _container(v, out, esc, depth)
    elif t is m.Submodel:
        n = v.model  # type: ignore[attr-defined]
        if type(n) is not int and not (isinstance(n, int) and not isinstance(n, bool)):
            raise Fault(TypeError, f"a Submodel holds an int, not {_type(n)}")
        if not 0 <= n <= U64_MAX:
            raise Fault(ValueError, f"Submodel {_int_text(n)} is outside 0..2**64-1")
        out(f'{{"Submodel":{int.__repr__(n)}}}')
    elif isinstance(v, str):
        out(f'{{"Str":{esc(v)}}}')
    elif isinstance(v, int):  # bool is taken above; an IntEnum member is its int
        out(f'{{"Int":{_checked_int(v)}}}')
    elif isinstance(v, float):
        out(f'{{"Float":{float_text(v)}}}')
    elif isinstance(v, (Mapping, Sequence)) and not isinstance(v, (bytes, bytearray, m.Written)):
        _container(v, out, esc, depth)
    else:
        raise Fault(
            TypeError, f"a value must be None, bool, int, float, str, Submodel, a list, tuple or dict, not {_type(v)}"
        )


def _checked_int(n: int) -> str:
    if I64_MIN <= n <= I64_MAX:
        return int.__repr__(n)
    raise Fault(ValueError, f"int {_int_text(n)} is outside the Int range -2**63..2**63-1")


def _container(v: Any, out: Callable[[str], None], esc: Escape, depth: int) -> None:
    if depth + 2 > LIMIT:
        raise _too_deep()
    # Elements that are floats, ints or strs are written here (lists of numbers are common and
    # long); the rest, and every element once the levels run short, by _value.
    shallow = depth + 3 <= LIMIT
    if isinstance(v, Mapping):
        out('{"Map":{')
        sep = ""
        names = _sorted_keys(v)
        name = ""
        try:
            for name in names:
                out(f"{sep}{esc(name)}:")
                _value(v[name], out, esc, depth + 2)
                sep = ","
        except Fault as f:
            f.steps.append(f"[{name!r}]")
            raise
        out("}}")
        return
    out('{"List":[')
    i = 0
    try:
        for i, x in enumerate(v):
            if i:
                out(",")
            t = type(x)
            if t is float and shallow:
                text = repr(x)
                if "e" in text or "n" in text:
                    text = _float_exponent(text)
                out(f'{{"Float":{text}}}')
            elif t is str and shallow:
                out(f'{{"Str":{esc(x)}}}')
            elif t is int and shallow and I64_MIN <= x <= I64_MAX:
                out(f'{{"Int":{x}}}')
            else:
                _value(x, out, esc, depth + 2)
    except Fault as f:
        f.steps.append(f"[{i}]")
        raise
    out("]}")


# ---- plain JSON values (literal expressions, computes)


def _object(mapping: Mapping[Any, Any], esc: Escape, item: Callable[[Any], str]) -> str:
    """A JSON object of the mapping's items, in key order."""
    items = []
    name = ""
    try:
        for name in _sorted_keys(mapping):
            items.append(f"{esc(name)}:{item(mapping[name])}")
    except Fault as f:
        f.steps.append(f"[{name!r}]")
        raise
    return "{" + ",".join(items) + "}"


def _array(sequence: Sequence[Any], item: Callable[[Any], str]) -> str:
    items = []
    i = 0
    try:
        for i, x in enumerate(sequence):  # noqa: B007 (the fault below names the index)
            items.append(item(x))
    except Fault as f:
        f.steps.append(f"[{i}]")
        raise
    return "[" + ",".join(items) + "]"


def _json(v: object, esc: Escape, depth: int) -> str:
    t = type(v)
    if v is None:
        return "null"
    if t is str:
        return esc(v)  # type: ignore[arg-type]
    if t is bool:
        return "true" if v else "false"
    if t is int or (isinstance(v, int) and not isinstance(v, bool)):
        if I64_MIN <= v <= U64_MAX:  # type: ignore[operator]
            return int.__repr__(v)
        raise Fault(
            ValueError,
            f"int {_int_text(v)} is outside -2**63..2**64-1: "  # type: ignore[arg-type]
            "a reader would take it for a float",
        )
    if t is float or isinstance(v, float):
        return float_text(v)  # type: ignore[arg-type]
    if isinstance(v, str):
        return esc(v)
    if depth >= LIMIT:
        raise _too_deep()
    if isinstance(v, Mapping):
        return _object(v, esc, lambda x: _json(x, esc, depth + 1))
    if isinstance(v, Sequence) and not isinstance(v, (bytes, bytearray, m.Written, m.Submodel)):
        return _array(v, lambda x: _json(x, esc, depth + 1))
    raise Fault(TypeError, f"a JSON value must be None, bool, int, float, str, a list, tuple or dict, not {_type(v)}")


# ---- handlers: references, expressions, actions


def _kinds(*classes: type) -> tuple[type, ...]:
    return classes


REFS = _kinds(m.This, m.Id)
EXPRS = _kinds(m.Lit, m.Event, m.Not, m.Prop, m.Field, m.Obj, m.Concat)
ACTIONS = _kinds(
    m.SetProp, m.Toggle, m.SetField, m.ToggleField, m.Seq, m.Emit, m.SendPatch, m.If, m.CallEndpoint, m.NamedJs
)

# The kinds of handler fields.
STR, OPT_STR, REF, EXPR, OPT_EXPR, ACTION, OPT_ACTION, ACTION_LIST, EXPR_LIST, EXPR_MAP, URL, JSON = range(12)

#: Per handler class: its tag member, its tag, and its fields as (JSON name, attribute, kind) in
#: the order they are written.
SPECS: dict[type, tuple[str, str, tuple[tuple[str, str, int], ...]]] = {
    m.This: ("ref", "this", ()),
    m.Id: ("ref", "id", (("id", "id", STR),)),
    m.Lit: ("expr", "lit", (("value", "value", JSON),)),
    m.Event: ("expr", "event", ()),
    m.Not: ("expr", "not", (("of", "of", EXPR),)),
    m.Prop: ("expr", "prop", (("target", "target", REF), ("name", "name", STR))),
    m.Field: ("expr", "field", (("name", "name", STR),)),
    m.Obj: ("expr", "obj", (("fields", "fields", EXPR_MAP),)),
    m.Concat: ("expr", "concat", (("parts", "parts", EXPR_LIST),)),
    m.SetProp: ("kind", "set", (("target", "target", REF), ("prop", "prop", STR), ("value", "value", EXPR))),
    m.Toggle: ("kind", "toggle", (("target", "target", REF), ("prop", "prop", STR))),
    m.SetField: ("kind", "set-field", (("field", "field", STR), ("value", "value", EXPR))),
    m.ToggleField: ("kind", "toggle-field", (("field", "field", STR),)),
    m.Seq: ("kind", "seq", (("actions", "actions", ACTION_LIST),)),
    m.Emit: ("kind", "emit", (("event", "event", STR), ("detail", "detail", OPT_EXPR))),
    m.SendPatch: ("kind", "patch", (("model", "model", STR), ("field", "field", STR), ("value", "value", EXPR))),
    m.If: ("kind", "if", (("cond", "cond", EXPR), ("then", "then", ACTION), ("else", "else_", OPT_ACTION))),
    m.CallEndpoint: (
        "kind",
        "call",
        (("method", "method", STR), ("url", "url", URL), ("body", "body", OPT_EXPR), ("result", "result", OPT_STR)),
    ),
    m.NamedJs: ("kind", "js", (("handler", "handler", STR),)),
}

_WANTED = {
    REFS: "This() or Id(...)",
    EXPRS: "an expression (Lit, Event, Not, Prop, Field, Obj, Concat)",
    ACTIONS: "an action (SetProp, Toggle, SetField, ToggleField, Seq, Emit, SendPatch, If, CallEndpoint, NamedJs)",
}


def _str(v: object) -> str:
    if isinstance(v, str):
        return v
    raise Fault(TypeError, f"wanted a str, not {_type(v)}")


def _other(v: object, classes: tuple[type, ...], esc: Escape, depth: int) -> str:
    """A handler of a subclass of one of `classes`, or the fault of a wrong one."""
    owner = next((c for c in classes if isinstance(v, c)), None)
    if owner is None:
        raise Fault(TypeError, f"wanted {_WANTED[classes]}, not {_type(v)}")
    return _WRITERS[owner](v, esc, depth)


def _handler(v: object, classes: tuple[type, ...], esc: Escape, depth: int) -> str:
    """A reference, expression or action of one of `classes`; `depth` levels are open around it."""
    t = type(v)
    if t in classes:
        return _WRITERS[t](v, esc, depth)
    return _other(v, classes, esc, depth)


def _field(v: object, kind: int, esc: Escape, depth: int) -> str:
    """A handler field of any kind; the compiled writers below take the common kinds inline."""
    if kind == STR or (kind == OPT_STR and v is not None):
        return esc(_str(v))
    if kind == EXPR or (kind == OPT_EXPR and v is not None):
        return _handler(v, EXPRS, esc, depth)
    if kind == REF:
        return _handler(v, REFS, esc, depth)
    if kind == ACTION or (kind == OPT_ACTION and v is not None):
        return _handler(v, ACTIONS, esc, depth)
    if kind in (OPT_STR, OPT_EXPR, OPT_ACTION):
        return "null"
    if kind == JSON:
        return _json(v, esc, depth)
    if kind == URL:
        return esc(v) if isinstance(v, str) else _field(v, EXPR, esc, depth)
    if depth >= LIMIT:
        raise _too_deep()
    if kind == EXPR_MAP:
        return _object(_mapping(v, "the fields"), esc, lambda x: _handler(x, EXPRS, esc, depth + 1))
    classes = ACTIONS if kind == ACTION_LIST else EXPRS
    return _array(_sequence(v, "the list"), lambda x: _handler(x, classes, esc, depth + 1))


# One writer per handler class, compiled from SPECS when the module loads (as dataclasses makes
# its methods): a handler is written often, and a loop over its fields costs twice the time.
_GROUP = {REF: "REFS", EXPR: "EXPRS", OPT_EXPR: "EXPRS", ACTION: "ACTIONS", OPT_ACTION: "ACTIONS"}


def _compile(cls: type, member: str, tag: str, fields: tuple[tuple[str, str, int], ...]) -> str:
    lines = [
        f"def write_{cls.__name__}(v, esc, depth):",
        "    if depth >= LIMIT:",
        "        raise _too_deep()",
        "    d = depth + 1",
        "    step = ''",
        "    try:",
    ]
    pieces = [repr(f'{{"{member}":"{tag}"')]
    for i, (name, attr, kind) in enumerate(fields):
        lines += [f"        step = '.{attr}'", f"        x = v.{attr}"]
        if kind == STR:
            text = "esc(x) if type(x) is str else esc(_str(x))"
        elif kind == OPT_STR:
            text = "'null' if x is None else esc(_str(x))"
        elif kind in _GROUP:
            group = _GROUP[kind]
            text = f"_WRITERS[type(x)](x, esc, d) if type(x) in {group} else _other(x, {group}, esc, d)"
            if kind in (OPT_EXPR, OPT_ACTION):
                text = f"'null' if x is None else ({text})"
        elif kind == URL:
            text = "esc(x) if type(x) is str else _field(x, URL, esc, d)"
        elif kind == JSON:
            text = "_json(x, esc, d)"
        else:
            text = f"_field(x, {kind}, esc, d)"
        lines.append(f"        f{i} = {text}")
        pieces += [repr(f',"{name}":'), f"f{i}"]
    lines += [
        "    except Fault as f:",
        "        f.steps.append(step)",
        "        raise",
        f"    return {' + '.join(pieces + [repr('}')])}",
        "",
    ]
    if not fields:
        lines[4:] = [f"    return {' + '.join(pieces + [repr('}')])}", ""]
    return "\n".join(lines)


_WRITERS: dict[type, Callable[[Any, Escape, int], str]] = {}


def _compile_all() -> None:
    namespace = dict(globals())
    exec("\n".join(_compile(cls, *spec) for cls, spec in SPECS.items()), namespace)
    for cls in SPECS:
        _WRITERS[cls] = namespace[f"write_{cls.__name__}"]


_compile_all()


def _binding(b: object, esc: Escape, depth: int) -> str:
    if not isinstance(b, m.Binding):
        raise Fault(TypeError, f"wanted a Binding, not {_type(b)}")
    if depth >= LIMIT:
        raise _too_deep()
    parts = ["{"]
    step = ".field"
    try:
        if b.field is not None:
            parts.append(f'"field":{_field(b.field, STR, esc, depth + 1)},')
        step = ".compute"
        if b.compute is not None:
            parts.append(f'"compute":{_json(b.compute, esc, depth + 1)},')
        step = ".mode"
        if b.mode not in ("one-way", "two-way"):
            raise Fault(ValueError, f"mode must be 'one-way' or 'two-way', not {b.mode!r}")
    except Fault as f:
        f.steps.append(step)
        raise
    parts.append(f'"mode":"{b.mode}"}}')
    return "".join(parts)


# ---- nodes


def _tree(root: m.Node, esc: Escape) -> str:
    """Writes a whole tree. The writers of its parts share the output and the handlers written so
    far (a handler object shared by many nodes is written once, at the deepest level it has met)."""
    parts: list[str] = []
    out = parts.append
    memo: dict[int, tuple[object, str, int]] = {}
    seen = memo.get
    Node = m.Node

    def node(n: Any, depth: int) -> None:
        """Writes a node; `depth` levels are open around it."""
        if type(n) is not Node and not isinstance(n, Node):
            raise Fault(TypeError, f"a slot holds Nodes, not {_type(n)}")
        if depth >= LIMIT:
            raise _too_deep()
        tag, key = n.tag, n.key
        if type(tag) is not str and not isinstance(tag, str):
            _at(Fault(TypeError, f"tag must be a str, not {_type(tag)}"), ".tag")
        if key is None:
            out(f'{{"tag":{esc(tag)}')
        elif type(key) is str or isinstance(key, str):
            out(f'{{"tag":{esc(tag)},"key":{esc(key)}')
        else:
            _at(Fault(TypeError, f"key must be a str or None, not {_type(key)}"), ".key")
        depth += 1
        for member, write in members:
            value = getattr(n, member)
            if value is not None:
                try:
                    if type(value) is not dict:
                        value = _mapping(value, member)
                    if value:
                        write(value, depth)
                except Fault as f:
                    _at(f, "." + member)
        out("}")

    def props(p: Mapping[Any, Any], depth: int) -> None:
        if depth >= LIMIT:
            raise _too_deep()
        # Scalars are written here; the rest, and every value once the levels run short, by _value.
        shallow = depth + 2 <= LIMIT
        sep = ',"props":{'
        name = ""
        try:
            for name in sorted(p):
                v = p[name]
                t = type(v)
                if not shallow:
                    out(f"{sep}{esc(name)}:")
                    _value(v, out, esc, depth + 1)
                elif t is str:
                    out(f'{sep}{esc(name)}:{{"Str":{esc(v)}}}')
                elif t is bool:
                    out(f'{sep}{esc(name)}:{{"Bool":true}}' if v else f'{sep}{esc(name)}:{{"Bool":false}}')
                elif t is int and I64_MIN <= v <= I64_MAX:
                    out(f'{sep}{esc(name)}:{{"Int":{v}}}')
                elif t is float:
                    text = repr(v)
                    if "e" in text or "n" in text:
                        text = _float_exponent(text)
                    out(f'{sep}{esc(name)}:{{"Float":{text}}}')
                elif v is None:
                    out(f'{sep}{esc(name)}:"Null"')
                else:
                    out(f"{sep}{esc(name)}:")
                    _value(v, out, esc, depth + 1)
                sep = ","
        except Fault as f:
            _at(f, f"[{name!r}]")
        except TypeError:  # a key that is not a str: sorted() or the string writer refused it
            _sorted_keys(p)
            raise
        out("}")

    def slots(s: Mapping[Any, Any], depth: int) -> None:
        if depth + 2 > LIMIT:
            raise _too_deep()
        sep = ',"slots":{'
        for name in _sorted_keys(s):
            i = -1
            try:
                out(f"{sep}{esc(name)}:[")
                for i, child in enumerate(_sequence(s[name], "a slot")):
                    if i:
                        out(",")
                    node(child, depth + 2)
            except Fault as f:
                _at(f, f"[{name!r}]" + (f"[{i}]" if i >= 0 else ""))
            out("]")
            sep = ","
        out("}")

    def events(e: Mapping[Any, Any], depth: int) -> None:
        if depth >= LIMIT:
            raise _too_deep()
        sep = ',"events":{'
        try:
            for name in sorted(e):
                a = e[name]
                try:
                    known = seen(id(a))
                    if known is not None and known[0] is a and known[2] >= depth:
                        text = known[1]
                    else:
                        text = _handler(a, ACTIONS, esc, depth + 1)
                        memo[id(a)] = (a, text, depth)
                except Fault as f:
                    _at(f, f"[{name!r}]")
                out(f"{sep}{esc(name)}:{text}")
                sep = ","
        except TypeError:
            _sorted_keys(e)
            raise
        out("}")

    def bindings(b: Mapping[Any, Any], depth: int) -> None:
        if depth >= LIMIT:
            raise _too_deep()
        sep = ',"bindings":{'
        for name in _sorted_keys(b):
            try:
                out(f"{sep}{esc(name)}:{_binding(b[name], esc, depth + 1)}")
            except Fault as f:
                _at(f, f"[{name!r}]")
            sep = ","
        out("}")

    members = (("props", props), ("slots", slots), ("events", events), ("bindings", bindings))
    node(root, 0)
    return "".join(parts)


def _at(fault: Fault, step: str) -> NoReturn:
    fault.steps.append(step)
    raise fault


def _write(obj: object, esc: Escape) -> str:
    if isinstance(obj, m.Node):
        return _tree(obj, esc)
    if isinstance(obj, m.Binding):
        return _binding(obj, esc, 0)
    if isinstance(obj, REFS + EXPRS + ACTIONS):
        return _handler(obj, REFS + EXPRS + ACTIONS, esc, 0)
    raise Fault(TypeError, f"wanted a Node, a handler or a Binding, not {_type(obj)}")


def to_json(obj: object) -> str:
    """The JSON text of a node (a whole tree), a handler or a binding, as vorlik writes it.

    Raises TypeError for a value of the wrong type and ValueError for one out of range (NaN and
    the infinities, integers beyond their range, lone surrogates, nesting deeper than a reader
    accepts), naming the place in the tree, as in `root.slots['items'][2].props['n']`."""
    try:
        text = _write(obj, _escape)
        if text.isascii():
            return text
        text.encode("utf-8")
        return text
    except Fault as f:
        raise f.error() from None
    except UnicodeEncodeError:
        pass
    try:  # a lone surrogate somewhere: write again, checking every string, to find it
        _write(obj, _escape_checked)
    except Fault as f:
        raise f.error() from None
    raise AssertionError("a lone surrogate that no string holds")  # pragma: no cover
