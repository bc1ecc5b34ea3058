"""Frames: the envelope, both payload codecs and the decoded result object."""

import json
import math
import os
import struct

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import vorlik

JSON = "application/json"
MSGPACK = "application/msgpack"


def frame(header, payload=b"{}"):
    if isinstance(header, str):
        header = header.encode()
    return struct.pack(">I", len(header)) + header + struct.pack(">I", len(payload)) + payload


def header_text(codec=JSON, model_type="m", rev=7, kind="Snapshot"):
    return json.dumps(
        {"codec": codec, "model_type": model_type, "target": 0, "rev": rev, "kind": kind},
        separators=(",", ":"),
        ensure_ascii=False,
    )


def msgpack_frame(payload):
    return frame(header_text(codec=MSGPACK), payload)


def decode_error(frame_bytes):
    with pytest.raises(ValueError) as info:
        vorlik.decode_frame(frame_bytes)
    return str(info.value)


def payload_of(frame_bytes):
    """The payload part of the decoded result, as text."""
    text = vorlik.decode_frame(frame_bytes)
    return text[text.index(',"payload":') + 11 : text.rindex(',"rev":')]


# --- Envelope -------------------------------------------------------------------------------------


def test_example_frame_byte_for_byte():
    header = b'{"codec":"application/json","model_type":"m","target":0,"rev":7,"kind":"Snapshot"}'
    got = vorlik.encode_frame("{}", "m", "snapshot", 7, JSON)
    assert got == b"\x00\x00\x00\x52" + header + b"\x00\x00\x00\x02{}"
    assert len(got) == 92
    assert vorlik.decode_frame(got) == '{"kind":"snapshot","model_type":"m","payload":{},"rev":7}'


def test_msgpack_example_bytes():
    got = vorlik.encode_frame('{"b":1,"a":[true,null,-1,1.5,"x"]}', "m", "patch", 1, MSGPACK)
    assert got.endswith(bytes.fromhex("00000015 82 a161 95 c3 c0 ff cb3ff8000000000000 a178 a162 01"))
    assert (
        vorlik.decode_frame(got)
        == '{"kind":"patch","model_type":"m","payload":{"a":[true,null,-1,1.5,"x"],"b":1},"rev":1}'
    )


@pytest.mark.parametrize(
    "header",
    [
        ' \n{ "kind" : "Snapshot", "rev":7,\t"target":99, "model_type":"m","codec":"application/json" }\r\n',
        '{"x":[1,{"y":[]},1e400],"codec":"application/json","model_type":"m","target":0,"rev":7,"kind":{"Snapshot":null}}',
        '["application/json","m",0,7,"Snapshot"]',
        '{"codec":"application\\/json","model_type":"\\u006d","target":0,"rev":7,"kind":"Snapshot"}',
    ],
)
def test_lenient_header_forms(header):
    assert vorlik.decode_frame(frame(header)) == '{"kind":"snapshot","model_type":"m","payload":{},"rev":7}'


@pytest.mark.parametrize(
    "header, message",
    [
        ("", "EOF while parsing a value at line 1 column 0"),
        (
            '{"codec":"application/json","model_type":"m","rev":7,"kind":"Snapshot"}',
            "missing field `target` at line 1 column 71",
        ),
        ('{"rev":7,"kind":"Snapshot"}', "missing field `codec` at line 1 column 27"),
        ('{"codec":"a","codec":"b"}', "duplicate field `codec` at line 1 column 20"),
        (
            header_text(kind="snapshot"),
            "unknown variant `snapshot`, expected `Snapshot` or `Patch` at line 1 column 81",
        ),
        (
            header_text().replace('"Snapshot"', '{"Patch":1}'),
            "invalid type: integer `1`, expected unit at line 1 column 81",
        ),
        (
            '["application/json","m",0,7]',
            "invalid length 4, expected struct Header with 5 elements at line 1 column 28",
        ),
        ('["application/json","m",0,7,"Patch",1]', "trailing characters at line 1 column 37"),
        ('"x"', 'invalid type: string "x", expected struct Header at line 1 column 3'),
        (header_text().replace('"rev":7', '"rev":-1'), "invalid value: integer `-1`, expected u64 at line 1 column 64"),
        (header_text() + "x", "trailing characters at line 1 column 83"),
        (b'{"codec":"\xff"}', "invalid unicode code point at line 1 column 12"),
    ],
)
def test_bad_headers(header, message):
    assert decode_error(frame(header)) == "bad frame header: " + message


def test_bad_header_wins_over_truncation():
    cut = frame('{"codec":1}', b"{}")[:15]
    assert decode_error(cut) == "bad frame header: invalid type: integer `1`, expected a string at line 1 column 10"


@pytest.mark.parametrize("codec", [JSON, MSGPACK, "text/plain"])
def test_every_cut_is_truncated_and_extra_bytes_are_ignored(codec):
    whole = frame(header_text(codec=codec), b"\x90" if codec == MSGPACK else b"[]")
    for n in range(len(whole)):
        assert decode_error(whole[:n]) == "truncated frame"
    if codec == "text/plain":
        assert decode_error(whole + b"junk") == "unknown codec: text/plain"
    else:
        assert payload_of(whole + b"\x00junk") == "[]"


def test_length_fields_are_unsigned_32_bit():
    # A length with the top bit set must not wrap or go negative.
    assert decode_error(b"\xff\xff\xff\xff{}") == "truncated frame"
    assert decode_error(frame(header_text())[:-6] + b"\xff\xff\xff\xff{}") == "truncated frame"


# --- encode_frame arguments -----------------------------------------------------------------------


@pytest.mark.parametrize(
    "args, message",
    [
        (("{}", "m", "snapshot", 0, "APPLICATION/JSON"), "unknown codec: APPLICATION/JSON"),
        (("{}", "m", "Snapshot", 0, "application/json "), "unknown codec: application/json "),
        (("{}", "m", "Snapshot", 0, JSON), "unknown frame kind: Snapshot"),
        (("not json", "m", " patch", 0, JSON), "unknown frame kind:  patch"),
        (("[1,2", "m", "bad", 0, MSGPACK), "EOF while parsing a list at line 1 column 4"),
        (("[1] x", "m", "patch", 0, MSGPACK), "trailing characters at line 1 column 5"),
        (("[" * 128 + "]" * 128, "m", "patch", 0, MSGPACK), "recursion limit exceeded at line 1 column 128"),
    ],
)
def test_encode_errors_in_order(args, message):
    with pytest.raises(ValueError) as info:
        vorlik.encode_frame(*args)
    assert str(info.value) == message


def test_json_payload_is_checked_only_when_decoding():
    got = vorlik.encode_frame("[1,", "m", "patch", 0, JSON)
    assert got.endswith(b"\x00\x00\x00\x03[1,")
    assert decode_error(got) == "EOF while parsing a value at line 1 column 3"


@pytest.mark.parametrize(
    "payload, message",
    [
        (b"", "EOF while parsing a value at line 1 column 0"),
        (b'"\xff"', "invalid utf-8 sequence of 1 bytes from index 1"),
        (b'"\xe2\x82', "incomplete utf-8 byte sequence from index 1"),
        (b"[1] 2", "trailing characters at line 1 column 5"),
    ],
)
def test_json_payload_errors(payload, message):
    assert decode_error(frame(header_text(), payload)) == message


# --- MessagePack forms ----------------------------------------------------------------------------


@pytest.mark.parametrize(
    "number, packed",
    [
        ("127", "7f"),
        ("128", "cc80"),
        ("256", "cd0100"),
        ("65536", "ce00010000"),
        ("4294967296", "cf0000000100000000"),
        ("-32", "e0"),
        ("-33", "d0df"),
        ("-129", "d1ff7f"),
        ("-32769", "d2ffff7fff"),
        ("-2147483649", "d3ffffffff7fffffff"),
        ("1.0", "cb3ff0000000000000"),
        ("-0", "cb8000000000000000"),
        ("0.0", "cb0000000000000000"),
    ],
)
def test_msgpack_number_forms(number, packed):
    got = vorlik.encode_frame(number, "m", "patch", 0, MSGPACK)
    assert got.endswith(bytes.fromhex("%08x" % (len(packed) // 2) + packed))


@pytest.mark.parametrize(
    "size, head", [(31, "bf"), (32, "d920"), (255, "d9ff"), (256, "da0100"), (65536, "db00010000")]
)
def test_msgpack_string_forms(size, head):
    got = vorlik.encode_frame(json.dumps("a" * size), "m", "patch", 0, MSGPACK)
    assert got.endswith(bytes.fromhex(head) + b"a" * size)


@pytest.mark.parametrize(
    "size, array_head, map_head",
    [(15, "9f", "8f"), (16, "dc0010", "de0010"), (65535, "dcffff", "deffff"), (65536, "dd00010000", "df00010000")],
)
def test_msgpack_container_forms(size, array_head, map_head):
    arr = vorlik.encode_frame("[" + ",".join(["0"] * size) + "]", "m", "patch", 0, MSGPACK)
    assert arr.endswith(bytes.fromhex(array_head) + b"\x00" * size)
    # Keys are written in ascending order, whatever the input order.
    obj = vorlik.encode_frame(json.dumps({"%05d" % k: 0 for k in reversed(range(size))}), "m", "patch", 0, MSGPACK)
    entries = b"".join(b"\xa5" + b"%05d" % k + b"\x00" for k in range(size))
    assert obj.endswith(bytes.fromhex(map_head) + entries)


@pytest.mark.parametrize(
    "text",
    [
        '{"b":{"y":[1,{"q":1,"p":2,"q":3}],"x":0},"a":[{"d":1,"c":2}],"b":{"z":[]}}',
        '[{"k":1,"k":2,"j":[' + ",".join(["{}"] * 20) + '],"i":"' + "s" * 300 + '"}]',
        "{" + ",".join('"%03d":[%d]' % (k, k) for k in reversed(range(300))) + ',"150":null}',
    ],
)
def test_msgpack_encoding_sorts_nested_members_as_the_json_writer_does(text):
    # Members are packed as read and put in order once their object closes; the container
    # headers go in front of bodies whose length is known only then.
    through = {
        codec: vorlik.decode_frame(vorlik.encode_frame(text, "m", "patch", 0, codec)) for codec in (JSON, MSGPACK)
    }
    assert through[JSON] == through[MSGPACK]


@pytest.mark.parametrize(
    "packed, payload",
    [
        ("ca3dcccccd", "0.10000000149011612"),
        ("cb7ff8000000000000", "null"),
        ("ca7f800000", "null"),
        ("cbfff0000000000000", "null"),
        ("d005", "5"),
        ("d0fb", "-5"),
        ("82a161c0a16101", '{"a":1}'),  # a repeated key keeps its last value
        ("82a162c2a161c3", '{"a":true,"b":false}'),
        ("91c0c3", "[null]"),  # bytes after the first value are ignored
        ("a0", '""'),
        ("d900", '""'),
        ("a3e282ac", '"€"'),
        ("a10a", '"\\n"'),
        ("a17f", '"\x7f"'),
    ],
)
def test_msgpack_decoding(packed, payload):
    assert payload_of(msgpack_frame(bytes.fromhex(packed))) == payload


@pytest.mark.parametrize(
    "packed, prefix",
    [
        ("", "IO error while reading marker: "),
        ("91", "IO error while reading marker: "),
        ("92c0", "IO error while reading marker: "),
        ("82a161", "IO error while reading marker: "),
        ("cc", "IO error while reading data: "),
        ("a5616263", "IO error while reading data: "),
        ("d905", "IO error while reading data: "),
        ("dc00", "IO error while reading data: "),
        ("91cc", "IO error while reading data: "),  # a marker was read inside an array
        ("92c0a3", "IO error while reading data: "),
        # refused outright
        ("c40161", ""),
        ("d40161", ""),
        ("c1", ""),
        ("810102", ""),
        ("819000", ""),
        ("a3eda080", ""),
    ],
)
def test_msgpack_refusals(packed, prefix):
    assert decode_error(msgpack_frame(bytes.fromhex(packed))).startswith(prefix)


@pytest.mark.parametrize(
    "opener, depth, message",
    [
        (b"\x91", 127, None),
        (b"\x91", 128, "recursion limit exceeded at line 1 column 128"),
        (b"\x91", 1023, "recursion limit exceeded at line 1 column 128"),
        (b"\x81\xa1k", 128, "recursion limit exceeded at line 1 column 636"),  # {"k": per level
        (b"\x91", 1024, "depth limit exceeded"),
        (b"\x81\xa1k", 1024, "depth limit exceeded"),
    ],
)
def test_msgpack_nesting(opener, depth, message):
    f = msgpack_frame(opener * depth + b"\xc0")
    if message is None:
        assert payload_of(f) == "[" * depth + "null" + "]" * depth
    else:
        assert decode_error(f) == message


# Items of one payload, each whole: a cut between two of them leaves the decoder wanting a
# marker, a cut inside one wanting the rest of its data.
_ITEMS = [
    "96",
    "cd0100",
    "a3616263",
    "82",
    "a162",
    "dc0002",
    "c0",
    "c3",
    "a161",
    "cb3ff8000000000000",
    "d9026869",
    "ca3f800000",
    "d1ff00",
]


@pytest.mark.parametrize("cut", range(len(bytes.fromhex("".join(_ITEMS)))))
def test_msgpack_every_cut(cut):
    whole = bytes.fromhex("".join(_ITEMS))
    assert payload_of(msgpack_frame(whole)) == '[256,"abc",{"a":1.5,"b":[null,true]},"hi",1.0,-256]'
    bounds = {0}
    for item in _ITEMS:
        bounds.add(max(bounds) + len(item) // 2)
    where = "marker" if cut in bounds else "data"
    assert decode_error(msgpack_frame(whole[:cut])) == f"IO error while reading {where}: failed to fill whole buffer"


def _map(pairs):
    """A MessagePack map of (key, packed value) pairs, in the order given."""
    body = b"".join(msgpack_str(k) + v for k, v in pairs)
    n = len(pairs)
    return (bytes([0x80 | n]) if n < 16 else b"\xde" + struct.pack(">H", n)) + body


def msgpack_str(text):
    raw = text.encode()
    return (bytes([0xA0 | len(raw)]) if len(raw) < 32 else b"\xd9" + bytes([len(raw)])) + raw


@pytest.mark.parametrize(
    "pairs, payload",
    [
        # ascending byte order of the raw keys, whatever their escaped form
        (
            [
                ("z", b"\x01"),
                ("\u00e9", b"\x02"),
                ("#", b"\x03"),
                ('"', b"\x04"),
                ("!", b"\x05"),
                ("\x01", b"\x06"),
                ("", b"\x07"),
            ],
            '{"":7,"\\u0001":6,"!":5,"\\"":4,"#":3,"z":1,"\u00e9":2}',
        ),
        ([("b", b"\x01"), ("a", b"\x02"), ("b", b"\x03"), ("a", b"\x04"), ("b", b"\x05")], '{"a":4,"b":5}'),
        ([("a", b"\x01"), ("a", b"\x02")], '{"a":2}'),  # in order but repeated
        ([("ab", b"\x01"), ("a", b"\x02"), ("abc", b"\x03")], '{"a":2,"ab":1,"abc":3}'),
        # nested maps sort on their own; a repeated key drops a whole nested value
        (
            [
                ("k", _map([("y", b"\x01"), ("x", _map([("q", b"\xc0"), ("p", b"\xc3")]))])),
                ("j", b"\x92" + _map([("2", b"\x02"), ("1", b"\x01")]) + _map([])),
                ("k", _map([("b", b"\x90"), ("a", b"\x80")])),
            ],
            '{"j":[{"1":1,"2":2},{}],"k":{"a":{},"b":[]}}',
        ),
        (
            [("%03d" % k, bytes([k % 100])) for k in reversed(range(300))],
            "{" + ",".join('"%03d":%d' % (k, k % 100) for k in range(300)) + "}",
        ),
    ],
)
def test_msgpack_maps_in_key_order(pairs, payload):
    assert payload_of(msgpack_frame(_map(pairs))) == payload


@settings(max_examples=200, deadline=None)
@given(
    st.recursive(
        st.integers(-5, 5) | st.text(max_size=3),
        lambda inner: st.lists(st.tuples(st.text(max_size=3), inner), max_size=6),
        max_leaves=30,
    )
)
def test_msgpack_maps_match_a_sorted_reading(tree):
    """Lists of pairs stand for maps with keys in any order, repeated or not."""

    def pack(t):
        if isinstance(t, list):
            return _map([(k, pack(v)) for k, v in t])
        if isinstance(t, int):
            return bytes([t & 0xFF])
        return msgpack_str(t)

    def reference(t):
        if isinstance(t, list):
            last = dict(t)
            return (
                "{"
                + ",".join(
                    json.dumps(k, ensure_ascii=False) + ":" + reference(last[k]) for k in sorted(last, key=str.encode)
                )
                + "}"
            )
        return json.dumps(t, ensure_ascii=False)

    assert payload_of(msgpack_frame(pack(tree))) == reference(tree)


@pytest.mark.parametrize(
    "packed, message",
    [
        # counts claimed far beyond the input: nothing is set aside for them
        ("ddffffffff", "IO error while reading marker: failed to fill whole buffer"),
        ("dfffffffffa161", "IO error while reading marker: failed to fill whole buffer"),
        ("ddffffffff" * 1023, "IO error while reading marker: failed to fill whole buffer"),
        ("ddffffffff" * 1024, "depth limit exceeded"),
        ("dfffffffffa161ddffffffffc0", "IO error while reading marker: failed to fill whole buffer"),
        ("dbffffffff61", "IO error while reading data: failed to fill whole buffer"),
        ("c9ffffffff01", "IO error while reading data: failed to fill whole buffer"),
        ("c7000f", "ext value at index 0 is not supported"),
        ("9291c4016100", "bin value at index 2 is not supported"),
        ("81c40161c0", "bin value at index 1 is not supported"),  # before the key's type
        ("8191c0c0", "map key must be a string"),  # before the depth
        ("81cd0001c0", "map key must be a string"),
        ("81cd00", "IO error while reading data: failed to fill whole buffer"),  # before the key's type
        ("92c0c1", "invalid marker 0xc1 at index 2"),
        ("9281a3616263a3e282", "IO error while reading data: failed to fill whole buffer"),
        ("9281a3616263a2c328", "string is not valid UTF-8: invalid utf-8 sequence of 1 bytes from index 7"),
        ("81a2c328c0", "string is not valid UTF-8: invalid utf-8 sequence of 1 bytes from index 2"),
    ],
)
def test_msgpack_errors(packed, message):
    assert decode_error(msgpack_frame(bytes.fromhex(packed))) == message


@pytest.mark.parametrize(
    "packed, payload",
    [
        (b"\xdc\xff\xff" + b"\xc0" * 0xFFFF, "[" + ",".join(["null"] * 0xFFFF) + "]"),
        (b"\xdd\x00\x01\x00\x00" + b"\x90" * 0x10000, "[" + ",".join(["[]"] * 0x10000) + "]"),
        (b"\xdb\x00\x01\x00\x00" + b"a" * 0x10000, '"' + "a" * 0x10000 + '"'),
        (b"\x91" * 1023 + b"\xc0\xc1", None),  # the deepest allowed nesting still ends as JSON does
    ],
)
def test_msgpack_large_counts(packed, payload):
    if payload is None:
        assert decode_error(msgpack_frame(packed)) == "recursion limit exceeded at line 1 column 128"
    else:
        assert payload_of(msgpack_frame(packed)) == payload


@pytest.mark.parametrize("odd", ['"', "\\", "\x00", "\x1f", "\n", "\u00e9", "\u20ac", "\x7f", "~"])
@pytest.mark.parametrize("size", [1, 2, 7, 8, 9, 15, 16, 17, 24])
def test_msgpack_strings_with_one_odd_character(odd, size):
    """Each position of a string, the string last in the payload or followed by more."""
    for at in range(size):
        text = "a" * at + odd + "b" * (size - at - 1)
        expected = json.dumps(text, ensure_ascii=False)
        last = b"\x92\xc0" + msgpack_str(text)
        inner = b"\x92" + msgpack_str(text) + b"\xa1" + b"x" * 1 + b"\xc0" * 20
        assert payload_of(msgpack_frame(last)) == "[null," + expected + "]"
        assert payload_of(msgpack_frame(inner)) == "[" + expected + ',"x"]'


@pytest.mark.parametrize("raw, index", [(b"\xff", 0), (b"a\xc3", 1), (b"abcdefg\x80", 7), (b"abcdefgh\xe2\x82", 8)])
def test_msgpack_strings_not_utf8_at_any_place(raw, index):
    for tail in (b"", b"\xc0" * 16):
        packed = b"\x91" + bytes([0xA0 | len(raw)]) + raw + tail
        assert decode_error(msgpack_frame(packed)).startswith("string is not valid UTF-8: ")
        assert decode_error(msgpack_frame(packed)).endswith(f"from index {index + 2}")


# --- Number and string writing --------------------------------------------------------------------


@pytest.mark.parametrize("codec", [JSON, MSGPACK])
@pytest.mark.parametrize(
    "text, written",
    [
        ("1e16", "1e+16"),
        ("1E15", "1000000000000000.0"),
        ("0.000001", "1e-6"),
        ("0.00001", "0.00001"),
        ("-0", "-0.0"),
        ("1.7976931348623157e308", "1.7976931348623157e+308"),
        ("18446744073709551616", "1.8446744073709552e+19"),
        ("-9223372036854775808", "-9223372036854775808"),
        ('"\\u001f\\u0000\\b\\t\\n\\f\\r"', '"\\u001f\\u0000\\b\\t\\n\\f\\r"'),
        ('"\\u00e9\\/\\"\\\\"', '"é/\\"\\\\"'),
        ('"\\ud83d\\ude00\x7f"', '"😀\x7f"'),
        (' {"b":1 , "a":2,"b":3,"":[]} ', '{"":[],"a":2,"b":3}'),
        ('{"\u00e9":1,"z":2,"ab":3,"a":4}', '{"a":4,"ab":3,"z":2,"é":1}'),
    ],
)
def test_writing_through_decode(codec, text, written):
    f = vorlik.encode_frame(text, "m", "snapshot", 0, codec)
    assert payload_of(f) == written


# --- Round trips ----------------------------------------------------------------------------------

json_values = st.recursive(
    st.none()
    | st.booleans()
    | st.integers(-(2**63), 2**64 - 1)
    | st.floats(allow_nan=False, allow_infinity=False)
    | st.text(),
    lambda inner: st.lists(inner, max_size=5) | st.dictionaries(st.text(max_size=8), inner, max_size=5),
    max_leaves=25,
)


def tagged(v):
    """Comparable form that tells 1, 1.0 and True apart and keeps -0.0."""
    if isinstance(v, bool) or v is None:
        return v
    if isinstance(v, float):
        return ("f", math.copysign(1, v), abs(v))
    if isinstance(v, int):
        return ("i", v)
    if isinstance(v, list):
        return [tagged(x) for x in v]
    if isinstance(v, dict):
        return {k: tagged(x) for k, x in v.items()}
    return v


def keys_sorted(pairs):
    keys = [k.encode() for k, _ in pairs]
    assert keys == sorted(keys)
    return dict(pairs)


@settings(max_examples=300, deadline=None)
@given(
    value=json_values,
    codec=st.sampled_from([JSON, MSGPACK]),
    rev=st.integers(0, 2**64 - 1),
    kind=st.sampled_from(["snapshot", "patch"]),
    model_type=st.text(max_size=10),
)
def test_round_trip(value, codec, rev, kind, model_type):
    text = json.dumps(value, ensure_ascii=False, indent=1)
    f = vorlik.encode_frame(text, model_type, kind, rev, codec)
    assert json.loads(f[4 : 4 + int.from_bytes(f[:4], "big")]) == {
        "codec": codec,
        "model_type": model_type,
        "target": 0,
        "rev": rev,
        "kind": kind.capitalize(),
    }
    out = vorlik.decode_frame(f)
    result = json.loads(out, object_pairs_hook=keys_sorted)
    assert list(result) == ["kind", "model_type", "payload", "rev"]
    assert (result["kind"], result["model_type"], result["rev"]) == (kind, model_type, rev)
    assert tagged(result["payload"]) == tagged(value)
    # The written form is a fixed point of both codecs.
    compact = out[out.index(',"payload":') + 11 : out.rindex(',"rev":')]
    for again in (MSGPACK, JSON):
        assert payload_of(vorlik.encode_frame(compact, "m", "patch", 0, again)) == compact


# --- Parts too large for a length field -----------------------------------------------------------


def _available_memory():
    with open("/proc/meminfo") as f:
        return next((int(line.split()[1]) * 1024 for line in f if line.startswith("MemAvailable:")), 0)


@pytest.mark.skipif(_available_memory() < 8 * 2**30, reason="needs about 5 GiB of free memory")
def test_oversized_payload_is_refused():
    with pytest.raises(ValueError) as info:
        vorlik.encode_frame("a" * 2**32, "m", "patch", 0, JSON)
    assert str(info.value) == "payload too large for a frame: 4294967296 bytes (at most 4294967295)"


@pytest.mark.skipif(
    not os.environ.get("VORLIK_BIG_TESTS") or _available_memory() < 16 * 2**30,
    reason="slow, needs about 10 GiB of free memory; set VORLIK_BIG_TESTS=1",
)
def test_oversized_header_is_refused():
    # Each control character is written as a six-byte escape.
    with pytest.raises(ValueError) as info:
        vorlik.encode_frame("{}", "\x01" * (2**32 // 6), "patch", 0, JSON)
    assert str(info.value).startswith("header too large for a frame: 42949673")
