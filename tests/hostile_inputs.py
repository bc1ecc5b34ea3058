"""Hostile inputs, one builder each, shared by the tests and by scripts/hostile_table.py (which
times them and measures their memory). A builder returns the function's name and its arguments;
`expect` is "ok" or the start of the ValueError's text."""

from __future__ import annotations

import json
from collections.abc import Callable
from dataclasses import dataclass

MB = 1 << 20


def frame(payload: bytes, codec: str = "application/msgpack") -> bytes:
    header = json.dumps(
        {"codec": codec, "model_type": "m", "target": 0, "rev": 1, "kind": "Patch"}, separators=(",", ":")
    ).encode()
    return len(header).to_bytes(4, "big") + header + len(payload).to_bytes(4, "big") + payload


def arrays(depth: int) -> str:
    return "[" * depth + "]" * depth


def in_tree(value: str) -> str:
    """`value` as the compute of a binding: 3 levels open around it."""
    return '{"tag":"x","bindings":{"b":{"mode":"one-way","compute":' + value + "}}}"


def in_handler(value: str) -> str:
    """`value` as the literal of a handler's expression: 4 levels open around it."""
    return '{"tag":"x","events":{"e":{"kind":"set-field","field":"f","value":{"expr":"lit","value":' + value + "}}}}"


def in_patch(value: str) -> str:
    """`value` as the compute of a binding that a patch sets: 5 levels open around it."""
    return '{"ops":[{"SetBinding":{"path":[],"name":"b","binding":{"mode":"one-way","compute":' + value + "}}}]}"


def msgpack_nest(depth: int, marker: bytes = b"\x91") -> bytes:
    return marker * depth + b"\xc0"


def node_chain(depth: int) -> str:
    """Nodes nested in nodes, `depth` levels open at the deepest point (3 per tree level)."""
    leaves = ['{"tag":"y"}', '{"tag":"y","props":{}}', '{"tag":"y","props":{"p":{"Int":1}}}']
    node = leaves[(depth - 1) % 3]
    for _ in range((depth - 1) // 3):
        node = '{"tag":"x","slots":{"s":[' + node + "]}}"
    return node


def list_prop(depth: int) -> str:
    """A prop of Lists nested in Lists, `depth` levels open at the deepest point."""
    value = '"Null"' if depth % 2 == 0 else '{"Int":1}'
    for _ in range((depth - 2) // 2):
        value = '{"List":[' + value + "]}"
    return '{"tag":"x","props":{"p":' + value + "}}"


@dataclass
class Case:
    name: str
    build: Callable[[], tuple[str, tuple]]
    expect: str  # "ok", or the start of the ValueError's text


EMPTY = '{"ops":[]}'
LIMIT = "recursion limit exceeded"

CASES = [
    # Nesting: 127 levels open are fine everywhere, the 128th is refused.
    Case("tree nested 127", lambda: ("apply", (in_tree(arrays(124)), EMPTY)), "ok"),
    Case("tree nested 128", lambda: ("apply", (in_tree(arrays(125)), EMPTY)), LIMIT),
    Case("handler nested 127", lambda: ("diff", (in_handler(arrays(123)),) * 2), "ok"),
    Case("handler nested 128", lambda: ("diff", (in_handler(arrays(124)),) * 2), LIMIT),
    Case("patch nested 127", lambda: ("apply", ('{"tag":"x"}', in_patch(arrays(122)))), "ok"),
    Case("patch nested 128", lambda: ("apply", ('{"tag":"x"}', in_patch(arrays(123)))), LIMIT),
    Case("nodes nested 127", lambda: ("diff", (node_chain(127),) * 2), "ok"),
    Case("nodes nested 128", lambda: ("diff", (node_chain(128),) * 2), LIMIT),
    Case("prop values nested 127", lambda: ("diff", (list_prop(127),) * 2), "ok"),
    Case("prop values nested 128", lambda: ("diff", (list_prop(128),) * 2), LIMIT),
    Case("payload nested 127", lambda: ("encode_frame", (arrays(127), "m", "patch", 1, "application/msgpack")), "ok"),
    Case("payload nested 128", lambda: ("encode_frame", (arrays(128), "m", "patch", 1, "application/msgpack")), LIMIT),
    Case("JSON frame nested 128", lambda: ("decode_frame", (frame(arrays(128).encode(), "application/json"),)), LIMIT),
    Case("MessagePack nested 127", lambda: ("decode_frame", (frame(msgpack_nest(127)),)), "ok"),
    Case("MessagePack nested 128", lambda: ("decode_frame", (frame(msgpack_nest(128)),)), LIMIT),
    Case("MessagePack nested 1023", lambda: ("decode_frame", (frame(msgpack_nest(1023)),)), LIMIT),
    Case("MessagePack nested 1024", lambda: ("decode_frame", (frame(msgpack_nest(1024)),)), "depth limit exceeded"),
    Case(
        "MessagePack maps nested 1024",
        lambda: ("decode_frame", (frame(msgpack_nest(1024, b"\x81\xa1k")),)),
        "depth limit exceeded",
    ),
    # Unknown members are skipped whatever their depth, without stack growth.
    Case(
        "manifest unknown member nested 10^6",
        lambda: ("parse_cem", ('{"x":' + arrays(10**6) + ',"modules":[]}',)),
        "ok",
    ),
    Case(
        "header unknown member nested 10^6",
        lambda: (
            "decode_frame",
            (
                (lambda h: len(h).to_bytes(4, "big") + h + b"\0\0\0\x02{}")(
                    b'{"x":' + arrays(10**6).encode() + b',"codec":"application/json","model_type":"m",'
                    b'"target":0,"rev":1,"kind":"Patch"}'
                ),
            ),
        ),
        "ok",
    ),
    Case(
        "node unknown member nested 10^6",
        lambda: ("diff", ('{"x":' + arrays(10**6) + ',"tag":"a"}', '{"tag":"a"}')),
        "ok",
    ),
    Case("tree nested 10^6", lambda: ("diff", (in_tree(arrays(10**6)), "{}")), LIMIT),
    # Length claims beyond the input.
    Case("frame header claiming 4 GiB", lambda: ("decode_frame", (b"\xff\xff\xff\xff{}",)), "truncated frame"),
    Case(
        "frame payload claiming 4 GiB",
        lambda: ("decode_frame", (frame(b"")[:-4] + b"\xff\xff\xff\xff" + b"\xc0" * 100,)),
        "truncated frame",
    ),
    Case(
        "MessagePack array claiming 2^32-1",
        lambda: ("decode_frame", (frame(b"\xdd\xff\xff\xff\xff" + b"\xc0" * 1000),)),
        "IO error while reading marker",
    ),
    Case(
        "MessagePack map claiming 2^32-1",
        lambda: ("decode_frame", (frame(b"\xdf\xff\xff\xff\xff" + b"\xa1a\xc0" * 1000),)),
        "IO error while reading marker",
    ),
    Case(
        "MessagePack string claiming 2^32-1",
        lambda: ("decode_frame", (frame(b"\xdb\xff\xff\xff\xff" + b"a" * 1000),)),
        "IO error while reading data",
    ),
    Case(
        "MessagePack binary claiming 2^32-1",
        lambda: ("decode_frame", (frame(b"\xc6\xff\xff\xff\xff" + b"a" * 1000),)),
        "IO error while reading data",
    ),
    Case(
        "MessagePack 60 nested claims of 2^32-1",
        lambda: ("decode_frame", (frame(b"\xdd\xff\xff\xff\xff" * 60 + b"\xc0" * MB),)),
        "IO error while reading",
    ),
    # Sizes.
    Case(
        "number of 10^6 digits",
        lambda: ("apply", ('{"tag":"x","props":{"v":{"Int":' + "7" * 10**6 + "}}}", EMPTY)),
        "number out of range",
    ),
    Case(
        "fraction of 10^6 digits",
        lambda: ("apply", ('{"tag":"x","props":{"v":{"Float":0.' + "3" * 10**6 + "}}}", EMPTY)),
        "ok",
    ),
    Case(
        "10^6 props in one node",
        lambda: (
            "diff",
            ('{"tag":"x","props":{' + ",".join(f'"p{i}":"Null"' for i in range(10**6, 0, -1)) + "}}", '{"tag":"x"}'),
        ),
        "ok",
    ),
    Case(
        "100 MB string prop",
        lambda: ("diff", ('{"tag":"x","props":{"s":{"Str":"' + "é" * (50 * MB) + '"}}}', '{"tag":"x"}')),
        "ok",
    ),
    Case(
        "100 MB tree applied",
        lambda: (
            "apply",
            (
                '{"tag":"ul","slots":{"s":['
                + ",".join(['{"tag":"li","key":"k","props":{"p":{"Int":1}}}'] * (2 * MB))
                + "]}}",
                EMPTY,
            ),
        ),
        "ok",
    ),
    Case(
        "10 MB of nulls to MessagePack",
        lambda: (
            "encode_frame",
            ("[" + ",".join(["null"] * (2 * MB)) + "]", "m", "snapshot", 1, "application/msgpack"),
        ),
        "ok",
    ),
    Case(
        "30 MB of short strings to MessagePack",
        lambda: (
            "encode_frame",
            ("[" + ",".join(['"abcdefgh"'] * (3 * MB)) + "]", "m", "snapshot", 1, "application/msgpack"),
        ),
        "ok",
    ),
    Case(
        "100 MB manifest",
        lambda: (
            "parse_cem",
            (
                '{"modules":[{"declarations":[{"customElement":true,"tagName":"a-b","description":"'
                + "d" * (100 * MB)
                + '"}]}]}',
            ),
        ),
        "ok",
    ),
    # Strings.
    Case(
        "every escape and plane",
        lambda: (
            "diff",
            (
                '{"tag":"x","props":{"s":{"Str":"\\"\\\\\\/\\b\\f\\n\\r\\t\\u0000\\u001f\\u00e9\\u20ac'
                '\\ud83d\\ude00\\udbff\\udfff é€😀\U0010ffff"}}}',
                '{"tag":"x"}',
            ),
        ),
        "ok",
    ),
    Case(
        "lone high surrogate escape",
        lambda: ("diff", ('{"tag":"x","props":{"s":{"Str":"\\ud800x"}}}', "{}")),
        "unexpected end of hex escape",
    ),
    Case(
        "lone low surrogate escape",
        lambda: ("diff", ('{"tag":"x","props":{"s":{"Str":"\\udc00"}}}', "{}")),
        "lone leading surrogate",
    ),
    Case("raw control character", lambda: ("diff", ('{"tag":"x\x01"}', "{}")), "control character"),
    Case(
        "invalid UTF-8 in a JSON frame",
        lambda: ("decode_frame", (frame(b'"\xff"', "application/json"),)),
        "invalid utf-8 sequence",
    ),
]
