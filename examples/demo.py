"""A host and a client sharing one component tree through vorlik.

The host renders a small to-do app for a few state changes. It sends the client one snapshot
frame, then only patch frames; the client decodes every frame and replays each patch on its own
copy of the tree. After every step the demo checks that both trees agree and prints how small
the patch is next to a full snapshot. It alternates the two payload codecs, and finally reads a
component library's manifest into component schemas.
"""

import json
import pathlib

import vorlik

HERE = pathlib.Path(__file__).resolve().parent
CODECS = ("application/json", "application/msgpack")


def render(state):
    """The host's view function: application state in, component tree (as JSON text) out."""
    items = [
        {
            "tag": "todo-item",
            "key": item["id"],
            "props": {
                "label": {"Str": item["label"]},
                "done": {"Bool": item["done"]},
            },
            "events": {
                "toggle": {"kind": "patch", "model": "todos", "field": item["id"],
                           "value": {"expr": "event"}},
            },
        }
        for item in state["items"]
    ]
    root = {
        "tag": "todo-app",
        "props": {
            "title": {"Str": state["title"]},
            "remaining": {"Int": sum(not i["done"] for i in state["items"])},
        },
        "slots": {"items": items} if items else {},
        "events": {
            "clear": {"kind": "call", "method": "POST", "url": "/todos/clear"}
            if state["can_clear"]
            else {"kind": "js", "handler": "noClear"},
        },
        "bindings": {"filter": {"field": "filter", "mode": "two-way"}},
    }
    return json.dumps(root)


class Client:
    """Holds the client's copy of the tree and applies what arrives."""

    def __init__(self):
        self.tree = None
        self.rev = None

    def receive(self, frame):
        message = json.loads(vorlik.decode_frame(frame))
        payload = json.dumps(message["payload"])
        if message["kind"] == "snapshot":
            self.tree = vorlik.apply(payload, '{"ops":[]}')
        else:
            self.tree = vorlik.apply(self.tree, payload)
        self.rev = message["rev"]
        return message


def main():
    print(vorlik.Example("vorlik demo"), repr(vorlik.Example("host -> client")))

    state = {
        "title": "Groceries",
        "can_clear": False,
        "items": [
            {"id": "a", "label": "apples", "done": False},
            {"id": "b", "label": "bread", "done": False},
            {"id": "c", "label": "cheese", "done": True},
        ],
    }
    steps = [
        ("reorder the list", lambda s: s["items"].reverse()),
        ("insert an item", lambda s: s["items"].insert(1, {"id": "d", "label": "dates", "done": False})),
        ("tick one off", lambda s: next(i for i in s["items"] if i["id"] == "d").update(done=True)),
        ("remove two items", lambda s: s.update(items=[i for i in s["items"] if i["id"] not in "ab"])),
        ("rename and enable clearing", lambda s: s.update(title="Shopping", can_clear=True)),
        ("empty the list", lambda s: s.update(items=[])),
    ]

    client = Client()
    rev = 1
    tree = render(state)
    snapshot = vorlik.encode_frame(tree, "todos", "snapshot", rev, CODECS[0])
    client.receive(snapshot)
    assert client.tree == vorlik.apply(tree, '{"ops":[]}')
    print(f"rev {rev}: snapshot frame of {len(snapshot)} bytes")

    for n, (what, change) in enumerate(steps):
        change(state)
        new_tree = render(state)
        patch = vorlik.diff(tree, new_tree)
        rev += 1
        codec = CODECS[n % 2]
        frame = vorlik.encode_frame(patch, "todos", "patch", rev, codec)
        client.receive(frame)
        host_view = vorlik.apply(new_tree, '{"ops":[]}')
        assert client.tree == host_view, f"client diverged at rev {rev}"
        full = len(vorlik.encode_frame(new_tree, "todos", "snapshot", rev, codec))
        ops = len(json.loads(patch)["ops"])
        print(f"rev {rev}: {what:<28} {ops:2d} ops, patch frame {len(frame):4d} bytes "
              f"vs snapshot {full:4d} bytes ({codec.split('/')[1]})")
        tree = new_tree

    print("client tree matches the host after every step")

    manifest = (HERE / "custom-elements.json").read_text(encoding="utf-8")
    schemas = json.loads(vorlik.parse_cem(manifest))
    print(f"\n{len(schemas)} components in examples/custom-elements.json:")
    for schema in schemas:
        props = ", ".join(f"{p['name']}: {json.dumps(p['ty'])}" for p in schema["props"])
        print(f"  <{schema['tag_name']}> {schema['class_name']}({props})")
        if schema["events"] or schema["slots"]:
            print(f"      events {schema['events']}, slots {schema['slots']}")


if __name__ == "__main__":
    main()
