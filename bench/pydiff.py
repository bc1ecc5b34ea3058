"""A plain Python tree diff and patch application over loaded dicts: the baseline a host would write.

Inputs are trees in normal form (as vorlik writes them), loaded with any JSON reader. The output
is the same patch text vorlik gives, so the two can be checked against each other.
"""

import math
from json.encoder import encode_basestring

NODE_FIELDS = ("tag", "key", "props", "slots", "events", "bindings")


def format_float(x):
    if math.isnan(x) or math.isinf(x):
        return "null"
    if x == 0:
        return "-0.0" if math.copysign(1.0, x) < 0 else "0.0"
    sign = "-" if x < 0 else ""
    text = repr(abs(x))
    mantissa, _, exp = text.partition("e")
    point = mantissa.find(".")
    if point < 0:
        point = len(mantissa)
    digits = mantissa.replace(".", "")
    stripped = digits.lstrip("0")
    lead = len(digits) - len(stripped)
    digits = stripped.rstrip("0") or "0"
    e = point - 1 - lead + (int(exp) if exp else 0)
    if -5 <= e <= 15:
        if e >= 0:
            whole = digits[: e + 1].ljust(e + 1, "0")
            return f"{sign}{whole}.{digits[e + 1 :] or '0'}"
        return f"{sign}0.{'0' * (-e - 1)}{digits}"
    rest = "." + digits[1:] if len(digits) > 1 else ""
    return f"{sign}{digits[0]}{rest}e{'+' if e >= 0 else '-'}{abs(e)}"


def write(value, out):
    """Compact JSON of a loaded value, keeping the dicts' order (normal-form input is sorted)."""
    if isinstance(value, str):
        out.append(encode_basestring(value))
    elif isinstance(value, dict):
        out.append("{")
        first = True
        for k, v in value.items():
            if not first:
                out.append(",")
            first = False
            out.append(encode_basestring(k))
            out.append(":")
            write(v, out)
        out.append("}")
    elif isinstance(value, list):
        out.append("[")
        for i, v in enumerate(value):
            if i:
                out.append(",")
            write(v, out)
        out.append("]")
    elif value is None:
        out.append("null")
    elif value is True:
        out.append("true")
    elif value is False:
        out.append("false")
    elif isinstance(value, int):
        out.append(str(value))
    else:
        out.append(format_float(value))


def write_node(node, out):
    # Maps an edit added to may be out of order, and a new "slots" member may stand last.
    out.append('{"tag":')
    out.append(encode_basestring(node["tag"]))
    if node.get("key") is not None:
        out.append(',"key":')
        out.append(encode_basestring(node["key"]))
    for field in ("props", "slots", "events", "bindings"):
        entries = node.get(field)
        if not entries:
            continue
        out.append(f',"{field}":{{')
        for i, name in enumerate(sorted(entries)):
            if i:
                out.append(",")
            out.append(encode_basestring(name))
            out.append(":")
            if field == "slots":
                out.append("[")
                for j, child in enumerate(entries[name]):
                    if j:
                        out.append(",")
                    write_node(child, out)
                out.append("]")
            else:
                write(entries[name], out)
        out.append("}")
    out.append("}")


def _path(path):
    return "[" + ",".join(f'{{"slot":{encode_basestring(s)},"index":{i}}}' for s, i in path) + "]"


def _node_text(node):
    out = []
    write_node(node, out)
    return "".join(out)


def _value_text(value):
    out = []
    write(value, out)
    return "".join(out)


def _diff_map(kind, path, old, new, ops):
    set_op, remove_op, field = kind
    p = None
    for name in sorted(new):
        value = new[name]
        if name not in old or old[name] != value:
            p = p or _path(path)
            ops.append(f'{{"{set_op}":{{"path":{p},"name":{encode_basestring(name)},"{field}":{_value_text(value)}}}}}')
    for name in sorted(old):
        if name not in new:
            p = p or _path(path)
            ops.append(f'{{"{remove_op}":{{"path":{p},"name":{encode_basestring(name)}}}}}')


MAPS = (
    ("props", ("SetProp", "RemoveProp", "value")),
    ("events", ("SetEvent", "RemoveEvent", "action")),
    ("bindings", ("SetBinding", "RemoveBinding", "binding")),
)


def diff_node(path, old, new, ops):
    if old["tag"] != new["tag"]:
        ops.append(f'{{"Replace":{{"path":{_path(path)},"node":{_node_text(new)}}}}}')
        return
    if old.get("key") != new.get("key"):
        key = new.get("key")
        key_text = "null" if key is None else encode_basestring(key)
        ops.append(f'{{"SetKey":{{"path":{_path(path)},"key":{key_text}}}}}')
    for field, kind in MAPS:
        a, b = old.get(field) or {}, new.get(field) or {}
        if a or b:
            _diff_map(kind, path, a, b, ops)
    old_slots, new_slots = old.get("slots") or {}, new.get("slots") or {}
    for slot in sorted(set(old_slots) | set(new_slots)):
        o, n = old_slots.get(slot, []), new_slots.get(slot, [])
        keyed = (o or n) and all(c.get("key") is not None for c in o) and all(c.get("key") is not None for c in n)
        if keyed:
            _keyed(path, slot, o, n, ops)
        else:
            _positional(path, slot, o, n, ops)


def _positional(path, slot, o, n, ops):
    common = min(len(o), len(n))
    for i in range(common):
        diff_node(path + ((slot, i),), o[i], n[i], ops)
    p, s = _path(path), encode_basestring(slot)
    for i in range(len(o), len(n)):
        ops.append(f'{{"InsertChild":{{"path":{p},"slot":{s},"index":{i},"node":{_node_text(n[i])}}}}}')
    for i in range(len(o) - 1, len(n) - 1, -1):
        ops.append(f'{{"RemoveChild":{{"path":{p},"slot":{s},"index":{i}}}}}')


def _keyed(path, slot, o, n, ops):
    p, s = _path(path), encode_basestring(slot)
    wanted = {c["key"] for c in n}
    keys = [c["key"] for c in o]
    origins = list(range(len(o)))
    for i in range(len(keys) - 1, -1, -1):
        if keys[i] not in wanted:
            ops.append(f'{{"RemoveChild":{{"path":{p},"slot":{s},"index":{i}}}}}')
            del keys[i], origins[i]
    for j, child in enumerate(n):
        k = child["key"]
        try:
            found = keys.index(k, j)
        except ValueError:
            found = -1
        if found == j:
            continue
        if found > j:
            ops.append(f'{{"MoveChild":{{"path":{p},"slot":{s},"from":{found},"to":{j}}}}}')
            keys.insert(j, keys.pop(found))
            origins.insert(j, origins.pop(found))
        else:
            ops.append(f'{{"InsertChild":{{"path":{p},"slot":{s},"index":{j},"node":{_node_text(child)}}}}}')
            keys.insert(j, k)
            origins.insert(j, None)
    for i in range(len(n)):
        if origins[i] is not None:
            diff_node(path + ((slot, i),), o[origins[i]], n[i], ops)


def diff(old, new):
    """The patch text turning the loaded tree old into new."""
    ops = []
    diff_node((), old, new, ops)
    return '{"ops":[' + ",".join(ops) + "]}"


class PatchMismatch(ValueError):
    pass


def _child_list(node, slot, create=False):
    slots = node.get("slots")
    if slots is None:
        if not create:
            return None
        slots = node["slots"] = {}
    if slot not in slots and create:
        slots[slot] = []
    return slots.get(slot)


def apply(root, patch):
    """Replays a loaded patch on a loaded tree, in place; returns the tree's JSON text."""
    holder = {"slots": {"": [root]}}
    for op in patch["ops"]:
        ((name, body),) = op.items()
        parent, index = holder, 0
        node = root
        slot_of_node = ""
        for seg in body["path"]:
            children = _child_list(node, seg["slot"])
            if children is None:
                raise PatchMismatch("path references an existing slot")
            if seg["index"] >= len(children):
                raise PatchMismatch("index out of bounds")
            parent, slot_of_node, index = node, seg["slot"], seg["index"]
            node = children[index]
        if name in ("SetProp", "SetEvent", "SetBinding"):
            field, payload = {
                "SetProp": ("props", "value"),
                "SetEvent": ("events", "action"),
                "SetBinding": ("bindings", "binding"),
            }[name]
            node.setdefault(field, {})[body["name"]] = body[payload]
        elif name in ("RemoveProp", "RemoveEvent", "RemoveBinding"):
            field = {"RemoveProp": "props", "RemoveEvent": "events", "RemoveBinding": "bindings"}[name]
            node.get(field, {}).pop(body["name"], None)
        elif name == "SetKey":
            node["key"] = body.get("key")
        elif name == "InsertChild":
            children = _child_list(node, body["slot"], create=True)
            if body["index"] > len(children):
                raise PatchMismatch("insertion index")
            children.insert(body["index"], body["node"])
        elif name == "RemoveChild":
            children = _child_list(node, body["slot"])
            if children is None:
                continue
            if body["index"] >= len(children):
                raise PatchMismatch("removal index")
            del children[body["index"]]
            if not children:
                del node["slots"][body["slot"]]
        elif name == "MoveChild":
            children = _child_list(node, body["slot"])
            if children is None:
                continue
            if body["from"] >= len(children) or body["to"] >= len(children):
                raise PatchMismatch("move index")
            children.insert(body["to"], children.pop(body["from"]))
        elif name == "Replace":
            _child_list(parent, slot_of_node)[index] = body["node"]
            if not body["path"]:
                root = body["node"]
        else:
            raise PatchMismatch(f"unknown op {name}")
    return _node_text(root)
