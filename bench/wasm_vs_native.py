"""The WebAssembly module in Node against the native module, on the benchmark's inputs:
`python bench/run.py --mode wasm [--sizes 0.1,1] [--shapes ...] [--rounds 7]`.

Each round times every case once through the extension (in this process) and once through the
JavaScript face (in a Node process, timed there, string and byte conversion included), so both
see the same machine load. The ratio is the WebAssembly time over the native one, each the
fastest of its rounds: on a shared machine that is the best estimate of a call's own cost
(the medians are in wasm.json too). Also gives the size of vorlik.wasm, raw and gzipped.
"""

import gzip
import json
import statistics
import sys
import time
from pathlib import Path

import vorlik

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "wasm"))
from driver import CLIENT, Driver  # noqa: E402

MB = 1_000_000
SIZE_GOAL = 250 * 1024  # gzipped
SPEED_GOAL = 2.0


def cases(sizes, shapes):
    """(name, call, size, args) on the inputs of run.py's cases for diff, apply and decode_frame."""
    import workloads

    for size in sizes:
        target = int(size * MB)
        for shape in shapes:
            changes = workloads.CHANGES_OF[shape]
            for change in changes:
                old, new = workloads.pair(shape, change, target)
                yield f"diff {shape}/{change}", "diff", size, (old, new)
                if shape in ("keyed", "unkeyed") or change in ("reorder", "rows"):
                    yield f"apply(diff) {shape}/{change}", "apply", size, (old, vorlik.diff(old, new))
                if change != changes[0]:
                    continue
                _, changed = workloads.pair(shape, "props", target) if shape != "keyed" else (None, new)
                ops = json.loads(vorlik.diff(old, changed))["ops"][:5]
                small = json.dumps({"ops": ops}, ensure_ascii=False, separators=(",", ":"))
                yield f"apply(5 ops) {shape}", "apply", size, (old, small)
                for codec in ("application/json", "application/msgpack"):
                    frame = vorlik.encode_frame(old, "page", "snapshot", 1, codec)
                    yield f"decode_frame {codec.split('/')[1]} {shape}", "decode_frame", size, (frame,)


def wasm_size(client):
    raw = (client / "vorlik.wasm").read_bytes()
    return len(raw), len(gzip.compress(raw, 9))


def main(args):
    client = Path(args.wasm_client) if args.wasm_client else CLIENT
    raw, zipped = wasm_size(client)
    started = time.time()
    todo = list(cases(args.sizes, args.shapes))
    print(f"{len(todo)} cases generated in {time.time() - started:.0f} s", file=sys.stderr)
    out = Path(args.out)
    out.mkdir(parents=True, exist_ok=True)
    rows = []
    with Driver(client) as wasm:
        for n, (name, call, size, call_args) in enumerate(todo):
            key = f"case{n}"
            wasm.keep(key, *call_args)
            native = getattr(vorlik, call)
            expected = native(*call_args)
            assert wasm.call(call, *call_args) == ("ok", expected), name
            wasm.time(call, key, 3)  # until the engine has optimised the code that this case runs
            ours, theirs = [], []
            for _ in range(args.rounds):
                start = time.perf_counter()
                native(*call_args)
                ours.append(time.perf_counter() - start)
                theirs += wasm.time(call, key, 1)
            inputs = sum(len(a.encode() if isinstance(a, str) else a) for a in call_args)
            native_s, wasm_s = min(ours), min(theirs)
            rows.append(
                {
                    "case": name,
                    "call": call,
                    "size_mb": size,
                    "input_bytes": inputs,
                    "native_s": native_s,
                    "wasm_s": wasm_s,
                    "ratio": wasm_s / native_s,
                    "native_median_s": statistics.median(ours),
                    "wasm_median_s": statistics.median(theirs),
                }
            )
            print(f"{name} {size} MB: {wasm_s / native_s:.2f}x", file=sys.stderr)
    summary = summarize(rows)
    machine = {"seconds": time.time() - started, "rounds": args.rounds, "wasm_bytes": raw, "wasm_gzip_bytes": zipped}
    table = markdown(rows, summary, raw, zipped)
    (out / "wasm.md").write_text(table)
    (out / "wasm.json").write_text(json.dumps({"machine": machine, "rows": rows, "summary": summary}, indent=1))
    print(table)
    print(f"written to {out}/wasm.md and wasm.json")


def summarize(rows):
    groups = {}
    for r in rows:
        groups.setdefault((r["call"], r["size_mb"]), []).append(r)
    return [
        {
            "call": call,
            "size_mb": size,
            "cases": len(g),
            "ratio_median": statistics.median(r["ratio"] for r in g),
            "ratio_min": min(r["ratio"] for r in g),
            "ratio_max": max(r["ratio"] for r in g),
            "within_goal": sum(r["ratio"] <= SPEED_GOAL for r in g),
        }
        for (call, size), g in groups.items()
    ]


def markdown(rows, summary, raw, zipped):
    met = "met" if zipped <= SIZE_GOAL else "MISSED"
    lines = [
        f"vorlik.wasm: {raw / 1024:.0f} KiB, {zipped / 1024:.0f} KiB gzipped "
        f"(goal <= {SIZE_GOAL // 1024} KiB gzipped: {met})",
        "",
        f"| call | MB | cases | wasm / native, median of the cases | range | within {SPEED_GOAL:g}x |",
        "|---|---:|---:|---:|---|---:|",
    ]
    for s in summary:
        lines.append(
            f"| {s['call']} | {s['size_mb']} | {s['cases']} | {s['ratio_median']:.2f} | "
            f"{s['ratio_min']:.2f}-{s['ratio_max']:.2f} | {s['within_goal']} of {s['cases']} |"
        )
    lines += ["", "| case | MB | native ms | wasm ms | wasm / native |", "|---|---:|---:|---:|---:|"]
    for r in rows:
        lines.append(
            f"| {r['case']} | {r['size_mb']} | {r['native_s'] * 1e3:.2f} | {r['wasm_s'] * 1e3:.2f} | {r['ratio']:.2f} |"
        )
    return "\n".join(lines) + "\n"
