"""Seeded workloads: trees of several shapes at a target size, changed in several ways, plus
manifests. The same seed and size always give the same texts."""

import copy
import json
import random

import vorlik

EMPTY_PATCH = '{"ops":[]}'


def normal(tree):
    """The tree's text as vorlik writes it, so loaded dicts are already in normal form."""
    return vorlik.apply(json.dumps(tree, ensure_ascii=False, separators=(",", ":")), EMPTY_PATCH)


def _str(rnd, i):
    pieces = [
        "plain text",
        "naïve café",
        "日本語のテキスト",
        'quote " and \\ back',
        "tab\tline\nfeed",
        "\u0001ctrl",
        "emoji \U0001f600",
        "/slash/",
    ]
    return f"{pieces[i % len(pieces)]} {rnd.randrange(10**6)}"


def _value(rnd, i, depth=0):
    kind = i % 8
    if kind == 0:
        return "Null"
    if kind == 1:
        return {"Bool": rnd.random() < 0.5}
    if kind == 2:
        return {"Int": rnd.randrange(-(2**63), 2**63)}
    if kind == 3:
        return {"Float": rnd.choice([rnd.uniform(-1e3, 1e3), rnd.uniform(0, 1e-7), rnd.uniform(1e16, 1e20), -0.0])}
    if kind == 4:
        return {"Str": _str(rnd, i) * rnd.choice([1, 1, 20])}
    if kind == 5 and depth < 3:
        return {"List": [_value(rnd, i + k + 1, depth + 1) for k in range(4)]}
    if kind == 6 and depth < 3:
        return {"Map": {f"m{k}": _value(rnd, i + k + 2, depth + 1) for k in range(4)}}
    return {"Submodel": rnd.randrange(2**64)}


def _click(i):
    return {
        "kind": "set",
        "target": {"ref": "id", "id": f"r{i}"},
        "prop": "selected",
        "value": {"expr": "not", "of": {"expr": "prop", "target": {"ref": "this"}, "name": "selected"}},
    }


def _action(rnd, depth=0):
    kind = rnd.randrange(7 if depth < 4 else 4)
    if kind == 0:
        return _click(rnd.randrange(1000))
    if kind == 1:
        return {"kind": "toggle-field", "field": f"f{rnd.randrange(100)}"}
    if kind == 2:
        return {"kind": "emit", "event": "changed", "detail": _expr(rnd)}
    if kind == 3:
        return {
            "kind": "call",
            "method": "POST",
            "url": {"expr": "concat", "parts": [{"expr": "lit", "value": "/api/"}, {"expr": "field", "name": "id"}]},
            "body": {"expr": "obj", "fields": {"a": {"expr": "event"}, "b": _expr(rnd)}},
            "result": "r",
        }
    if kind in (4, 5):
        return {"kind": "seq", "actions": [_action(rnd, depth + 1) for _ in range(3)]}
    return {
        "kind": "if",
        "cond": _expr(rnd),
        "then": _action(rnd, depth + 1),
        "else": _action(rnd, depth + 1) if rnd.random() < 0.5 else None,
    }


def _expr(rnd, depth=0):
    kind = rnd.randrange(5 if depth < 3 else 3)
    if kind == 0:
        return {"expr": "lit", "value": rnd.choice([1, -2, 2.5, "s", True, None, [1, {"k": "v"}]])}
    if kind == 1:
        return {"expr": "field", "name": f"f{rnd.randrange(50)}"}
    if kind == 2:
        return {"expr": "prop", "target": {"ref": "this"}, "name": "value"}
    if kind == 3:
        return {"expr": "not", "of": _expr(rnd, depth + 1)}
    return {"expr": "concat", "parts": [_expr(rnd, depth + 1) for _ in range(2)]}


# Each shape builds a tree of n units; the generator grows n until the text reaches the size.


def table(rnd, n):
    rows = [
        {
            "tag": "table-row",
            "key": f"r{i}",
            "props": {
                "label": {"Str": f"row {i}"},
                "count": {"Int": i * 7},
                "ratio": {"Float": i / 3},
                "selected": {"Bool": i % 5 == 0},
            },
            "events": {"click": _click(i)},
            "slots": {"cells": [{"tag": "table-cell", "props": {"text": {"Str": f"cell {i}.{c}"}}} for c in range(3)]},
        }
        for i in range(n)
    ]
    return {
        "tag": "data-table",
        "props": {"title": {"Str": "Report"}},
        "bindings": {"filter": {"field": "q", "mode": "two-way"}},
        "slots": {"rows": rows},
    }


def cards(rnd, n):
    def card(s, c):
        return {
            "tag": "x-card",
            "key": f"c{s}.{c}",
            "props": {"elevation": {"Int": c % 3}},
            "slots": {
                "header": [{"tag": "h3", "props": {"text": {"Str": f"Card {s}.{c}"}}}],
                "body": [
                    {
                        "tag": "x-stack",
                        "slots": {
                            "items": [
                                {
                                    "tag": "x-chip",
                                    "key": f"k{k}",
                                    "props": {"label": {"Str": f"chip {k}"}},
                                    "slots": {"icon": [{"tag": "x-icon", "props": {"name": {"Str": "star"}}}]},
                                }
                                for k in range(3)
                            ]
                        },
                    }
                ],
                "footer": [{"tag": "x-button", "events": {"click": {"kind": "toggle-field", "field": f"open{s}.{c}"}}}],
            },
        }

    sections = [
        {
            "tag": "x-section",
            "key": f"s{s}",
            "props": {"title": {"Str": f"Section {s}"}},
            "slots": {"cards": [card(s, c) for c in range(8)]},
        }
        for s in range(n)
    ]
    return {"tag": "x-page", "slots": {"main": sections}}


def values(rnd, n):
    items = [
        {"tag": "x-field", "key": f"v{i}", "props": {f"p{k}": _value(rnd, i + k) for k in range(8)}} for i in range(n)
    ]
    return {"tag": "x-form", "slots": {"fields": items}}


def events(rnd, n):
    items = [
        {"tag": "x-control", "key": f"e{i}", "events": {name: _action(rnd) for name in ("click", "input", "blur")}}
        for i in range(n)
    ]
    return {"tag": "x-app", "slots": {"controls": items}}


def floats(rnd, n):
    items = [
        {
            "tag": "x-path",
            "key": f"p{i}",
            "props": {"points": {"List": [{"Float": rnd.uniform(-180, 180)} for _ in range(200)]}},
        }
        for i in range(n)
    ]
    return {"tag": "x-map", "slots": {"layers": items}}


def comb(rnd, n):
    def chain(c):
        node = {"tag": "x-leaf", "props": {"v": {"Int": c}}}
        for level in range(39):
            node = {
                "tag": "x-link",
                "key": f"c{c}.{level}",
                "props": {"depth": {"Int": level}},
                "slots": {"next": [node]},
            }
        return node

    return {"tag": "x-comb", "slots": {"chains": [chain(c) for c in range(n)]}}


def keyed(rnd, n):
    items = [{"tag": "li", "key": f"k{i}", "props": {"label": {"Str": f"item {i}"}}} for i in range(n * 100)]
    return {"tag": "ul", "slots": {"items": items}}


def unkeyed(rnd, n):
    items = [{"tag": "li", "props": {"label": {"Str": f"item {i}"}, "n": {"Int": i}}} for i in range(n * 100)]
    return {"tag": "ul", "slots": {"items": items}}


SHAPES = {f.__name__: f for f in (table, cards, values, events, floats, comb, keyed, unkeyed)}


def _nodes(tree):
    stack = [tree]
    while stack:
        node = stack.pop()
        yield node
        for children in node.get("slots", {}).values():
            stack.extend(children)


def _largest_slot(tree):
    return max((c for node in _nodes(tree) for c in node.get("slots", {}).values()), key=len)


def change_same(rnd, tree):
    return tree


def change_props(rnd, tree):
    """About 1% of the properties get a new value."""
    for node in _nodes(tree):
        for name in node.get("props", {}):
            if rnd.random() < 0.01:
                node["props"][name] = {"Str": f"changed {rnd.randrange(10**6)}"}
    return tree


def change_rows(rnd, tree):
    """1% of the largest list's children removed, 1% fresh ones inserted."""
    children = _largest_slot(tree)
    count = max(1, len(children) // 100)
    for _ in range(min(count, len(children) - 1)):
        del children[rnd.randrange(len(children))]
    for i in range(count):
        fresh = copy.deepcopy(children[rnd.randrange(len(children))])
        if fresh.get("key") is not None:
            fresh["key"] = f"new{i}"
        children.insert(rnd.randrange(len(children) + 1), fresh)
    return tree


def change_reorder(rnd, tree):
    """A tenth of the largest list's children shuffled in place."""
    children = _largest_slot(tree)
    start = len(children) // 3
    block = children[start : start + max(2, len(children) // 10)]
    rnd.shuffle(block)
    children[start : start + len(block)] = block
    return tree


def change_root_tag(rnd, tree):
    tree["tag"] += "-v2"
    return tree


def change_reverse(rnd, tree):
    _largest_slot(tree).reverse()
    return tree


def change_shuffle(rnd, tree):
    rnd.shuffle(_largest_slot(tree))
    return tree


def change_front(rnd, tree):
    children = _largest_slot(tree)
    fresh = copy.deepcopy(children[0])
    fresh["key"] = "front"
    children.insert(0, fresh)
    return tree


def change_alternate(rnd, tree):
    for i, child in enumerate(_largest_slot(tree)):
        if i % 2:
            child["props"]["label"] = {"Str": f"changed {i}"}
    return tree


CHANGES = {
    f.__name__[len("change_") :]: f
    for f in (
        change_same,
        change_props,
        change_rows,
        change_reorder,
        change_root_tag,
        change_reverse,
        change_shuffle,
        change_front,
        change_alternate,
    )
}

GENERAL = ("same", "props", "rows", "root_tag")
CHANGES_OF = {
    "table": GENERAL + ("reorder",),
    "cards": GENERAL,
    "values": GENERAL,
    "events": GENERAL,
    "floats": GENERAL,
    "comb": GENERAL,
    "keyed": ("reverse", "shuffle", "front"),
    "unkeyed": ("alternate",),
}


def sized(shape, target_bytes, seed):
    """The shape's tree whose text is at least about target_bytes long."""
    build = SHAPES[shape]
    n = 1
    while True:
        tree = build(random.Random(seed), n)
        size = len(json.dumps(tree, ensure_ascii=False, separators=(",", ":")).encode())
        if size >= target_bytes * 0.95:
            return tree
        n = max(n + 1, int(n * target_bytes / size))


def pair(shape, change, target_bytes, seed=1):
    """(old, new) texts in normal form."""
    old = sized(shape, target_bytes, seed)
    new = CHANGES[change](random.Random(seed + 1), copy.deepcopy(old))
    return normal(old), normal(new)


def manifest(target_bytes, seed=1):
    rnd = random.Random(seed)
    modules, size, n = [], 0, 0
    while size < target_bytes:
        decl = {
            "kind": "class",
            "customElement": True,
            "tagName": f"x-widget-{n}",
            "name": f"XWidget{n}",
            "description": "A widget. " * rnd.randrange(1, 10),
            "attributes": [
                {
                    "name": f"attr-{k}",
                    "type": {"text": rnd.choice(["'a' | 'b' | undefined", "number", "boolean", "string"])},
                    "default": "'a'",
                    "description": "An attribute.",
                    "fieldName": f"a{k}",
                }
                for k in range(6)
            ],
            "members": [
                {"kind": "field", "name": f"m{k}", "privacy": "public", "type": {"text": "string"}} for k in range(8)
            ],
            "events": [{"name": "change", "type": {"text": "CustomEvent"}}],
            "slots": [{"name": "", "description": "Default slot"}],
        }
        module = {
            "kind": "javascript-module",
            "path": f"src/w{n}.js",
            "declarations": [decl],
            "exports": [{"kind": "js", "name": f"XWidget{n}"}],
        }
        modules.append(module)
        size += len(json.dumps(module))
        n += 1
    return json.dumps({"schemaVersion": "1.0.0", "modules": modules}, separators=(",", ":"))
