"""The benchmark: vorlik against the native floor (a simdjson DOM parse) and Python peers.

    python bench/run.py [--sizes 0.1,1,10] [--shapes table,keyed] [--calls diff,apply,...]
                        [--rounds 7] [--mode time|callgrind|memory|wasm] [--no-memory]
                        [--out build/bench]

time: per case, every contender runs once per round, in turn, and the medians are compared
(ratio = vorlik's time / the peer's time, lower is better); peak memory of each vorlik call is
taken in a fresh process. callgrind: instructions per input byte of each vorlik call and of the
floor, each the difference of two runs of a fresh process, with and without the call. memory:
what the process keeps between calls, in fresh processes: page faults per call on the process's
first thread once a call has been made, and the resident memory a process has grown by after one
call in each of 1, 8 and 16 threads of a pool.
wasm: the WebAssembly module in Node against the native module (bench/wasm_vs_native.py; sizes
0.1 and 1 MB unless given). Writes results.md and results.json into --out (wasm.md, wasm.json).
"""

import argparse
import itertools
import json
import os
import pickle
import statistics
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import vorlik  # noqa: E402

CALLS = ("diff", "apply", "apply_diff", "frames", "parse_cem")
# The core routine behind each module function.
CORE_ROUTINES = {
    "diff": "diff_json",
    "apply": "apply_json",
    "encode_frame": "encode_frame",
    "decode_frame": "decode_frame",
    "parse_cem": "parse_cem",
}
MB = 1_000_000


class Case:
    def __init__(self, name, call, size, args, inputs, floor_texts=(), peers=None, goal=None):
        self.name, self.call, self.size = name, call, size
        self.args = args  # the vorlik function's arguments
        self.inputs = inputs  # bytes the call reads
        self.floor_texts = list(floor_texts)
        self.peers = peers or {}
        self.goal = goal  # (contender, highest ratio) or None

    def ours(self):
        return getattr(vorlik, self.call)(*self.args)


def _peer_libraries():
    import jsonpatch
    import msgpack
    import msgspec
    import orjson
    import ormsgpack
    import simdjson

    return jsonpatch, msgpack, msgspec, orjson, ormsgpack, simdjson


def build_cases(args):
    import pydiff
    import workloads

    jsonpatch, msgpack, msgspec, orjson, ormsgpack, simdjson = _peer_libraries()
    cases = []
    for size in args.sizes:
        target = int(size * MB)
        python_peers = size <= args.python_peers_up_to
        for shape in args.shapes:
            for change in workloads.CHANGES_OF[shape]:
                old, new = workloads.pair(shape, change, target)
                inputs = len(old.encode()) + len(new.encode())
                label = f"{shape}/{change}"
                if "diff" in args.calls:
                    p1, p2 = simdjson.Parser(), simdjson.Parser()
                    peers = {
                        "orjson": lambda o=old, n=new: (orjson.loads(o), orjson.loads(n)),
                        "msgspec": lambda o=old, n=new: (msgspec.json.decode(o), msgspec.json.decode(n)),
                        "pysimdjson": lambda o=old, n=new, p1=p1, p2=p2: (
                            p1.parse(o.encode()) and None,
                            p2.parse(n.encode()) and None,
                        ),
                    }
                    if python_peers:
                        do, dn = orjson.loads(old), orjson.loads(new)
                        peers["jsonpatch.make_patch"] = lambda a=do, b=dn: jsonpatch.make_patch(a, b)
                        peers["python diff"] = lambda a=do, b=dn: pydiff.diff(a, b)
                    cases.append(
                        Case(f"diff {label}", "diff", size, (old, new), inputs, (old, new), peers, ("floor", 2.5))
                    )
                if "apply_diff" in args.calls and (shape in ("keyed", "unkeyed") or change in ("reorder", "rows")):
                    patch = vorlik.diff(old, new)
                    peers = {
                        "vorlik diff": lambda o=old, n=new: vorlik.diff(o, n),
                        "orjson": lambda o=old: orjson.dumps(orjson.loads(o)),
                    }
                    if python_peers:
                        # make_patch matches lists with difflib, quadratic in their length.
                        jp = jsonpatch.make_patch(orjson.loads(old), orjson.loads(new))
                        peers["jsonpatch.apply_patch"] = lambda o=old, p=jp: jsonpatch.apply_patch(orjson.loads(o), p)
                        peers["python apply"] = lambda o=old, p=patch: pydiff.apply(orjson.loads(o), orjson.loads(p))
                    cases.append(
                        Case(
                            f"apply(diff) {label}",
                            "apply",
                            size,
                            (old, patch),
                            len(old.encode()) + len(patch.encode()),
                            (old,),
                            peers,
                            ("vorlik diff", 5.0) if shape == "keyed" and change == "reverse" else None,
                        )
                    )
                if change != workloads.CHANGES_OF[shape][0]:
                    continue
                if "apply" in args.calls:
                    _, changed = workloads.pair(shape, "props", target) if shape != "keyed" else (None, new)
                    ops = json.loads(vorlik.diff(old, changed))["ops"][:5]
                    small = json.dumps({"ops": ops}, ensure_ascii=False, separators=(",", ":"))
                    cases.append(
                        Case(
                            f"apply(5 ops) {shape}",
                            "apply",
                            size,
                            (old, small),
                            len(old.encode()) + len(small.encode()),
                            (old,),
                            {
                                "orjson": lambda o=old: orjson.dumps(orjson.loads(o)),
                                "python apply": lambda o=old, p=small: pydiff.apply(orjson.loads(o), orjson.loads(p)),
                            },
                            ("floor", 2.0),
                        )
                    )
                if "frames" in args.calls:
                    cases.extend(_frame_cases(shape, size, old, orjson, ormsgpack, msgpack, msgspec))
        if "parse_cem" in args.calls:
            manifest = workloads.manifest(target)
            cases.append(
                Case(
                    "parse_cem manifest",
                    "parse_cem",
                    size,
                    (manifest,),
                    len(manifest.encode()),
                    (manifest,),
                    {
                        "orjson": lambda m=manifest: orjson.loads(m),
                        "msgspec": lambda m=manifest: msgspec.json.decode(m),
                    },
                    ("floor", 1.5),
                )
            )
    return cases


def _frame_cases(shape, size, tree, orjson, ormsgpack, msgpack, msgspec):
    sort = orjson.OPT_SORT_KEYS
    packed = ormsgpack.packb(orjson.loads(tree))
    jframe = vorlik.encode_frame(tree, "page", "snapshot", 1, "application/json")
    mframe = vorlik.encode_frame(tree, "page", "snapshot", 1, "application/msgpack")
    n = len(tree.encode())
    return [
        Case(
            f"encode_frame json {shape}",
            "encode_frame",
            size,
            (tree, "page", "snapshot", 1, "application/json"),
            n,
            (tree,),
            {"orjson": lambda: orjson.dumps(orjson.loads(tree))},
        ),
        Case(
            f"encode_frame msgpack {shape}",
            "encode_frame",
            size,
            (tree, "page", "snapshot", 1, "application/msgpack"),
            n,
            (tree,),
            {
                "orjson+ormsgpack": lambda: ormsgpack.packb(orjson.loads(tree)),
                "orjson+msgpack": lambda: msgpack.packb(orjson.loads(tree)),
                "msgspec": lambda: msgspec.msgpack.encode(msgspec.json.decode(tree)),
            },
            ("orjson+ormsgpack", 0.35),
        ),
        Case(
            f"decode_frame json {shape}",
            "decode_frame",
            size,
            (jframe,),
            len(jframe),
            (tree,),
            {
                "orjson": lambda: orjson.dumps(orjson.loads(tree), option=sort),
            },
            ("floor", 1.5),
        ),
        Case(
            f"decode_frame msgpack {shape}",
            "decode_frame",
            size,
            (mframe,),
            len(mframe),
            (tree,),
            {
                "ormsgpack+orjson": lambda: orjson.dumps(ormsgpack.unpackb(packed), option=sort),
                "msgpack+orjson": lambda: orjson.dumps(msgpack.unpackb(packed), option=sort),
            },
            ("ormsgpack+orjson", 0.35),
        ),
    ]


# ---- the native floor


def floor_binary(out):
    binary = out / "floor"
    source = HERE / "floor.cpp"
    if not binary.exists() or binary.stat().st_mtime < source.stat().st_mtime:
        subprocess.run(
            ["g++", "-O2", "-std=c++20", "-Wall", "-Wextra", str(source), "-lsimdjson", "-o", str(binary)], check=True
        )
    return binary


def write_floor_inputs(case, out):
    paths = []
    for i, text in enumerate(case.floor_texts):
        path = out / "inputs" / f"floor{i}.json"
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(text.encode())
        paths.append(str(path))
    return paths


def floor_time(binary, paths, reps=3):
    result = subprocess.run([str(binary), str(reps), *paths], check=True, capture_output=True, text=True)
    return sum(int(line) for line in result.stdout.split()) / 1e9


# ---- fresh-process probes (memory, instruction counts)


def _status(field):
    for line in Path("/proc/self/status").read_text().splitlines():
        if line.startswith(field + ":"):
            return int(line.split()[1]) * 1024
    return 0


def warm_up(call):
    """Calls `call` on tiny inputs of the same kind (both codecs for frames) before the measured
    call: that pages in the module's code, a one-off cost of the process rather than memory the
    call needs for its input."""
    for codec in ("application/json", "application/msgpack"):
        frame = vorlik.encode_frame('{"tag":"a"}', "m", "snapshot", 0, codec)
        tiny = {
            "diff": ('{"tag":"a"}', '{"tag":"b"}'),
            "apply": ('{"tag":"a"}', '{"ops":[]}'),
            "encode_frame": ('{"tag":"a"}', "m", "snapshot", 0, codec),
            "decode_frame": (frame,),
            "parse_cem": ('{"schemaVersion":"1.0.0","modules":[]}',),
        }[call]
        getattr(vorlik, call)(*tiny)


def probe(args_file, skip_call):
    case_args, call = pickle.loads(Path(args_file).read_bytes())
    fn = getattr(vorlik, call)
    warm_up(call)
    before = _status("VmRSS")
    try:
        Path("/proc/self/clear_refs").write_text("5")  # resets the high-water mark to the current size
    except OSError:
        pass
    result = None if skip_call else fn(*case_args)
    peak = _status("VmHWM") - before
    size = len(result) if result is not None else 0
    print(json.dumps({"peak": max(peak, 0), "output": size}))


def probe_file(case, out):
    path = out / "inputs" / "probe.pickle"
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(pickle.dumps((case.args, case.call)))
    return path


def peak_memory(case, out):
    path = probe_file(case, out)
    result = subprocess.run(
        [sys.executable, __file__, "--probe", str(path)], check=True, capture_output=True, text=True
    )
    data = json.loads(result.stdout)
    return data["peak"] / (case.inputs + data["output"])


def callgrind_count(command, out_file):
    options = list(itertools.takewhile(lambda c: c.startswith("--"), command))
    command = command[len(options) :]
    # A fixed string hash: the interpreter's own work then comes out the same in every run.
    subprocess.run(
        ["valgrind", "--tool=callgrind", f"--callgrind-out-file={out_file}", *options, *command],
        check=True,
        capture_output=True,
        env=dict(os.environ, PYTHONHASHSEED="0"),
    )
    for line in Path(out_file).read_text().splitlines():
        if line.startswith(("summary:", "totals:")):
            return int(line.split()[1])
    raise RuntimeError(f"no totals in {out_file}")


def instructions(case, out, floor):
    path = probe_file(case, out)
    grind = out / "callgrind"
    grind.mkdir(exist_ok=True)
    stem = case.name.replace("/", "-").replace(" ", "_") + f"-{case.size}MB"
    probe_cmd = [sys.executable, __file__, "--probe", str(path)]
    # Collecting only inside the core routine spares a second run for the baseline, and the
    # count does not move with the interpreter's start-up. The installed module is stripped of
    # its local symbols, so the routine is found by its exported name; the argument conversion
    # around it (a few hundred instructions) is left out.
    entry = ["--collect-atstart=no", f"--toggle-collect=vorlik::{CORE_ROUTINES[case.call]}(*"]
    ours = callgrind_count(entry + probe_cmd, grind / f"{stem}.out")
    if ours == 0:  # routine not found under that name: count by difference, which start-up
        # noise moves by a few hundred thousand instructions
        ours = callgrind_count(probe_cmd, grind / f"{stem}.out") - callgrind_count(
            probe_cmd + ["--skip-call"], grind / "baseline.out"
        )
    paths = write_floor_inputs(case, out)
    native = callgrind_count([str(floor), "1", *paths], grind / "floor.out") - callgrind_count(
        [str(floor), "0", *paths], grind / "floor0.out"
    )
    return ours, native


# ---- memory kept between calls

THREADS = (1, 8, 16)


def between_probe(args_file, threads):
    """Page faults per call on the first thread (threads == 0), or the resident memory grown by
    after one call in each of `threads` threads kept alive until all have called."""
    import resource
    import threading

    case_args, call = pickle.loads(Path(args_file).read_bytes())
    fn = getattr(vorlik, call)
    warm_up(call)
    if threads == 0:
        fn(*case_args)
        calls = 5
        before = resource.getrusage(resource.RUSAGE_SELF).ru_minflt
        for _ in range(calls):
            fn(*case_args)
        print(json.dumps((resource.getrusage(resource.RUSAGE_SELF).ru_minflt - before) / calls))
        return
    before = _status("VmRSS")
    done = threading.Barrier(threads)

    def work():
        fn(*case_args)
        done.wait()

    pool = [threading.Thread(target=work) for _ in range(threads)]
    for t in pool:
        t.start()
    for t in pool:
        t.join()
    print(json.dumps(max(_status("VmRSS") - before, 0)))


def between_calls(case, out):
    path = probe_file(case, out)

    def run(threads):
        result = subprocess.run(
            [sys.executable, __file__, "--probe", str(path), "--threads", str(threads)],
            check=True,
            capture_output=True,
            text=True,
        )
        return json.loads(result.stdout)

    return {
        "case": case.name,
        "call": case.call,
        "size_mb": case.size,
        "input_bytes": case.inputs,
        "faults_per_call": run(0),
        "kept_bytes": {str(t): run(t) for t in THREADS},
    }


# ---- timing


def timed(fn):
    start = time.perf_counter()
    fn()
    return time.perf_counter() - start


def run_case(case, rounds, slow_limit, floor, out):
    contenders = {"vorlik": case.ours, **case.peers}
    samples = {name: [] for name in contenders}
    once, failed = set(), []
    for name, fn in list(contenders.items()):  # warm-up; a very slow peer runs only once more
        try:
            if timed(fn) > slow_limit and name != "vorlik":
                once.add(name)
        except Exception as error:  # a peer that cannot do this case (jsonpatch's moves) is reported
            if name == "vorlik":
                raise
            failed.append(f"{name}: {type(error).__name__}")
            del contenders[name]
    paths = write_floor_inputs(case, out) if case.floor_texts else []
    samples["floor"] = []
    names = list(contenders)
    for r in range(rounds):
        rotated = names[r % len(names) :] + names[: r % len(names)]
        for name in rotated:
            if name in once and samples[name]:
                continue
            samples[name].append(timed(contenders[name]))
        if paths:
            samples["floor"].append(floor_time(floor, paths))
    return {name: s for name, s in samples.items() if s}, failed


def summarize(case, samples, failed, memory):
    medians = {name: statistics.median(s) for name, s in samples.items()}
    ours = medians["vorlik"]
    vs = samples["vorlik"]
    q = statistics.quantiles(vs, n=4) if len(vs) >= 4 else [min(vs), 0, max(vs)]
    row = {
        "case": case.name,
        "call": case.call,
        "size_mb": case.size,
        "input_bytes": case.inputs,
        "vorlik_s": ours,
        "mb_per_s": case.inputs / MB / ours,
        "spread": (q[2] - q[0]) / ours,
        "ratios": {name: ours / t for name, t in medians.items() if name != "vorlik" and t > 0},
        "medians_s": medians,
        "peak_memory_ratio": memory,
        "goals": [],
        "failed_peers": failed,
    }
    if case.goal:
        peer, limit = case.goal
        if peer in row["ratios"]:
            row["goals"].append({"what": f"<= {limit}x {peer}", "met": row["ratios"][peer] <= limit})
    if memory is not None:
        row["goals"].append({"what": "peak memory <= 3x in+out", "met": memory <= 3.0})
    return row


def markdown(rows, mode):
    if mode == "memory":
        head = " | ".join(f"kept, {t} thread{'s' if t > 1 else ''}" for t in THREADS)
        lines = [
            f"| case | MB | page faults per call, first thread | {head} |",
            "|---|---:|---:|" + "---:|" * len(THREADS),
        ]
        for r in rows:
            kept = " | ".join(f"{r['kept_bytes'][str(t)] / 1e6:.0f} MB" for t in THREADS)
            lines.append(f"| {r['case']} | {r['size_mb']} | {r['faults_per_call']:.0f} | {kept} |")
        return "\n".join(lines) + "\n"
    if mode == "callgrind":
        lines = ["| case | MB | vorlik Ir/B | floor Ir/B | x floor |", "|---|---:|---:|---:|---:|"]
        for r in rows:
            lines.append(
                f"| {r['case']} | {r['size_mb']} | {r['ir_per_byte']:.1f} | "
                f"{r['floor_ir_per_byte']:.1f} | {r['x_floor']:.2f} |"
            )
        return "\n".join(lines) + "\n"
    lines = [
        "| case | MB | vorlik ms | MB/s | spread | x floor | x peers | peak mem | goals |",
        "|---|---:|---:|---:|---:|---:|---|---:|---|",
    ]
    for r in rows:
        peers = ", ".join(
            [f"{name} {x:.2f}" for name, x in r["ratios"].items() if name != "floor"]
            + [f"{f} (failed)" for f in r["failed_peers"]]
        )
        floor = f"{r['ratios']['floor']:.2f}" if "floor" in r["ratios"] else ""
        mem = f"{r['peak_memory_ratio']:.1f}x" if r["peak_memory_ratio"] is not None else ""
        goals = "; ".join(f"{g['what']}: {'met' if g['met'] else 'MISSED'}" for g in r["goals"])
        lines.append(
            f"| {r['case']} | {r['size_mb']} | {r['vorlik_s'] * 1e3:.2f} | {r['mb_per_s']:.0f} | "
            f"{r['spread'] * 100:.0f}% | {floor} | {peers} | {mem} | {goals} |"
        )
    return "\n".join(lines) + "\n"


def check_python_diff(cases):
    """The pure-Python baseline must produce vorlik's patch text, or its timings mean nothing."""
    import orjson
    import pydiff

    for case in cases:
        if "python diff" in case.peers:
            old, new = case.args
            if pydiff.diff(orjson.loads(old), orjson.loads(new)) != vorlik.diff(old, new):
                raise SystemExit(f"python diff differs from vorlik on {case.name}")
        elif case.call == "apply" and "python apply" in case.peers:
            root, patch = case.args
            if pydiff.apply(orjson.loads(root), orjson.loads(patch)) != vorlik.apply(root, patch):
                raise SystemExit(f"python apply differs from vorlik on {case.name}")


def main():
    import workloads

    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--sizes", help="workload sizes in MB, comma-separated (default 0.1,1,10)")
    parser.add_argument("--shapes", default=",".join(workloads.SHAPES))
    parser.add_argument("--calls", default=",".join(CALLS))
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument(
        "--slow-limit", type=float, default=2.0, help="a peer slower than this many seconds is timed once only"
    )
    parser.add_argument(
        "--python-peers-up-to",
        type=float,
        default=2.0,
        metavar="MB",
        help="jsonpatch and the plain Python diff/apply run only up to this size",
    )
    parser.add_argument("--mode", choices=("time", "callgrind", "memory", "wasm"), default="time")
    parser.add_argument("--wasm-client", help="folder of the WebAssembly build (default build/wasm/client)")
    parser.add_argument("--no-memory", action="store_true")
    parser.add_argument("--out", default="build/bench")
    parser.add_argument("--probe", help=argparse.SUPPRESS)
    parser.add_argument("--skip-call", action="store_true", help=argparse.SUPPRESS)
    parser.add_argument("--threads", type=int, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.probe and args.threads is not None:
        return between_probe(args.probe, args.threads)
    if args.probe:
        return probe(args.probe, args.skip_call)
    args.sizes = [float(s) for s in (args.sizes or ("0.1,1" if args.mode == "wasm" else "0.1,1,10")).split(",")]
    args.shapes = args.shapes.split(",")
    args.calls = args.calls.split(",")
    if args.mode == "wasm":
        import wasm_vs_native

        return wasm_vs_native.main(args)
    out = Path(args.out)
    out.mkdir(parents=True, exist_ok=True)
    floor = floor_binary(out)
    started = time.time()
    cases = build_cases(args)
    for case in cases:
        if case.size > args.python_peers_up_to:
            case.peers = {k: v for k, v in case.peers.items() if not k.startswith(("jsonpatch", "python"))}
    print(f"{len(cases)} cases generated in {time.time() - started:.0f} s", file=sys.stderr)
    check_python_diff(cases)
    rows = []
    for case in cases:
        if args.mode == "memory":
            rows.append(between_calls(case, out))
        elif args.mode == "callgrind":
            ours, native = instructions(case, out, floor)
            rows.append(
                {
                    "case": case.name,
                    "call": case.call,
                    "size_mb": case.size,
                    "input_bytes": case.inputs,
                    "ir": ours,
                    "ir_per_byte": ours / case.inputs,
                    "floor_ir": native,
                    "floor_ir_per_byte": native / case.inputs,
                    "x_floor": ours / native if native else 0,
                }
            )
        else:
            samples, failed = run_case(case, args.rounds, args.slow_limit, floor, out)
            memory = None if args.no_memory else peak_memory(case, out)
            rows.append(summarize(case, samples, failed, memory))
        print(f"{case.name} {case.size} MB done", file=sys.stderr)
    machine = {
        "cpu": _cpu(),
        "cores": os.cpu_count(),
        "python": sys.version.split()[0],
        "load": os.getloadavg(),
        "seconds": time.time() - started,
        "mode": args.mode,
    }
    table = markdown(rows, args.mode)
    (out / "results.md").write_text(f"{table}\n{json.dumps(machine)}\n")
    (out / "results.json").write_text(json.dumps({"machine": machine, "rows": rows}, indent=1))
    print(table)
    print(f"machine: {machine}; written to {out}/results.md and results.json")


def _cpu():
    for line in Path("/proc/cpuinfo").read_text().splitlines():
        if line.startswith("model name"):
            return line.split(":", 1)[1].strip()
    return "unknown"


if __name__ == "__main__":
    main()
