"""Runs every hostile input of tests/hostile_inputs.py in a fresh interpreter and prints a
markdown table: the input, its size, what came of it, the time the call took and the memory it
added at its peak (also as a multiple of input plus output)."""

import json
import os
import pathlib
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests"))
from hostile_inputs import CASES  # noqa: E402

PROBE = r"""
import json, resource, sys, time
sys.path.insert(0, sys.argv[2])
import vorlik
from hostile_inputs import CASES
case = next(c for c in CASES if c.name == sys.argv[1])
name, args = case.build()
size = sum(len(a) for a in args if isinstance(a, (str, bytes)))
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
start = time.perf_counter()
try:
    out = getattr(vorlik, name)(*args)
    result, out_size = "ok", len(out)
except ValueError as e:
    result, out_size = str(e)[:60], 0
elapsed = time.perf_counter() - start
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before
print(json.dumps([size, result, elapsed, peak * 1024, out_size]))
"""


def measure(name: str, timeout: float | None = None) -> list | int:
    """Runs the case in a fresh interpreter: [input size, result, seconds, peak bytes added,
    output size], or the exit status if it died."""
    done = subprocess.run([sys.executable, "-c", PROBE, name, str(ROOT / "tests")],
                          capture_output=True, text=True, env=dict(os.environ), timeout=timeout)
    return done.returncode or json.loads(done.stdout)


def main() -> None:
    print("| input | size | result | time | peak added | × (in+out) |")
    print("|---|---:|---|---:|---:|---:|")
    for case in CASES:
        measured = measure(case.name)
        if isinstance(measured, int):
            print(f"| {case.name} | | CRASHED ({measured}) | | | |")
            continue
        size, result, elapsed, peak, out_size = measured
        ratio = peak / max(1, size + out_size)
        print(f"| {case.name} | {size / 1e6:.1f} MB | {result.replace('|', '/')} "
              f"| {elapsed * 1e3:.0f} ms | {peak / 1e6:.0f} MB | {ratio:.1f} |")


if __name__ == "__main__":
    main()
