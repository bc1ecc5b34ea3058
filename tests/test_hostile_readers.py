"""Hostile input for every reader: nesting at and beyond the limits, forged lengths and counts,
huge numbers, maps and strings. Each case must end in a result or a clear ValueError; the heavy
ones run in a subprocess that also reports its peak memory."""

import json
import os
import subprocess
import sys
import textwrap

import pytest

import vorlik

TIMEOUT = 120  # a hang fails here; a slow machine does not
LIMIT = "recursion limit exceeded at line 1 column "


def json_depth(text: str) -> int:
    depth = deepest = 0
    in_string = escaped = False
    for c in text:
        if in_string:
            if escaped:
                escaped = False
            elif c == "\\":
                escaped = True
            elif c == '"':
                in_string = False
        elif c == '"':
            in_string = True
        elif c in "[{":
            depth += 1
            deepest = max(deepest, depth)
        elif c in "]}":
            depth -= 1
    return deepest


def expr(levels: int) -> str:
    e = '{"expr":"event"}'
    for _ in range(levels - 1):
        e = '{"expr":"not","of":' + e + "}"
    return e


def list_value(levels: int) -> str:
    v = '"Null"' if levels % 2 == 0 else '{"Int":1}'
    for _ in range(levels // 2):
        v = '{"List":[' + v + "]}"
    return v


def node_chain(levels: int) -> str:
    leaves = ['{"tag":"y"}', '{"tag":"y","props":{}}', '{"tag":"y","props":{"p":{"Int":1}}}']
    n = leaves[(levels - 1) % 3]
    for _ in range((levels - 1) // 3):
        n = '{"tag":"x","slots":{"s":[' + n + "]}}"
    return n


HEADER = b'{"codec":"application/json","model_type":"m","target":0,"rev":1,"kind":"Patch"}'


def json_frame(payload: str) -> bytes:
    return frame(HEADER, payload.encode())


def frame(header: bytes, payload: bytes) -> bytes:
    return len(header).to_bytes(4, "big") + header + len(payload).to_bytes(4, "big") + payload


def msgpack_frame(payload: bytes) -> bytes:
    header = b'{"codec":"application/msgpack","model_type":"m","target":0,"rev":1,"kind":"Patch"}'
    return frame(header, payload)


# Each reader with a builder giving a text of exactly the requested nesting depth.
READERS = {
    "nodes": (node_chain, lambda t: vorlik.diff(t, t)),
    "values": (lambda d: '{"tag":"x","props":{"p":' + list_value(d - 2) + "}}",
               lambda t: vorlik.diff(t, t)),
    "actions": (lambda d: '{"tag":"x","events":{"e":{"kind":"emit","event":"e","detail":'
                + expr(d - 3) + "}}}", lambda t: vorlik.apply(t, '{"ops":[]}')),
    "patches": (lambda d: '{"ops":[{"SetEvent":[[],"e",{"kind":"emit","event":"e","detail":'
                + expr(d - 5) + "}]}]}", lambda t: vorlik.apply('{"tag":"r"}', t)),
    "binding computes": (lambda d: '{"tag":"x","bindings":{"b":{"mode":"one-way","compute":'
                         + "[" * (d - 3) + "]" * (d - 3) + "}}}",
                         lambda t: vorlik.diff(t, t)),
    "msgpack encoding": (lambda d: "[" * d + "]" * d,
                         lambda t: vorlik.encode_frame(t, "m", "patch", 1, "application/msgpack")),
    "frame payloads": (lambda d: "{}" if d == 1 else "[" * (d - 1) + "{}" + "]" * (d - 1),
                       lambda t: vorlik.decode_frame(json_frame(t))),
}


@pytest.mark.parametrize("reader", READERS)
@pytest.mark.parametrize("depth", [127, 128])
def test_nesting_limit_in_every_reader(reader, depth):
    build, call = READERS[reader]
    text = build(depth)
    assert json_depth(text) == depth
    if depth == 127:
        call(text)
    else:
        with pytest.raises(ValueError, match="^" + LIMIT):
            call(text)


@pytest.mark.parametrize(
    "call",
    [
        # Members no record knows are skipped, however deep, without counting against the limit.
        lambda x: vorlik.parse_cem('{"modules":[],"x":' + x + "}"),
        lambda x: vorlik.decode_frame(frame(HEADER.replace(b"}", b',"x":' + x.encode() + b"}"), b"1")),
        lambda x: vorlik.diff('{"tag":"a","x":' + x + "}", '{"tag":"a"}'),
    ],
    ids=["manifest", "header", "node"],
)
@pytest.mark.parametrize("levels", [127, 128, 1_000_000])
def test_unknown_members_are_skipped_at_any_depth(call, levels):
    shallow, deep = call("[]"), call("[" * levels + "]" * levels)
    assert deep == shallow


# --- MessagePack payloads ----------------------------------------------------------------------


@pytest.mark.parametrize(
    "levels, message",
    [(127, None), (128, LIMIT + "128"), (1023, LIMIT + "128"), (1024, "depth limit exceeded")],
)
@pytest.mark.parametrize("marker", [b"\x91", b"\x81\xa1k"], ids=["arrays", "maps"])
def test_msgpack_nesting(levels, message, marker):
    payload = marker * levels + b"\xc0"
    if message is None:
        vorlik.decode_frame(msgpack_frame(payload))
    else:
        with pytest.raises(ValueError) as e:
            vorlik.decode_frame(msgpack_frame(payload))
        assert str(e.value).startswith(message.split(" at ")[0])


@pytest.mark.parametrize(
    "claim",
    [b"\xdd\xff\xff\xff\xff", b"\xdf\xff\xff\xff\xff", b"\xdb\xff\xff\xff\xff", b"\xc6\xff\xff\xff\xff"],
    ids=["array32", "map32", "str32", "bin32"],
)
def test_msgpack_claims_of_four_billion_elements(claim):
    with pytest.raises(ValueError, match="^IO error while reading"):
        vorlik.decode_frame(msgpack_frame(claim + b"\xa1k\xc0" * 3))


# --- frame lengths -----------------------------------------------------------------------------

GOOD_FRAME = vorlik.encode_frame('{"a":[1,2,"x"]}', "m", "snapshot", 5, "application/msgpack")


@pytest.mark.parametrize(
    "data",
    [
        b"\xff\xff\xff\xff" + GOOD_FRAME[4:],
        GOOD_FRAME[: 4 + int.from_bytes(GOOD_FRAME[:4], "big")] + b"\xff\xff\xff\xff" + b"\x80",
        *(GOOD_FRAME[:n] for n in range(len(GOOD_FRAME))),
    ],
)
def test_forged_and_cut_frames_are_truncated(data):
    with pytest.raises(ValueError, match="^truncated frame$"):
        vorlik.decode_frame(data)


# --- strings -----------------------------------------------------------------------------------

EVERY_ESCAPE = '"' + "".join(f"\\u{c:04x}" for c in range(0x20)) + '\\"\\\\\\/\\b\\f\\n\\r\\t"'
EVERY_PLANE = "".join(chr(max(plane << 16, 0x80) + 0x41) for plane in range(17)) + "\u07ff\uffff\U0010ffff"


@pytest.mark.parametrize(
    "text",
    [EVERY_ESCAPE, json.dumps(EVERY_PLANE), json.dumps(EVERY_PLANE, ensure_ascii=False),
     '"\\ud83d\\ude00"'],
    ids=["escapes", "planes-escaped", "planes-raw", "pair"],
)
def test_strings_survive_every_route(text):
    value = json.loads(text)
    tree = json.dumps({"tag": value, "key": value, "props": {value: {"Str": value}}})
    assert json.loads(vorlik.apply(tree, '{"ops":[]}')) == json.loads(tree)
    for codec in ("application/json", "application/msgpack"):
        frame_text = vorlik.decode_frame(vorlik.encode_frame(text, "m", "patch", 1, codec))
        assert json.loads(frame_text)["payload"] == value


@pytest.mark.parametrize("escape", ['"\\ud800"', '"\\udc00"', '"\\ud800\\u0041"', '"\\ud800x"'])
def test_lone_surrogate_escapes_are_refused(escape):
    tree = '{"tag":' + escape + "}"
    for call in (
        lambda: vorlik.apply(tree, '{"ops":[]}'),
        lambda: vorlik.encode_frame(escape, "m", "patch", 1, "application/msgpack"),
        lambda: vorlik.decode_frame(json_frame(escape)),
    ):
        with pytest.raises(ValueError, match=r" at line 1 column \d+$"):
            call()


def test_lone_surrogates_in_arguments_are_the_interpreters_error():
    with pytest.raises(UnicodeEncodeError):
        vorlik.apply('{"tag":"\ud800"}', '{"ops":[]}')


# --- size: huge numbers, maps and texts, in a subprocess that measures peak memory --------------


def measured(code: str) -> dict:
    """Runs `code` (which builds `data` and defines `call()`) in a fresh interpreter; returns the
    outcome and how far the resident set grew during the call, in bytes."""
    program = textwrap.dedent(code) + textwrap.dedent(
        """
        import json, resource
        def peak():
            return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
        before = peak()
        try:
            result = call()
            outcome = "ok " + (result[:60] if isinstance(result, str) else type(result).__name__)
        except ValueError as e:
            outcome = "ValueError " + str(e)[:60]
        print(json.dumps({"outcome": outcome, "growth": peak() - before, "input": len(data)}))
        """
    )
    done = subprocess.run([sys.executable, "-c", program], capture_output=True, text=True,
                          timeout=TIMEOUT, env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)))
    assert done.returncode == 0, done.stderr[-2000:]
    return json.loads(done.stdout)


BIG = {
    "10^6-digit Int prop": (
        "import vorlik\ndata = '{\"tag\":\"x\",\"props\":{\"p\":{\"Int\":' + '9' * 10**6 + '}}}'\n"
        "def call(): return vorlik.diff(data, data)\n",
        "ValueError number out of range at line 1 column 1000031",
    ),
    "10^6-digit payload number": (
        "import vorlik\ndata = '1' * 10**6\n"
        "def call(): return vorlik.encode_frame(data, 'm', 'patch', 1, 'application/msgpack')\n",
        "ValueError number out of range at line 1 column 1000000",
    ),
    "10^6-digit fraction": (
        "import vorlik\ndata = '0.' + '1' * 10**6\n"
        "def call(): return vorlik.decode_frame(vorlik.encode_frame(data, 'm', 'patch', 1, 'application/msgpack'))\n",
        'ok {"kind":"patch","model_type":"m","payload":0.1111',
    ),
    "10^6 props in one node": (
        "import vorlik, json\n"
        "props = [f'\"{i}\":{{\"Int\":{i}}}' for i in range(10**6)]\n"
        "data = '{\"tag\":\"x\",\"props\":{' + ','.join(props) + '}}'\n"
        "other = '{\"tag\":\"x\",\"props\":{' + ','.join(reversed(props)) + '}}'\n"
        "def call(): return vorlik.diff(data, other)\n",
        'ok {"ops":[]}',
    ),
    "100 MB string prop": (
        "import vorlik\ndata = '{\"tag\":\"x\",\"props\":{\"p\":{\"Str\":\"' + 'a' * 100_000_000 + '\"}}}'\n"
        "def call(): return vorlik.apply(data, '{\"ops\":[]}')\n",
        'ok {"tag":"x","props":{"p":{"Str":"aaaa',
    ),
    "100 MB msgpack payload": (
        "import vorlik\ndata = '[\"' + 'ab\\\\n' * 25_000_000 + '\"]'\n"
        "def call(): return vorlik.encode_frame(data, 'm', 'patch', 1, 'application/msgpack')\n",
        "ok bytes",
    ),
}


@pytest.mark.parametrize("case", BIG)
def test_big_inputs_stay_within_a_few_times_their_size(case):
    code, outcome = BIG[case]
    got = measured(code)
    assert got["outcome"].startswith(outcome)
    assert got["growth"] <= 4 * got["input"] + (32 << 20)
