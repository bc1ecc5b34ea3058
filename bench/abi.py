"""The cost of the stable ABI per call: two builds of the module, one against CPython's stable ABI
(abi3) and one against the running interpreter's own, called on the same small inputs (trees of
about 100 bytes), where the binding's share of a call is largest.

    python bench/abi.py ABI3_SO OWN_SO [--mode time|callgrind] [--rounds 15] [--calls 2000]

time: per input, the two builds run batches of calls in turn, round after round, and the
medians of the batches are compared. callgrind: instructions per call, each the difference
between a fresh process making the calls and one that only loads the module and its inputs.
`make bench-abi` builds both modules and runs this.
"""

import argparse
import importlib.util
import os
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

OLD = '{"tag":"ul","props":{"title":{"Str":"Inbox"}},"slots":{"items":[{"tag":"li","key":"a"}]}}'
NEW = '{"tag":"ul","props":{"title":{"Str":"Sent"}},"slots":{"items":[{"tag":"li","key":"b"}]}}'
PATCH = '{"ops":[{"SetProp":{"path":[],"name":"title","value":{"Str":"Sent"}}}]}'
MANIFEST = (
    '{"schemaVersion":"1.0.0","modules":[{"kind":"javascript-module","path":"a.js",'
    '"declarations":[{"kind":"class","name":"A","customElement":true,"tagName":"x-a"}]}]}'
)


def inputs(module):
    """Each measured call: a name and its arguments (about 100 bytes of JSON each)."""
    frame = module.encode_frame(OLD, "m", "snapshot", 7, "application/json")
    return {
        "diff": (module.diff, (OLD, NEW)),
        "apply": (module.apply, (OLD, PATCH)),
        "encode_frame": (module.encode_frame, (OLD, "m", "snapshot", 7, "application/msgpack")),
        "decode_frame": (module.decode_frame, (frame,)),
        "parse_cem": (module.parse_cem, (MANIFEST,)),
        "Example": (module.Example, ("hi",)),
        "type error": (module.diff, (1, NEW)),
    }


def load(path):
    """The module built into path, under its own name (two builds can be loaded side by side)."""
    spec = importlib.util.spec_from_file_location("vorlik", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def batch(fn, args, calls):
    start = time.perf_counter()
    for _ in range(calls):
        try:
            fn(*args)
        except TypeError:
            pass
    return (time.perf_counter() - start) / max(calls, 1)


def timed(paths, rounds, calls):
    builds = [inputs(load(p)) for p in paths]
    rows = {}
    for name in builds[0]:
        samples = [[] for _ in builds]
        for r in range(rounds):
            for i in range(len(builds)) if r % 2 == 0 else reversed(range(len(builds))):
                samples[i].append(batch(*builds[i][name], calls))
        rows[name] = [statistics.median(s) * 1e9 for s in samples]
    return rows, "ns per call (median of batches)"


def probe(path, name, calls):
    fn, args = inputs(load(path))[name]
    batch(fn, args, calls)


def instructions(path, name, calls, work):
    out = Path(work) / "callgrind.out"
    # A fixed hash seed keeps the interpreter's own work the same from one process to the next.
    subprocess.run(
        [
            "valgrind",
            "--tool=callgrind",
            f"--callgrind-out-file={out}",
            sys.executable,
            __file__,
            "--probe",
            str(path),
            name,
            str(calls),
        ],
        check=True,
        capture_output=True,
        env=dict(os.environ, PYTHONHASHSEED="0"),
    )
    for line in out.read_text().splitlines():
        if line.startswith(("summary:", "totals:")):
            return int(line.split()[1])
    raise RuntimeError("no totals")


def counted(paths, calls):
    names = list(inputs(load(paths[0])))
    with tempfile.TemporaryDirectory() as work:
        base = [instructions(p, names[0], 0, work) for p in paths]
        rows = {name: [(instructions(p, name, calls, work) - b) / calls for p, b in zip(paths, base)] for name in names}
    return rows, "instructions per call"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("abi3", nargs="?")
    parser.add_argument("own", nargs="?")
    parser.add_argument("--mode", choices=("time", "callgrind"), default="time")
    parser.add_argument("--rounds", type=int, default=15)
    parser.add_argument("--calls", type=int, default=2000)
    parser.add_argument("--probe", nargs=3, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.probe:
        return probe(args.probe[0], args.probe[1], int(args.probe[2]))
    paths = [Path(args.abi3).resolve(), Path(args.own).resolve()]
    if args.mode == "time":
        rows, unit = timed(paths, args.rounds, args.calls)
    else:
        rows, unit = counted(paths, args.calls)
    print(f"| call | abi3 | own ABI | abi3 / own |   ({unit}, Python {sys.version.split()[0]})")
    print("|---|---:|---:|---:|")
    for name, (ours, own) in rows.items():
        print(f"| {name} | {ours:.0f} | {own:.0f} | {ours / own:.3f} |")


if __name__ == "__main__":
    main()
