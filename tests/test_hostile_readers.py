"""Hostile input beyond pass or fail: the big cases of hostile_inputs stay within a few times
their input and output at their peak, and strings of every kind survive every route."""

import json
import os
import pathlib
import sys

import pytest
from hostile_inputs import MB, frame

import vorlik

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "scripts"))
from hostile_table import measure  # noqa: E402

BIG = [
    "10^6 props in one node",
    "100 MB string prop",
    "100 MB tree applied",
    "10 MB of nulls to MessagePack",
    "30 MB of short strings to MessagePack",
    "100 MB manifest",
]


@pytest.mark.skipif(
    os.environ.get("VORLIK_SANITIZED") == "1",
    reason="AddressSanitizer's shadow and quarantine are no measure of our memory",
)
@pytest.mark.parametrize("name", BIG)
def test_peak_memory_is_a_few_times_input_and_output(name):
    measured = measure(name, timeout=300)  # a hang fails here, a slow machine does not
    assert not isinstance(measured, int), f"died with status {measured}"
    size, _, _, peak, out_size = measured
    assert peak <= 4 * (size + out_size) + 32 * MB


EVERY_ESCAPE = '"' + "".join(f"\\u{c:04x}" for c in range(0x20)) + '\\"\\\\\\/\\b\\f\\n\\r\\t"'
EVERY_PLANE = "".join(chr(max(p << 16, 0x80) + 0x41) for p in range(17)) + "\u07ff\uffff\U0010ffff"


@pytest.mark.parametrize(
    "text",
    [EVERY_ESCAPE, json.dumps(EVERY_PLANE), json.dumps(EVERY_PLANE, ensure_ascii=False), '"\\ud83d\\ude00"'],
    ids=["escapes", "planes-escaped", "planes-raw", "pair"],
)
def test_strings_survive_every_route(text):
    value = json.loads(text)
    tree = json.dumps({"tag": value, "key": value, "props": {value: {"Str": value}}})
    assert json.loads(vorlik.apply(tree, '{"ops":[]}')) == json.loads(tree)
    for codec in ("application/json", "application/msgpack"):
        decoded = vorlik.decode_frame(vorlik.encode_frame(text, "m", "patch", 1, codec))
        assert json.loads(decoded)["payload"] == value


@pytest.mark.parametrize("escape", ['"\\ud800"', '"\\udc00"', '"\\ud800\\u0041"', '"\\ud800x"'])
@pytest.mark.parametrize(
    "call",
    [
        lambda s: vorlik.apply('{"tag":' + s + "}", '{"ops":[]}'),
        lambda s: vorlik.apply('{"tag":"r"}', '{"ops":[{"SetKey":[[],' + s + "]}]}"),
        lambda s: vorlik.encode_frame(s, "m", "patch", 1, "application/msgpack"),
        lambda s: vorlik.decode_frame(frame(s.encode(), "application/json")),
        lambda s: vorlik.parse_cem('{"modules":[{"declarations":[{"customElement":true,"tagName":' + s + "}]}]}"),
    ],
    ids=["tree", "patch", "payload", "frame", "manifest"],
)
def test_lone_surrogate_escapes_are_refused_with_a_position(call, escape):
    with pytest.raises(ValueError, match=r" at line 1 column \d+$"):
        call(escape)
