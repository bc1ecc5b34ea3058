"""The WebAssembly module against the extension: the same trees, patches, frames and manifests,
generated, broken and large, give the same results and the same messages through both.

Runs when `make wasm` has built the module and Node is installed; skipped otherwise, unless
VORLIK_WASM_REQUIRED is set (as in CI), when a missing build fails instead."""

import json
import os
import struct
import sys
from pathlib import Path

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from test_diff import nodes, tree_pairs
from test_frames import json_values

import vorlik

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "wasm"))
sys.path.insert(0, str(ROOT / "bench"))
from driver import Driver  # noqa: E402

VECTORS = Path(os.environ.get("VORLIK_VECTORS", ROOT.parent / "shared" / "conformance" / "public.jsonl"))
JSON = "application/json"
MSGPACK = "application/msgpack"
EXAMPLES = settings(max_examples=150, deadline=None, suppress_health_check=[HealthCheck.too_slow])


@pytest.fixture(scope="module")
def wasm():
    try:
        driver = Driver()
    except FileNotFoundError as e:
        if os.environ.get("VORLIK_WASM_REQUIRED"):
            raise
        pytest.skip(str(e))
    with driver:
        yield driver


def native(function, *args):
    """The extension's outcome in the driver's terms: refused input is the face's VorlikError,
    and the argument errors are named as the face names them (their texts differ)."""
    try:
        return "ok", getattr(vorlik, function)(*args)
    except UnicodeEncodeError:
        return "TypeError", None  # a lone surrogate
    except ValueError as e:
        return "VorlikError", str(e)
    except (OverflowError, MemoryError):
        return "RangeError", None
    except TypeError:
        return "TypeError", None


def agree(wasm, function, *args):
    expected = native(function, *args)
    name, value = wasm.call(function, *args)
    assert (name, value if expected[1] is not None else None) == expected, (function, args)
    return expected


def dumps(value):
    return json.dumps(value, ensure_ascii=False, separators=(",", ":"))


@st.composite
def broken(draw, text):
    """`text` with one character cut off the end, dropped, doubled or replaced somewhere."""
    if not text:
        return draw(st.sampled_from(["", " ", "{", "]"]))
    at = draw(st.integers(0, len(text) - 1))
    how = draw(st.sampled_from(["cut", "drop", "double", "replace"]))
    if how == "cut":
        return text[:at]
    if how == "drop":
        return text[:at] + text[at + 1 :]
    if how == "double":
        return text[:at] + text[at] + text[at:]
    return text[:at] + draw(st.sampled_from(list('{}[]",:0-.eE\\ ntfa\x01é'))) + text[at + 1 :]


@st.composite
def broken_bytes(draw, data):
    at = draw(st.integers(0, max(len(data) - 1, 0)))
    how = draw(st.sampled_from(["cut", "flip", "insert"]))
    if how == "cut" or not data:
        return data[:at]
    byte = bytes([draw(st.integers(0, 255))])
    return data[:at] + byte + data[at + (how == "flip") :]


# --- The conformance vectors, compared with the extension exactly (also where they allow more) ---


@pytest.mark.skipif(not VECTORS.is_file(), reason=f"no vectors at {VECTORS}")
def test_conformance_vectors(wasm):
    differ = []
    for line in VECTORS.read_text(encoding="utf-8").split("\n"):  # not splitlines(): U+2028 in texts
        if not line:
            continue
        v = json.loads(line)
        args = list(v["args"])
        if v["fn"] == "decode_frame":
            args[0] = bytes.fromhex(args[0])
        if native(v["fn"], *args) != wasm.call(v["fn"], *args):
            differ.append(v["id"])
    assert differ == []


# --- Generated trees and patches, as they are and broken ---


@EXAMPLES
@given(pair=tree_pairs(), data=st.data())
def test_trees_and_patches(wasm, pair, data):
    old, new = (dumps(t) for t in pair)
    _, patch = agree(wasm, "diff", old, new)
    agree(wasm, "apply", old, patch)
    agree(wasm, "apply", new, '{"ops":[]}')
    agree(wasm, "diff", data.draw(broken(old)), new)
    agree(wasm, "diff", old, data.draw(broken(new)))
    agree(wasm, "apply", old, data.draw(broken(patch)))
    # A patch made for another tree, which may not fit this one.
    agree(wasm, "apply", old, vorlik.diff(new, dumps(data.draw(nodes()))))


# --- Frames ---


@EXAMPLES
@given(
    value=json_values,
    codec=st.sampled_from([JSON, MSGPACK, "application/xml"]),
    rev=st.integers(0, 2**64 - 1),
    kind=st.sampled_from(["snapshot", "patch", "Patch"]),
    model_type=st.text(max_size=10),
    data=st.data(),
)
def test_frames(wasm, value, codec, rev, kind, model_type, data):
    payload = json.dumps(value, ensure_ascii=False, indent=data.draw(st.sampled_from([None, 1])))
    payload = data.draw(st.sampled_from([payload, data.draw(broken(payload))]))
    _, frame = agree(wasm, "encode_frame", payload, model_type, kind, rev, codec)
    if isinstance(frame, bytes):
        agree(wasm, "decode_frame", frame)
        agree(wasm, "decode_frame", data.draw(broken_bytes(frame)))


def frame_of(header, payload):
    return struct.pack(">I", len(header)) + header + struct.pack(">I", len(payload)) + payload


@EXAMPLES
@given(
    payload=st.binary(max_size=40),
    codec=st.sampled_from([JSON, MSGPACK]),
    header=st.sampled_from([b"", b"{", b'{"codec":"application/json","model_type":"m","target":0,"rev":1}']),
)
def test_frames_of_any_bytes(wasm, payload, codec, header):
    good = json.dumps({"codec": codec, "model_type": "m", "target": 0, "rev": 1, "kind": "Patch"}).encode()
    agree(wasm, "decode_frame", frame_of(good, payload))
    agree(wasm, "decode_frame", frame_of(header, payload))
    agree(wasm, "decode_frame", payload)


# --- Manifests ---

texts = st.sampled_from(["", "x-a", "my-button", "string", "number | undefined", "'a' | 'b'", "é"])
anything = st.one_of(st.none(), st.booleans(), st.integers(-3, 3), texts, st.just([]), st.just({}))
members = st.fixed_dictionaries(
    {},
    optional={
        "name": texts | anything,
        "description": texts | anything,
        "default": texts | anything,
        "type": st.fixed_dictionaries({"text": texts | anything}) | anything,
        "fieldName": texts,
    },
)
declarations = st.fixed_dictionaries(
    {},
    optional={
        "customElement": st.booleans() | anything,
        "tagName": texts | anything,
        "name": texts,
        "summary": texts,
        "description": texts,
        "kind": st.just("class"),
        "attributes": st.lists(members, max_size=3) | anything,
        "members": st.lists(members, max_size=3),
        "events": st.lists(members, max_size=2) | anything,
        "slots": st.lists(members, max_size=2) | anything,
    },
)
manifests = st.fixed_dictionaries(
    {"modules": st.lists(st.fixed_dictionaries({"declarations": st.lists(declarations, max_size=3)}), max_size=2)},
    optional={"schemaVersion": texts},
)


@EXAMPLES
@given(manifest=manifests, data=st.data())
def test_manifests(wasm, manifest, data):
    text = dumps(manifest)
    agree(wasm, "parse_cem", text)
    agree(wasm, "parse_cem", data.draw(broken(text)))


# --- Large inputs: the benchmark's shapes ---

workloads = pytest.importorskip("workloads")
LARGE = [
    (shape, change, size)
    for size in (0.1, 1)
    for shape, changes in workloads.CHANGES_OF.items()
    for change in changes[-1:]
    if size < 1 or shape in ("table", "floats", "keyed")
]


@pytest.mark.parametrize("shape, change, size", LARGE)
def test_large(wasm, shape, change, size):
    old, new = workloads.pair(shape, change, int(size * 1_000_000))
    _, patch = agree(wasm, "diff", old, new)
    assert agree(wasm, "apply", old, patch)[0] == "ok"
    for codec in (JSON, MSGPACK):
        _, frame = agree(wasm, "encode_frame", new, "page", "snapshot", 2**64 - 1, codec)
        agree(wasm, "decode_frame", frame)
        agree(wasm, "decode_frame", frame[: len(frame) // 2])
        agree(wasm, "decode_frame", frame[:-3] + b"\xff" + frame[-2:])
    # Broken near the end, where the message's position is far into the text.
    agree(wasm, "diff", old, new[:-1])
    agree(wasm, "apply", old[:-2] + "x" + old[-1:], patch)


def test_large_manifest(wasm):
    text = workloads.manifest(1_000_000)
    agree(wasm, "parse_cem", text)
    agree(wasm, "parse_cem", text[:-1])


# --- Argument errors the two faces share in kind ---


@pytest.mark.parametrize(
    "function, args, name",
    [
        ("diff", ('{"tag":"\ud800"}', "{}"), "TypeError"),
        ("encode_frame", ("{}", "m", "patch", -1, JSON), "RangeError"),
        ("encode_frame", ("{}", "m", "patch", 2**64, JSON), "RangeError"),
        ("decode_frame", ("not bytes",), "TypeError"),
    ],
)
def test_argument_errors(wasm, function, args, name):
    assert agree(wasm, function, *args)[0] == name
