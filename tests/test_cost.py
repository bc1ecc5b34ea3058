"""Cost near-linear in the input on every route: for each reader and each kind of op, an input
built to be slow costs within a small constant of a benign input of the same size and shape,
timed in the same test. Each pair is sized so that a cost growing with the square of the input
(or with the nesting times the input) takes seconds where a linear one takes milliseconds, and
the bound is a ratio, so a slow machine passes while such a cost fails by far."""

from __future__ import annotations

import gc
import os
import platform
import time

import pytest
from cost_inputs import PAIRS, Pair
from test_hostile import run_isolated

import vorlik


def outcome(pair: Pair, args: tuple) -> tuple[float, object]:
    """Processor time of `pair.calls` calls on `args`, and what the last one gave."""
    fn = getattr(vorlik, pair.call)
    result: object = None
    start = time.process_time()
    for _ in range(pair.calls):
        try:
            result = fn(*args)
        except ValueError as e:
            result = ("ValueError", str(e))
    return time.process_time() - start, result


@pytest.mark.parametrize("pair", PAIRS, ids=lambda p: p.name)
def test_hostile_input_costs_about_as_much_as_a_benign_one(pair):
    hostile, benign = pair.build()
    gc.disable()
    try:
        # Best of three for the benign input; the hostile one (best of up to five) stops as soon as it is within the
        # bound, or once it is so far beyond that no noise explains it.
        runs = [outcome(pair, benign) for _ in range(3)]
        benign_time, benign_result = min(t for t, _ in runs), runs[0][1]
        limit = pair.bound * max(benign_time, pair.floor)
        hostile_time, hostile_result = outcome(pair, hostile)
        for _ in range(4):
            if hostile_time <= limit or hostile_time > 10 * limit:
                break
            hostile_time = min(hostile_time, outcome(pair, hostile)[0])
    finally:
        gc.enable()
    if pair.same_result:
        assert hostile_result == benign_result
    assert hostile_time <= limit, (
        f"hostile {hostile_time * 1e3:.1f} ms, benign {benign_time * 1e3:.1f} ms: "
        f"{hostile_time / max(benign_time, pair.floor):.0f} times, bound {pair.bound:g}"
    )


# --- memory kept between calls -----------------------------------------------------------------

glibc_only = pytest.mark.skipif(
    platform.libc_ver()[0] != "glibc" or os.environ.get("VORLIK_SANITIZED") == "1",
    reason="measures what glibc's allocator keeps (AddressSanitizer brings its own)",
)

# Trees of about 3 MB each, a few rows apart: a diff's arena asks for four times the texts in one
# block, and its patch is short.
BIG_PAIR = """
import json
def tree(change):
    rows = [{"tag": "tr", "key": f"r{i}", "props": {"a": {"Str": f"cell {i}"}, "b": {"Int": i}},
             "slots": {"td": [{"tag": "td", "props": {"v": {"Str": f"v{i}{change * (i % 1000 == 0)}"}}}]}}
            for i in range(22_000)]
    return json.dumps({"tag": "table", "slots": {"rows": rows}}, separators=(",", ":"))
old, new = tree(""), tree("x")
def resident():
    for line in open("/proc/self/status"):
        if line.startswith("VmRSS:"):
            return int(line.split()[1]) * 1024
"""


@glibc_only
def test_threads_do_not_each_keep_a_large_call():
    out = run_isolated(
        BIG_PAIR
        + """
import threading, vorlik
vorlik.diff('{"tag":"a"}', '{"tag":"b"}')
before = resident()
# A pool: every thread stays until all have made their call (a thread that ends leaves its heap
# to the next one).
done = threading.Barrier(8)
def work():
    vorlik.diff(old, new)
    done.wait()
threads = [threading.Thread(target=work) for _ in range(8)]
for t in threads:
    t.start()
for t in threads:
    t.join()
print(resident() - before, len(old) + len(new))
"""
    )
    kept, text = map(int, out.split())
    # Each thread kept its call's arena before, about four times the texts (19 times in all);
    # now only the call's smaller blocks, which the allocator keeps per thread for any caller.
    assert kept < 8 * text, f"{kept / 1e6:.0f} MB kept after one {text / 1e6:.0f} MB diff in each of 8 threads"
