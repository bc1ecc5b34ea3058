"""Benchmarks: vorlik against what a host would otherwise do in Python, in the same run.

Each line reports vorlik's time for one call and the ratio to the pure-Python baseline (orjson),
best of several repetitions. Lower ratios are better; the targets are the ones the module is
designed for.
"""

import json
import random
import time

import orjson

import vorlik


def best(fn, repeat=15):
    fn()
    times = []
    for _ in range(repeat):
        t0 = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t0)
    return min(times)


def make_tree(rows, seed, changes=0.0):
    """A realistic page: a keyed table of rows, each with props, a handler and a few cells."""
    rnd = random.Random(seed)
    items = []
    for i in range(rows):
        label = f"row {i}" if rnd.random() >= changes else f"row {i} (edited)"
        items.append({
            "tag": "table-row",
            "key": f"r{i}",
            "props": {
                "label": {"Str": label},
                "count": {"Int": i * 7},
                "ratio": {"Float": i / 3},
                "selected": {"Bool": i % 5 == 0},
            },
            "events": {
                "click": {"kind": "set", "target": {"ref": "id", "id": f"r{i}"}, "prop": "selected",
                          "value": {"expr": "not", "of": {"expr": "prop", "target": {"ref": "this"},
                                                          "name": "selected"}}},
            },
            "slots": {"cells": [
                {"tag": "table-cell", "props": {"text": {"Str": f"cell {i}.{c}"}}} for c in range(3)
            ]},
        })
    if changes:
        rnd.shuffle(items[: rows // 10])
    return {"tag": "data-table", "props": {"title": {"Str": "Report"}},
            "bindings": {"filter": {"field": "q", "mode": "two-way"}},
            "slots": {"rows": items}}


def sized_tree(target_bytes, seed, changes=0.0):
    rows = 100
    while len(json.dumps(make_tree(rows, seed))) < target_bytes:
        rows = int(rows * 1.5)
    return json.dumps(make_tree(rows, seed, changes), separators=(",", ":"))


def make_manifest(target_bytes):
    modules = []
    n = 0
    size = 0
    while size < target_bytes:
        decl = {
            "kind": "class", "customElement": True, "tagName": f"x-widget-{n}", "name": f"XWidget{n}",
            "description": "A widget. " * 8,
            "attributes": [{"name": f"attr-{k}", "type": {"text": "'a' | 'b' | undefined"},
                            "default": "'a'", "description": "An attribute.", "fieldName": f"a{k}"}
                           for k in range(6)],
            "members": [{"kind": "field", "name": f"m{k}", "privacy": "public",
                         "type": {"text": "string"}} for k in range(8)],
            "events": [{"name": "change", "type": {"text": "CustomEvent"}}],
            "slots": [{"name": "", "description": "Default slot"}],
        }
        modules.append({"kind": "javascript-module", "path": f"src/w{n}.js", "declarations": [decl],
                        "exports": [{"kind": "js", "name": f"XWidget{n}"}]})
        size += len(json.dumps(decl)) + 120
        n += 1
    return json.dumps({"schemaVersion": "1.0.0", "modules": modules})


def report(name, ours, theirs, target):
    ratio = ours / theirs
    flag = "ok" if ratio <= target else "over target"
    print(f"{name:<46} {ours * 1e3:8.2f} ms   ratio {ratio:5.2f} (target <= {target}) {flag}")


def main():
    old = sized_tree(1_000_000, seed=1)
    new = sized_tree(1_000_000, seed=1, changes=0.05)
    print(f"trees: {len(old) / 1e6:.2f} MB and {len(new) / 1e6:.2f} MB")

    patch = vorlik.diff(old, new)
    assert vorlik.apply(old, patch) == vorlik.apply(new, '{"ops":[]}')
    report("diff(old, new) vs orjson.loads of both",
           best(lambda: vorlik.diff(old, new)),
           best(lambda: (orjson.loads(old), orjson.loads(new))), 0.2)

    small = json.dumps({"ops": [{"SetProp": {"path": [{"slot": "rows", "index": 3}], "name": "label",
                                             "value": {"Str": "x"}}}]})
    report("apply(tree, small patch) vs loads+dumps",
           best(lambda: vorlik.apply(old, small)),
           best(lambda: orjson.dumps(orjson.loads(old))), 0.25)

    frame = vorlik.encode_frame(old, "table", "snapshot", 1, "application/json")
    report("decode_frame(1 MB JSON frame) vs loads+dumps",
           best(lambda: vorlik.decode_frame(frame)),
           best(lambda: orjson.dumps(orjson.loads(old))), 0.25)

    mframe = vorlik.encode_frame(old, "table", "snapshot", 1, "application/msgpack")
    report("decode_frame(1 MB MessagePack frame) vs loads+dumps",
           best(lambda: vorlik.decode_frame(mframe)),
           best(lambda: orjson.dumps(orjson.loads(old))), 1.0)

    manifest = make_manifest(5_000_000)
    print(f"manifest: {len(manifest) / 1e6:.2f} MB")
    report("parse_cem(manifest) vs orjson.loads",
           best(lambda: vorlik.parse_cem(manifest), repeat=7),
           best(lambda: orjson.loads(manifest), repeat=7), 0.2)


if __name__ == "__main__":
    main()
