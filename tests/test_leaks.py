"""Every function, on its success path and on each kind of error path, called many thousands of
times: the interpreter's live blocks and the process's resident memory stay flat after warm-up.
Runs in a fresh interpreter so that nothing else the suite does moves the figures."""

import os
import subprocess
import sys

import pytest

PROGRAM = r"""
import gc, json, sys, vorlik

tree = json.dumps({"tag": "ul", "props": {"t": {"Str": "x" * 200}},
                   "slots": {"s": [{"tag": "li", "key": str(i), "props": {"n": {"Int": i}}}
                                   for i in range(100)]}})
other = tree.replace('"Int": 7}', '"Int": 8}')
patch = vorlik.diff(tree, other)
frame = vorlik.encode_frame(tree, "m", "snapshot", 7, "application/msgpack")
manifest = open(sys.argv[1]).read()

def fails(kind, fn, *args, **kwargs):
    try:
        fn(*args, **kwargs)
    except kind as e:
        getattr(e, "__notes__", None)
        return
    raise AssertionError(f"{fn} did not raise {kind}")

CASES = {
    "diff": lambda: vorlik.diff(tree, other),
    "apply": lambda: vorlik.apply(tree, patch),
    "encode_frame": lambda: vorlik.encode_frame(tree, "m", "patch", 1, "application/msgpack"),
    "decode_frame": lambda: vorlik.decode_frame(frame),
    "parse_cem": lambda: vorlik.parse_cem(manifest),
    "Example": lambda: (str(vorlik.Example("hi")), repr(vorlik.Example(value="hi"))),
    "reader error": lambda: fails(ValueError, vorlik.diff, tree, tree[:-1]),
    "patch error": lambda: fails(ValueError, vorlik.apply, tree, '{"ops":[{"RemoveChild":[[],"s",500]}]}'),
    "frame error": lambda: fails(ValueError, vorlik.decode_frame, frame[:-1]),
    "manifest error": lambda: fails(ValueError, vorlik.parse_cem, '{"modules":7}'),
    "codec error": lambda: fails(ValueError, vorlik.encode_frame, "[1", "m", "patch", 1, "application/msgpack"),
    "type error with note": lambda: fails(TypeError, vorlik.apply, tree, 5),
    "missing argument": lambda: fails(TypeError, vorlik.diff, tree),
    "unexpected keyword": lambda: fails(TypeError, vorlik.parse_cem, manifest="{}", x=1),
    "unencodable text": lambda: fails(UnicodeEncodeError, vorlik.diff, "\ud800", tree),
    "rev overflow": lambda: fails(OverflowError, vorlik.encode_frame, "{}", "m", "patch", -1, "application/json"),
    "bad Example": lambda: fails(TypeError, vorlik.Example, 5),
}

def rss():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * 4096

for name, call in CASES.items():
    for _ in range(2000):
        call()
    gc.collect()
    blocks, memory = sys.getallocatedblocks(), rss()
    for _ in range(int(sys.argv[2])):
        call()
    gc.collect()
    print(name, sys.getallocatedblocks() - blocks, rss() - memory, flush=True)
"""

ROUNDS = 10_000

pytestmark = pytest.mark.skipif(
    os.environ.get("VORLIK_SANITIZED") == "1",
    reason="AddressSanitizer keeps freed memory in quarantine, so memory does not stay flat",
)


@pytest.fixture(scope="module")
def growth():
    manifest = os.path.join(os.path.dirname(__file__), "..", "examples", "custom-elements.json")
    done = subprocess.run(
        [sys.executable, "-c", PROGRAM, manifest, str(ROUNDS)],
        capture_output=True,
        text=True,
        timeout=600,
        env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)),
    )
    assert done.returncode == 0, done.stderr[-2000:]
    rows = (line.rsplit(" ", 2) for line in done.stdout.splitlines())
    return {name: (int(blocks), int(memory)) for name, blocks, memory in rows}


CASE_NAMES = [
    "diff",
    "apply",
    "encode_frame",
    "decode_frame",
    "parse_cem",
    "Example",
    "reader error",
    "patch error",
    "frame error",
    "manifest error",
    "codec error",
    "type error with note",
    "missing argument",
    "unexpected keyword",
    "unencodable text",
    "rev overflow",
    "bad Example",
]


@pytest.mark.parametrize("case", CASE_NAMES)
def test_repeated_calls_keep_memory_flat(growth, case):
    blocks, memory = growth[case]
    # One object or a few bytes kept per call would show as thousands of blocks or as tens of
    # megabytes (the inputs are kilobytes); what is left is the allocators' noise.
    assert blocks < ROUNDS // 10
    assert memory < 8 << 20
