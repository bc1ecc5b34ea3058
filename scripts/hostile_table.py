"""Runs every hostile input of tests/hostile_inputs.py in a fresh interpreter and prints a
markdown table: the input, its size, what came of it, the time the call took and the memory it
added at its peak (also as a multiple of input plus output).

    python scripts/hostile_table.py           the hostile inputs
    python scripts/hostile_table.py --cost    the pairs of tests/cost_inputs.py: each hostile
                                              input against its benign one, time and peak memory
"""

import json
import os
import pathlib
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests"))
from cost_inputs import PAIRS  # noqa: E402
from hostile_inputs import CASES  # noqa: E402

PROBE = r"""
import json, resource, sys, time
sys.path.insert(0, sys.argv[2])
import vorlik
if sys.argv[3] == "case":
    from hostile_inputs import CASES
    case = next(c for c in CASES if c.name == sys.argv[1])
    name, args = case.build()
    calls = 1
else:
    from cost_inputs import PAIRS
    pair = next(p for p in PAIRS if p.name == sys.argv[1])
    name, args, calls = pair.call, pair.build()[sys.argv[3] == "benign"], pair.calls
size = sum(len(a) for a in args if isinstance(a, (str, bytes)))
def resident(field):
    for line in open("/proc/self/status"):
        if line.startswith(field + ":"):
            return int(line.split()[1]) * 1024
try:  # the high-water mark reset to the current size, so that building the input does not count
    with open("/proc/self/clear_refs", "w") as f:
        f.write("5")
    before, high = resident("VmRSS"), lambda: resident("VmHWM")
except OSError:
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
    high = lambda: resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
start = time.process_time()
for _ in range(calls):
    try:
        out = getattr(vorlik, name)(*args)
        result, out_size = "ok", len(out)
    except ValueError as e:
        result, out_size = str(e)[:60], 0
elapsed = (time.process_time() - start) / calls
peak = high() - before
print(json.dumps([size, result, elapsed, peak, out_size]))
"""


def measure(name: str, timeout: float | None = None, side: str = "case") -> list | int:
    """Runs the case (side "case"), or one side of a pair ("hostile", "benign"), in a fresh
    interpreter: [input size, result, seconds per call, peak bytes added, output size], or the
    exit status if it died."""
    done = subprocess.run(
        [sys.executable, "-c", PROBE, name, str(ROOT / "tests"), side],
        capture_output=True,
        text=True,
        env=dict(os.environ),
        timeout=timeout,
    )
    return done.returncode or json.loads(done.stdout)


def seconds(t: float) -> str:
    return f"{t * 1e3:.0f} ms" if t >= 0.01 else f"{t * 1e6:.0f} µs"


def size(n: int) -> str:
    return f"{n / 1e6:.1f} MB" if n >= 100_000 else f"{n:,} bytes"


def cost_table() -> None:
    print("| route | input | hostile | benign | × | peak added, hostile / benign |")
    print("|---|---:|---:|---:|---:|---:|")
    for pair in PAIRS:
        hostile, benign = measure(pair.name, side="hostile"), measure(pair.name, side="benign")
        if isinstance(hostile, int) or isinstance(benign, int):
            print(f"| {pair.name} | | died ({hostile}, {benign}) | | | |")
            continue
        print(
            f"| {pair.name} | {size(hostile[0])} | {seconds(hostile[2])} "
            f"| {seconds(benign[2])} | {hostile[2] / max(benign[2], 1e-9):.1f} "
            f"| {hostile[3] / 1e6:.0f} / {benign[3] / 1e6:.0f} MB |"
        )


def main() -> None:
    if "--cost" in sys.argv[1:]:
        cost_table()
        return
    print("| input | size | result | time | peak added | × (in+out) |")
    print("|---|---:|---|---:|---:|---:|")
    for case in CASES:
        measured = measure(case.name)
        if isinstance(measured, int):
            print(f"| {case.name} | | CRASHED ({measured}) | | | |")
            continue
        size, result, elapsed, peak, out_size = measured
        ratio = peak / max(1, size + out_size)
        print(
            f"| {case.name} | {size / 1e6:.1f} MB | {result.replace('|', '/')} "
            f"| {elapsed * 1e3:.0f} ms | {peak / 1e6:.0f} MB | {ratio:.1f} |"
        )


if __name__ == "__main__":
    main()
