"""Writes a seed corpus for every fuzz target into the folder given: inputs taken from the
conformance vectors (when the shared folder is beside the checkout), the examples and a few
samples of each format; with --large also inputs of up to about a megabyte, shaped where a cost
growing faster than the input would show (long maps, long keyed lists, deep maps out of order),
for the size-growth run. The corpus is generated, never committed."""

import hashlib
import json
import pathlib
import sys

HERE = pathlib.Path(__file__).resolve().parent
VECTORS = HERE.parent.parent / "shared" / "conformance" / "public.jsonl"

TREES = [
    '{"tag":"div"}',
    '["div",null,{},{},{},{}]',
    '{"tag":"ul","key":"l","props":{"title":{"Str":"Inbox"},"n":{"Int":-3},"f":{"Float":1.5},'
    '"m":{"Map":{"b":"Null","a":{"List":[{"Bool":true},{"Submodel":7}]}}}},'
    '"slots":{"items":[{"tag":"li","key":"a"},{"tag":"li","key":"b"}],"empty":[]},'
    '"events":{"click":{"kind":"seq","actions":[{"kind":"toggle-field","field":"dark"},'
    '{"kind":"if","cond":{"expr":"not","of":{"expr":"field","name":"busy"}},'
    '"then":{"kind":"set","target":{"ref":"id","id":"m1"},"prop":"open",'
    '"value":{"expr":"lit","value":{"x":[1,2.5,null]}}},"else":null},'
    '{"kind":"call","method":"POST","url":{"expr":"concat","parts":[{"expr":"lit","value":"/a"},'
    '{"expr":"event"}]},"body":{"expr":"obj","fields":{"a":{"expr":"prop","target":{"ref":"this"},'
    '"name":"v"}}},"result":"r"}]}},'
    '"bindings":{"value":{"field":"name","compute":{"b":1,"a":[true]},"mode":"two-way"}}}',
]
PATCHES = [
    '{"ops":[]}',
    '{"ops":[{"SetProp":{"path":[],"name":"t","value":{"Str":"x"}}},'
    '{"InsertChild":{"path":[],"slot":"items","index":0,"node":{"tag":"li","key":"c"}}},'
    '{"MoveChild":{"path":[],"slot":"items","from":2,"to":0}},'
    '{"RemoveChild":[[],"items",1]},{"SetKey":[[["items",0]],null]},'
    '{"Replace":{"path":[{"slot":"items","index":0}],"node":{"tag":"p"}}}]}',
]
PAYLOADS = ['{"a":[1,-1,1.5,"x",true,null,{}]}', "[]", '"\\ud83d\\ude00"', "1e400", "[1,2"]


def frame(header: dict, payload: bytes) -> bytes:
    h = json.dumps(header, separators=(",", ":")).encode()
    return len(h).to_bytes(4, "big") + h + len(payload).to_bytes(4, "big") + payload


def seeds():
    """(target, bytes) pairs."""
    for old in TREES:
        yield "tree_reader", old.encode()
        for new in TREES:
            yield "diff_json", f"{old}\0{new}".encode()
        for patch in PATCHES:
            yield "apply_json", f"{old}\0{patch}".encode()
    for payload in PAYLOADS + TREES + PATCHES:
        yield "transcode", payload.encode()
        for target in ("encode_frame_json", "encode_frame_msgpack"):
            yield target, f"model\0{payload}".encode()
        header = {"codec": "application/json", "model_type": "m", "target": 0, "rev": 7, "kind": "Snapshot"}
        yield "decode_frame", frame(header, payload.encode())
    yield (
        "decode_frame",
        frame(
            {"codec": "application/msgpack", "model_type": "m", "target": 0, "rev": 1, "kind": "Patch"},
            bytes.fromhex("82a16195c3c0ffcb3ff8000000000000a178a16201"),
        ),
    )
    yield "parse_cem", (HERE.parent / "examples" / "custom-elements.json").read_bytes()
    yield (
        "parse_cem",
        b'{"modules":[{"declarations":[{"customElement":true,"tagName":"my-b",'
        b'"attributes":[{"name":"s","type":{"text":"\'a\' | null"},"default":"1"}]'
        b',"events":[["e"]],"slots":[{"name":""}]}]}]}',
    )
    if VECTORS.exists():
        by_fn = {"diff": "diff_json", "apply": "apply_json", "parse_cem": "parse_cem"}
        for line in VECTORS.read_text().split("\n"):
            if not line:
                continue
            case = json.loads(line)
            fn, args = case["fn"], case["args"]
            if fn in by_fn:
                yield by_fn[fn], "\0".join(args).encode("utf-8", "surrogatepass")
            elif fn == "decode_frame":
                yield "decode_frame", bytes.fromhex(args[0])
            elif fn == "encode_frame":
                codec = "encode_frame_msgpack" if "msgpack" in args[4] else "encode_frame_json"
                yield codec, f"{args[1]}\0{args[0]}".encode("utf-8", "surrogatepass")
                yield "transcode", args[0].encode("utf-8", "surrogatepass")


def large_seeds():
    """(target, bytes) pairs of up to about a megabyte."""
    names = [f"n{i:05}" for i in range(10_000)]
    props = '{"tag":"x","props":{' + ",".join(f'"{n}":{{"Int":1}}' for n in names[::-1]) + "}}"
    keyed = [
        '{"tag":"ul","slots":{"s":[' + ",".join(f'{{"tag":"li","key":"{n}"}}' for n in order) + "]}}"
        for order in (names, names[::-1])
    ]
    removals = '{"ops":[' + ",".join(f'{{"RemoveProp":[[],"{n}"]}}' for n in names) + "]}"
    slots = '{"ops":[' + ",".join(f'{{"InsertChild":[[],"{n}",0,{{"tag":"c"}}]}}' for n in names[::-1]) + "]}"
    yield "tree_reader", props.encode()
    yield "diff_json", f"{keyed[0]}\0{keyed[1]}".encode()
    yield "diff_json", f'{props}\0{{"tag":"x"}}'.encode()
    yield "apply_json", f"{props}\0{removals}".encode()
    yield "apply_json", f"{keyed[0]}\0{slots}".encode()
    # Objects nested to the limit, each with a long member before the nested one.
    nested = "1"
    for _ in range(120):
        nested = '{"z":"' + "p" * 6_000 + '","a":' + nested + "}"
    for target in ("encode_frame_json", "encode_frame_msgpack"):
        yield target, f"model\0{nested}".encode()
    header = {"codec": "application/json", "model_type": "m", "target": 0, "rev": 7, "kind": "Snapshot"}
    yield "decode_frame", frame(header, nested.encode())
    packed = b"\xc0"
    for _ in range(1000):
        packed = b"\x82\xa1z\xda" + (800).to_bytes(2, "big") + b"p" * 800 + b"\xa1a" + packed
    yield "decode_frame", frame(dict(header, codec="application/msgpack"), packed)
    attributes = ",".join(f'{{"name":"{n}","type":{{"text":"string"}}}}' for n in names[::-1])
    yield (
        "parse_cem",
        (
            '{"modules":[{"declarations":[{"customElement":true,"tagName":"a-b","attributes":[' + attributes + "]}]}]}"
        ).encode(),
    )


def main(folder: str, large: bool) -> None:
    root = pathlib.Path(folder)
    for target, data in [*seeds(), *(large_seeds() if large else ())]:
        (root / target).mkdir(parents=True, exist_ok=True)
        (root / target / hashlib.sha1(data).hexdigest()).write_bytes(data)


if __name__ == "__main__":
    main(sys.argv[-1], "--large" in sys.argv[1:-1])
