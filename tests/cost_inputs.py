"""Pairs of inputs of one size and shape, one built to make a call slow and one benign, for every
route through the module: shared by tests/test_cost.py, which times them against each other, and
`scripts/hostile_table.py --cost`, which prints their times and memory. A builder returns the
hostile and the benign arguments of the call; `calls` repeats a small input so that its time can
be read."""

from __future__ import annotations

import json
import random
from collections.abc import Callable
from dataclasses import dataclass

from hostile_inputs import frame

Args = tuple


@dataclass
class Pair:
    group: str  # what is at stake, shared by the routes of one kind
    route: str  # the function and the part of it that is driven
    call: str
    build: Callable[[], tuple[Args, Args]]
    # The hostile input may cost this many times the benign one: generous, as timings on a
    # shared machine move, yet far below what a cost growing faster than the input gives.
    bound: float = 5.0
    calls: int = 1  # times the call is made per timing
    same_result: bool = False  # both inputs must give the same result
    # Timings below this (seconds per timing) are taken as this: a scheduler's hiccup must not
    # fail a pair whose benign input is read in an instant.
    floor: float = 0.001

    @property
    def name(self) -> str:
        return f"{self.group}: {self.route}"


def compact(value) -> str:
    return json.dumps(value, separators=(",", ":"))


# --- apply: edits to one node's maps and lists ------------------------------------------------

EDITS = 100_000


def names(n: int = EDITS) -> list[str]:
    return [f"n{i:06d}" for i in range(n)]


def patch(ops: list[str]) -> str:
    return '{"ops":[' + ",".join(ops) + "]}"


def falling_and_rising(op: Callable[[str], str], root: str = '{"tag":"x"}') -> tuple[Args, Args]:
    """One op per name, names falling (each entry lands in front of all the others) against
    names rising (each lands at the end)."""
    ops = [op(n) for n in names()]
    return (root, patch(ops[::-1])), (root, patch(ops))


def front_and_back(op: Callable[[str], str], root: str) -> tuple[Args, Args]:
    """One op per name on a node that holds them all: rising, as `diff` writes removals, each
    takes the front entry of what is left, against falling, each takes the last one."""
    ops = [op(n) for n in names()]
    return (root, patch(ops)), (root, patch(ops[::-1]))


def node_with(member: str, entry: Callable[[str], str]) -> str:
    return '{"tag":"x","' + member + '":{' + ",".join(f'"{n}":{entry(n)}' for n in names()) + "}}"


HANDLER = '{"kind":"js","handler":"h"}'
BINDING = '{"mode":"one-way"}'
CHILD = '{"tag":"c"}'


def slot_paths() -> tuple[Args, Args]:
    """Slots created by the patch, then a SetKey and a Replace whose paths step through each."""

    def ops(order: list[str]) -> list[str]:
        made = [f'{{"InsertChild":[[],"{n}",0,{CHILD}]}}' for n in order]
        used = [f'{{"SetKey":[[["{n}",0]],"k"]}},{{"Replace":[[["{n}",0]],{CHILD}]}}' for n in order]
        return made + used

    rising = names(EDITS // 2)
    return ('{"tag":"x"}', patch(ops(rising[::-1]))), ('{"tag":"x"}', patch(ops(rising)))


def long_slot(n: int = EDITS) -> str:
    return '{"tag":"x","slots":{"s":[' + ",".join([CHILD] * n) + "]}}"


def map_pairs(member: str, set_op: str, remove_op: str, value: str) -> list[Pair]:
    """Entries of one of a node's maps added in falling order, and removed front first."""
    return [
        Pair(
            "apply: map edits",
            set_op,
            "apply",
            lambda: falling_and_rising(lambda n: f'{{"{set_op}":[[],"{n}",{value}]}}'),
            same_result=True,
        ),
        Pair(
            "apply: map edits",
            remove_op,
            "apply",
            lambda: front_and_back(lambda n: f'{{"{remove_op}":[[],"{n}"]}}', node_with(member, lambda n: value)),
            same_result=True,
        ),
    ]


APPLY = [
    *map_pairs("props", "SetProp", "RemoveProp", '{"Int":1}'),
    *map_pairs("events", "SetEvent", "RemoveEvent", HANDLER),
    *map_pairs("bindings", "SetBinding", "RemoveBinding", BINDING),
    Pair(
        "apply: map edits",
        "InsertChild making slots",
        "apply",
        lambda: falling_and_rising(lambda n: f'{{"InsertChild":[[],"{n}",0,{CHILD}]}}'),
        same_result=True,
    ),
    Pair(
        "apply: map edits",
        "RemoveChild dropping slots",
        "apply",
        lambda: front_and_back(lambda n: f'{{"RemoveChild":[[],"{n}",0]}}', node_with("slots", lambda n: f"[{CHILD}]")),
        same_result=True,
    ),
    Pair("apply: map edits", "SetKey and Replace through new slots", "apply", slot_paths, same_result=True),
    # One long child list: the front against the back.
    Pair(
        "apply: child lists",
        "InsertChild",
        "apply",
        lambda: (
            ('{"tag":"x"}', patch([f'{{"InsertChild":[[],"s",0,{CHILD}]}}'] * EDITS)),
            ('{"tag":"x"}', patch([f'{{"InsertChild":[[],"s",{i},{CHILD}]}}' for i in range(EDITS)])),
        ),
        same_result=True,
    ),
    Pair(
        "apply: child lists",
        "RemoveChild",
        "apply",
        lambda: (
            (long_slot(), patch(['{"RemoveChild":[[],"s",0]}'] * (EDITS - 1))),
            (long_slot(), patch([f'{{"RemoveChild":[[],"s",{i}]}}' for i in range(EDITS - 1, 0, -1)])),
        ),
        same_result=True,
    ),
    Pair(
        "apply: child lists",
        "MoveChild",
        "apply",
        lambda: (
            (long_slot(), patch([f'{{"MoveChild":[[],"s",0,{EDITS - 1}]}}'] * EDITS)),
            (long_slot(), patch([f'{{"MoveChild":[[],"s",{EDITS - 1},{EDITS - 1}]}}'] * EDITS)),
        ),
        same_result=True,
    ),
]


# --- diff: keys of one slot --------------------------------------------------------------------

_M64 = (1 << 64) - 1
_MUL = (0xC6A4A793 << 32) + 0x5BD1E995  # the multiplier of the standard library's string hash
_MUL_INV = pow(_MUL, -1, 1 << 64)


def _mix(v: int) -> int:
    return v ^ (v >> 47)  # its own inverse


def _word(w: int) -> int:
    return (_mix((w * _MUL) & _M64) * _MUL) & _M64


def _word_inverse(y: int) -> int:
    return (_mix((y * _MUL_INV) & _M64) * _MUL_INV) & _M64


def colliding_keys(segments: int, seed: int = 1) -> list[str]:
    """2**segments distinct ASCII keys of 16 * segments bytes with one value under GCC's
    std::hash<std::string_view> (a MurmurHash2 variant with a fixed seed, invertible word by
    word). Each 16-byte segment comes in two spellings that leave the hash's state alike, so any
    choice of spellings gives the same hash."""
    rnd = random.Random(seed)
    ascii_only = 0x7F7F7F7F7F7F7F7F
    length = 16 * segments
    state = (0xC70F6907 ^ (length * _MUL)) & _M64
    spellings = []
    for _ in range(segments):
        a, a2 = rnd.getrandbits(64) & ascii_only, rnd.getrandbits(64) & ascii_only
        after_a = ((state ^ _word(a)) * _MUL) & _M64
        after_a2 = ((state ^ _word(a2)) * _MUL) & _M64
        while True:  # a second word that brings both to one state, until one is ASCII
            b = rnd.getrandbits(64) & ascii_only
            b2 = _word_inverse(after_a ^ after_a2 ^ _word(b))
            if b2 & ~ascii_only & _M64 == 0:
                break
        spellings.append([w1.to_bytes(8, "little") + w2.to_bytes(8, "little") for w1, w2 in ((a, b), (a2, b2))])
        state = ((after_a ^ _word(b)) * _MUL) & _M64
    return [
        b"".join(spellings[s][bits >> s & 1] for s in range(segments)).decode("ascii") for bits in range(1 << segments)
    ]


def keyed_list(keys: list[str]) -> str:
    return compact({"tag": "ul", "slots": {"s": [{"tag": "li", "key": k} for k in keys]}})


def reversed_keyed_lists() -> tuple[Args, Args]:
    """A keyed list diffed against its reverse: keys with one hash value against the same keys
    turned by eight characters (same length, same escapes, hashes of no pattern)."""
    keys = colliding_keys(14)
    plain = [k[8:] + k[:8] for k in keys]
    return ((keyed_list(keys), keyed_list(keys[::-1])), (keyed_list(plain), keyed_list(plain[::-1])))


def props_out_of_order() -> tuple[Args, Args]:
    def tree(order):
        return '{"tag":"x","props":{' + ",".join(f'"{n}":{{"Int":1}}' for n in order) + "}}"

    rising = names()
    return (tree(rising[::-1]), tree(rising[::-1])), (tree(rising), tree(rising))


def nested_maps_out_of_order() -> tuple[Args, Args]:
    """Map values nested 60 deep, each with a long string member before the nested map ("z"
    before "a") against after it."""

    def tree(ordered: bool) -> str:
        value = '"Null"'
        pad = '{"Str":"' + "p" * 20_000 + '"}'
        for _ in range(60):
            a, z = f'"a":{value}', f'"z":{pad}'
            value = '{"Map":{' + (f"{a},{z}" if ordered else f"{z},{a}") + "}}"
        return '{"tag":"x","props":{"p":' + value + "}}"

    return (tree(False), tree(False)), (tree(True), tree(True))


DIFF = [
    Pair("diff: keyed lists", "keys of one hash value, list reversed", "diff", reversed_keyed_lists),
    Pair("diff: tree reader", "props in falling order", "diff", props_out_of_order, same_result=True),
    Pair("diff: tree reader", "nested Map values out of order", "diff", nested_maps_out_of_order, same_result=True),
]


# --- frames: putting maps in order --------------------------------------------------------------


def msgpack_str(s: str) -> bytes:
    b = s.encode()
    return b"\xdb" + len(b).to_bytes(4, "big") + b


def msgpack_maps(depth: int, total: int, ordered: bool) -> bytes:
    """Maps nested `depth` deep, each {"z": long string, "a": the next}: keys out of order, or
    the same members in order."""
    pad = msgpack_str("p" * (total // depth))
    inner = b"\xc0"
    for _ in range(depth):
        a, z = b"\xa1a" + inner, b"\xa1z" + pad
        inner = b"\x82" + (a + z if ordered else z + a)
    return inner


def json_objects(depth: int, total: int, ordered: bool, leaf: str = "1") -> str:
    pad = '"' + "p" * (total // depth) + '"'
    inner = leaf
    for _ in range(depth):
        a, z = f'"a":{inner}', f'"z":{pad}'
        inner = "{" + (f"{a},{z}" if ordered else f"{z},{a}") + "}"
    return inner


def json_frames_failing_late() -> tuple[Args, Args]:
    """Objects nested to the limit and out of order, then a fault after all of them: the careful
    reader takes the text over once the quick one has met the fault."""

    def payload(ordered: bool) -> bytes:
        return ('{"a":' + json_objects(125, 20_000_000, ordered) + ',"b":tru}').encode()

    return ((frame(payload(False), "application/json"),), (frame(payload(True), "application/json"),))


FRAMES = [
    Pair(
        "frames: map order",
        "decode_frame MessagePack, 1,000 maps nested",
        "decode_frame",
        lambda: ((frame(msgpack_maps(1000, 10_000_000, False)),), (frame(msgpack_maps(1000, 10_000_000, True)),)),
        same_result=True,
    ),
    Pair(
        "frames: map order",
        "encode_frame to MessagePack, 126 objects nested",
        "encode_frame",
        lambda: tuple(
            (json_objects(126, 20_000_000, o), "m", "patch", 1, "application/msgpack") for o in (False, True)
        ),
        same_result=True,
    ),
    # Nesting is bounded here (126 levels), and so is a per-level cost: a tighter bound.
    Pair(
        "frames: map order",
        "decode_frame JSON, careful reader",
        "decode_frame",
        json_frames_failing_late,
        bound=4.0,
        same_result=True,
    ),
    Pair(
        "frames: map order",
        "decode_frame JSON, quick reader",
        "decode_frame",
        lambda: tuple((frame(json_objects(126, 20_000_000, o).encode(), "application/json"),) for o in (False, True)),
        same_result=True,
    ),
]


# --- manifests -------------------------------------------------------------------------------


def manifest(attribute_names: list[str]) -> str:
    attributes = [{"name": n, "type": {"text": "string"}} for n in attribute_names]
    return compact(
        {"modules": [{"declarations": [{"customElement": True, "tagName": "a-b", "attributes": attributes}]}]}
    )


MANIFESTS = [
    Pair(
        "parse_cem: manifest reader",
        "attributes in falling order",
        "parse_cem",
        lambda: ((manifest(names()[::-1]),), (manifest(names()),)),
    ),
    Pair(
        "parse_cem: manifest reader",
        "one attribute name repeated",
        "parse_cem",
        lambda: ((manifest(names(1) * EDITS),), (manifest(names()),)),
    ),
]


# --- faults deep in the nesting ----------------------------------------------------------------

# Small inputs, each read many times: a fault at the deepest point against the valid input.
FAULT_CALLS = 2000


def nest_lists(depth: int, leaf: str) -> str:
    for _ in range(depth):
        leaf = '{"List":[' + leaf + "]}"
    return leaf


def nest_arrays(depth: int, leaf: str) -> str:
    return "[" * depth + leaf + "]" * depth


def nest_nodes(depth: int, leaf: str) -> str:
    node = '{"tag":"y","key":' + leaf + "}"
    for _ in range(depth):
        node = '{"tag":"x","slots":{"s":[' + node + "]}}"
    return node


def header_frame(leaf: bytes) -> bytes:
    header = (
        b'{"x":'
        + b"[" * 120
        + leaf
        + b"]" * 120
        + b',"codec":"application/json","model_type":"m","target":0,"rev":1,"kind":"Patch"}'
    )
    return len(header).to_bytes(4, "big") + header + b"\0\0\0\x02{}"


def fault(route: str, call: str, build: Callable[[str, str], Args]) -> Pair:
    return Pair(
        "faults deep in the nesting",
        route,
        call,
        lambda: (build("nul", '"Nul"'), build("null", '"Null"')),
        bound=10.0,
        calls=FAULT_CALLS,
        # A refusal costs one thrown error, some microseconds whatever the input; what is at stake
        # is the cost that grows with the nesting.
        floor=FAULT_CALLS * 5e-6,
    )


EMPTY = '{"ops":[]}'
FAULTS = [
    fault("tree, prop value", "apply", lambda j, v: ('{"tag":"x","props":{"p":' + nest_lists(60, v) + "}}", EMPTY)),
    fault(
        "tree, binding compute",
        "apply",
        lambda j, v: ('{"tag":"x","bindings":{"b":{"mode":"one-way","compute":' + nest_arrays(120, j) + "}}}", EMPTY),
    ),
    fault(
        "tree, handler literal",
        "apply",
        lambda j, v: (
            '{"tag":"x","events":{"e":{"kind":"set-field","field":"f","value":{"expr":"lit","value":'
            + nest_arrays(120, j)
            + "}}}}",
            EMPTY,
        ),
    ),
    fault("tree, nodes", "diff", lambda j, v: (nest_nodes(41, j), '{"tag":"x"}')),
    fault(
        "patch, op value",
        "apply",
        lambda j, v: ('{"tag":"x"}', '{"ops":[{"SetProp":{"path":[],"name":"p","value":' + nest_lists(60, v) + "}}]}"),
    ),
    fault(
        "frame payload, JSON", "decode_frame", lambda j, v: (frame(nest_arrays(126, j).encode(), "application/json"),)
    ),
    fault(
        "payload to MessagePack",
        "encode_frame",
        lambda j, v: (nest_arrays(127, j), "m", "patch", 1, "application/msgpack"),
    ),
    fault(
        "frame payload, MessagePack",
        "decode_frame",
        lambda j, v: (frame(b"\x91" * 120 + (b"\xc1" if j == "nul" else b"\xc0")),),
    ),
    fault("frame header", "decode_frame", lambda j, v: (header_frame(j.encode()),)),
    fault(
        "manifest",
        "parse_cem",
        lambda j, v: (
            '{"modules":[{"declarations":[{"customElement":true,"tagName":"a-b","x":' + nest_arrays(120, j) + "}]}]}",
        ),
    ),
]

PAIRS = APPLY + DIFF + FRAMES + MANIFESTS + FAULTS
