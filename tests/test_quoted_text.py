"""Messages that quote the caller's text carry it whole, NUL characters included, on every route:
a message is a string of known length from where it is made to the ValueError."""

import json
import struct

import pytest

import vorlik

JSON = "application/json"
MSGPACK = "application/msgpack"
NUL = "a\x00b"
NUL_ESCAPED = "a\\u0000b"  # the same text inside JSON


def frame(header: str, payload: bytes = b"{}") -> bytes:
    data = header.encode()
    return struct.pack(">I", len(data)) + data + struct.pack(">I", len(payload)) + payload


def header(codec: str = JSON, kind: str = "Snapshot") -> str:
    # Built by hand: the codec and kind are given already escaped.
    return f'{{"codec":"{codec}","model_type":"m","target":0,"rev":7,"kind":"{kind}"}}'


def error_of(call) -> str:
    with pytest.raises(ValueError) as info:
        call()
    return str(info.value)


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: vorlik.encode_frame("{}", "m", "snapshot", 1, NUL), f"unknown codec: {NUL}"),
        (lambda: vorlik.encode_frame("{}", "m", NUL, 1, JSON), f"unknown frame kind: {NUL}"),
        (lambda: vorlik.encode_frame("{}", "m", NUL, 1, MSGPACK), f"unknown frame kind: {NUL}"),
        (lambda: vorlik.decode_frame(frame(header(codec=NUL_ESCAPED))), f"unknown codec: {NUL}"),
        (
            lambda: vorlik.decode_frame(frame(header(kind=NUL_ESCAPED))),
            f"bad frame header: unknown variant `{NUL}`, expected `Snapshot` or `Patch` at line 1 column 81",
        ),
    ],
    ids=["encode codec", "encode kind", "encode kind msgpack", "decode codec", "decode kind"],
)
def test_frame_messages_keep_nul(call, message):
    assert error_of(call) == message


TREE = '{"tag":"t","props":{"p":{"%s":1}}}' % NUL_ESCAPED
VARIANTS = "`Null`, `Bool`, `Int`, `Float`, `Str`, `List`, `Map`, `Submodel`"
OPS = (
    "`SetProp`, `RemoveProp`, `SetEvent`, `RemoveEvent`, `SetBinding`, `RemoveBinding`, "
    "`SetKey`, `InsertChild`, `RemoveChild`, `MoveChild`, `Replace`"
)


@pytest.mark.parametrize(
    "call, start",
    [
        (lambda: vorlik.diff(TREE, '{"tag":"t"}'), f"unknown variant `{NUL}`, expected one of {VARIANTS}"),
        (
            lambda: vorlik.apply('{"tag":"t"}', '{"ops":[{"%s":{}}]}' % NUL_ESCAPED),
            f"unknown variant `{NUL}`, expected one of {OPS}",
        ),
        (
            lambda: vorlik.diff('{"tag":"t","events":{"e":{"kind":"%s"}}}' % NUL_ESCAPED, '{"tag":"t"}'),
            f"unknown variant `{NUL}`, expected one of `set`",
        ),
        (
            lambda: vorlik.diff('{"tag":"t","bindings":{"b":{"mode":"%s"}}}' % NUL_ESCAPED, '{"tag":"t"}'),
            f"unknown variant `{NUL}`, expected `one-way` or `two-way`",
        ),
        (lambda: vorlik.encode_frame(TREE + "x", "m", "patch", 1, MSGPACK), "trailing characters"),
    ],
    ids=["value variant", "op", "handler tag", "bind mode", "payload"],
)
def test_reader_messages_keep_nul(call, start):
    assert error_of(call).startswith(start)


def test_nul_in_texts_round_trips():
    tree = json.dumps({"tag": NUL, "key": NUL, "props": {NUL: {"Str": NUL}}})
    assert json.loads(vorlik.apply(tree, '{"ops":[]}')) == json.loads(tree)
    decoded = json.loads(vorlik.decode_frame(vorlik.encode_frame(tree, NUL, "patch", 1, MSGPACK)))
    assert decoded["model_type"] == NUL and decoded["payload"] == json.loads(tree)
