"""The tree builder against building the same tree by hand as tagged dicts.

    python bench/builder.py [--sizes 0.1,1] [--shapes table,cards,values] [--rounds 9]
                            [--mode time|callgrind] [--out build/bench]

Each shape is a host's view function run on the same seeded application data three ways:
`builder` makes `vorlik_tree.Node`s and writes them with `to_json()`; `dicts+json.dumps` makes
the tagged dicts by hand and writes them with the standard library's `json.dumps` (compact,
UTF-8 as is); `dicts+orjson` writes the same dicts with orjson when it is installed. `vorlik.diff`
of the tree and a changed copy is the yardstick of what the host does next with the text.
time: medians of interleaved rounds, ratios to the builder (lower is better for the builder).
callgrind: instructions of each contender in a fresh process, less those of a process that only
prepares its data, which the machine's load does not move. Writes builder.md into --out.
"""

import argparse
import json
import random
import statistics
import subprocess
import sys
import time
from pathlib import Path

import vorlik
from vorlik_tree import Binding, Emit, Id, Lit, Node, Not, Prop, SendPatch, SetProp, This

MB = 1_000_000
SHAPES = ("table", "cards", "values")
WORDS = ["plain text", "naïve café", "日本語", 'quote " and \\', "tab\tline\nfeed", "/slash/", "emoji \U0001f600"]


def rows(n, seed):
    rnd = random.Random(seed)
    return [
        {
            "id": f"r{i}",
            "label": f"{rnd.choice(WORDS)} {rnd.randrange(10**6)}",
            "n": rnd.randrange(-(10**9), 10**9),
            "price": round(rnd.uniform(0, 1e4), 2),
            "done": rnd.random() < 0.5,
            "tags": [rnd.choice(WORDS) for _ in range(rnd.randrange(4))],
            "series": [rnd.uniform(-1, 1) for _ in range(40)],
        }
        for i in range(n)
    ]


# ---- the builder


SELECT = SetProp(This(), "selected", Not(Prop(This(), "selected")))


def table_built(data):
    return Node(
        "data-table",
        props={"title": "Orders", "count": len(data)},
        slots={
            "rows": [
                Node(
                    "table-row",
                    r["id"],
                    props={"label": r["label"], "n": r["n"], "price": r["price"], "done": r["done"], "note": None},
                    events={"click": SetProp(Id(r["id"]), "selected", Lit(True))},
                )
                for r in data
            ]
        },
    ).to_json()


def cards_built(data):
    return Node(
        "card-grid",
        slots={
            "": [
                Node(
                    "ui-card",
                    r["id"],
                    props={"heading": r["label"], "tags": r["tags"], "meta": {"n": r["n"], "done": r["done"]}},
                    slots={
                        "body": [Node("ui-text", props={"text": r["label"]})],
                        "footer": [
                            Node(
                                "ui-button",
                                props={"variant": "primary", "label": "Open"},
                                events={"press": SendPatch("orders", r["id"], Lit(r["n"])), "hover": SELECT},
                            )
                        ],
                    },
                    bindings={"open": Binding("two-way", "open_" + r["id"])},
                )
                for r in data
            ]
        },
    ).to_json()


def values_built(data):
    return Node(
        "chart-panel",
        slots={
            "charts": [
                Node(
                    "line-chart",
                    r["id"],
                    props={"points": r["series"], "label": r["label"], "range": [-1.0, 1.0]},
                    events={"pick": Emit("picked", Lit(r["id"]))},
                )
                for r in data
            ]
        },
    ).to_json()


# ---- by hand


SELECT_DICT = {
    "kind": "set",
    "target": {"ref": "this"},
    "prop": "selected",
    "value": {"expr": "not", "of": {"expr": "prop", "target": {"ref": "this"}, "name": "selected"}},
}


def table_dicts(data):
    return {
        "tag": "data-table",
        "props": {"title": {"Str": "Orders"}, "count": {"Int": len(data)}},
        "slots": {
            "rows": [
                {
                    "tag": "table-row",
                    "key": r["id"],
                    "props": {
                        "label": {"Str": r["label"]},
                        "n": {"Int": r["n"]},
                        "price": {"Float": r["price"]},
                        "done": {"Bool": r["done"]},
                        "note": "Null",
                    },
                    "events": {
                        "click": {
                            "kind": "set",
                            "target": {"ref": "id", "id": r["id"]},
                            "prop": "selected",
                            "value": {"expr": "lit", "value": True},
                        }
                    },
                }
                for r in data
            ]
        },
    }


def cards_dicts(data):
    return {
        "tag": "card-grid",
        "slots": {
            "": [
                {
                    "tag": "ui-card",
                    "key": r["id"],
                    "props": {
                        "heading": {"Str": r["label"]},
                        "tags": {"List": [{"Str": t} for t in r["tags"]]},
                        "meta": {"Map": {"n": {"Int": r["n"]}, "done": {"Bool": r["done"]}}},
                    },
                    "slots": {
                        "body": [{"tag": "ui-text", "props": {"text": {"Str": r["label"]}}}],
                        "footer": [
                            {
                                "tag": "ui-button",
                                "props": {"variant": {"Str": "primary"}, "label": {"Str": "Open"}},
                                "events": {
                                    "press": {
                                        "kind": "patch",
                                        "model": "orders",
                                        "field": r["id"],
                                        "value": {"expr": "lit", "value": r["n"]},
                                    },
                                    "hover": SELECT_DICT,
                                },
                            }
                        ],
                    },
                    "bindings": {"open": {"field": "open_" + r["id"], "mode": "two-way"}},
                }
                for r in data
            ]
        },
    }


def values_dicts(data):
    return {
        "tag": "chart-panel",
        "slots": {
            "charts": [
                {
                    "tag": "line-chart",
                    "key": r["id"],
                    "props": {
                        "points": {"List": [{"Float": x} for x in r["series"]]},
                        "label": {"Str": r["label"]},
                        "range": {"List": [{"Float": -1.0}, {"Float": 1.0}]},
                    },
                    "events": {
                        "pick": {"kind": "emit", "event": "picked", "detail": {"expr": "lit", "value": r["id"]}}
                    },
                }
                for r in data
            ]
        },
    }


BUILT = {"table": table_built, "cards": cards_built, "values": values_built}
DICTS = {"table": table_dicts, "cards": cards_dicts, "values": values_dicts}


def data_for(shape, size):
    """Application data whose tree is about `size` bytes when written."""
    probe = rows(50, 1)
    per_row = len(BUILT[shape](probe).encode()) / len(probe)
    return rows(max(1, round(size / per_row)), 7)


def contenders(shape, data):
    build, dicts = BUILT[shape], DICTS[shape]
    found = {
        "builder": lambda: build(data),
        "dicts+json.dumps": lambda: json.dumps(dicts(data), ensure_ascii=False, separators=(",", ":")),
    }
    try:
        import orjson

        found["dicts+orjson"] = lambda: orjson.dumps(dicts(data))
    except ImportError:
        pass
    old = build(data)
    changed = [dict(r, label=r["label"] + "!") if i % 10 == 0 else r for i, r in enumerate(data)]
    new = build(changed)
    found["vorlik.diff"] = lambda: vorlik.diff(old, new)
    return found


def check(shape, data):
    """The builder's text is vorlik's normal form, and the hand-made dicts are the same tree."""
    text = BUILT[shape](data)
    hand = json.dumps(DICTS[shape](data), ensure_ascii=False, separators=(",", ":"))
    if vorlik.apply(text, '{"ops":[]}') != text or vorlik.apply(hand, '{"ops":[]}') != text:
        raise SystemExit(f"{shape}: the builder and the hand-made dicts disagree")
    return len(text.encode())


def probe(shape, size, name):
    found = contenders(shape, data_for(shape, size))  # the baseline ("-") prepares the same
    if name in found:
        found[name]()


def instructions(shape, size, name, out):
    def count(which):
        path = out / f"builder-{shape}-{size}-{which.replace('+', '_')}.callgrind"
        subprocess.run(
            [
                "valgrind",
                "--tool=callgrind",
                f"--callgrind-out-file={path}",
                sys.executable,
                __file__,
                "--probe",
                shape,
                str(size),
                which,
            ],
            check=True,
            capture_output=True,
        )
        for line in path.read_text().splitlines():
            if line.startswith(("summary:", "totals:")):
                return int(line.split()[1])
        raise RuntimeError(f"no totals in {path}")

    return count(name) - count("-")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--sizes", default="0.1,1")
    parser.add_argument("--shapes", default=",".join(SHAPES))
    parser.add_argument("--rounds", type=int, default=9)
    parser.add_argument("--mode", choices=("time", "callgrind"), default="time")
    parser.add_argument("--out", default="build/bench")
    parser.add_argument("--probe", nargs=3, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.probe:
        return probe(args.probe[0], float(args.probe[1]) * MB, args.probe[2])
    out = Path(args.out)
    out.mkdir(parents=True, exist_ok=True)
    unit = "ms" if args.mode == "time" else "M instructions"
    lines = [
        f"| shape | MB | builder {unit} | x dicts+json.dumps | x dicts+orjson | x vorlik.diff |",
        "|---|---:|---:|---:|---:|---:|",
    ]
    for size in (float(s) for s in args.sizes.split(",")):
        for shape in args.shapes.split(","):
            data = data_for(shape, size * MB)
            written = check(shape, data)
            fns = contenders(shape, data)
            if args.mode == "time":
                samples = {name: [] for name in fns}
                for r in range(args.rounds):
                    names = list(fns)[r % len(fns) :] + list(fns)[: r % len(fns)]
                    for name in names:
                        start = time.perf_counter()
                        fns[name]()
                        samples[name].append(time.perf_counter() - start)
                cost = {name: statistics.median(s) * 1e3 for name, s in samples.items()}
            else:
                cost = {name: instructions(shape, size, name, out) / 1e6 for name in fns}
            ours = cost["builder"]
            ratio = {name: f"{ours / c:.2f}" if c > 0 else "" for name, c in cost.items()}
            lines.append(
                f"| {shape} | {written / MB:.2f} | {ours:.1f} | {ratio['dicts+json.dumps']} | "
                f"{ratio.get('dicts+orjson', '')} | {ratio['vorlik.diff']} |"
            )
            print(lines[-1], flush=True)
    table = "\n".join(lines) + "\n"
    (out / "builder.md").write_text(table)
    print(f"\nwritten to {out}/builder.md")


if __name__ == "__main__":
    main()
