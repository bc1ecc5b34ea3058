"""A host and a client sharing one component tree through vorlik.

The host renders a small to-do app for a few state changes. It sends the client one snapshot
frame, then only patch frames; the client decodes every frame and replays each patch on its own
copy of the tree. After every step the demo checks that both trees agree and prints how small
the patch is next to a full snapshot. It alternates the two payload codecs, and finally reads a
component library's manifest into component schemas.
"""

import json
import pathlib

from todo_app import STEPS, initial_state, render

import vorlik
from vorlik_tree import normalize

HERE = pathlib.Path(__file__).resolve().parent
CODECS = ("application/json", "application/msgpack")


class Client:
    """Holds the client's copy of the tree and applies what arrives."""

    def __init__(self):
        self.tree = None
        self.rev = None

    def receive(self, frame):
        message = json.loads(vorlik.decode_frame(frame))
        payload = json.dumps(message["payload"])
        if message["kind"] == "snapshot":
            self.tree = normalize(payload)
        else:
            self.tree = vorlik.apply(self.tree, payload)
        self.rev = message["rev"]
        return message


def main():
    print(vorlik.Example("vorlik demo"), repr(vorlik.Example("host -> client")))

    state = initial_state()
    steps = STEPS

    client = Client()
    rev = 1
    tree = render(state).to_json()  # the tree's text, already in normal form
    snapshot = vorlik.encode_frame(tree, "todos", "snapshot", rev, CODECS[0])
    client.receive(snapshot)
    assert client.tree == tree
    print(f"rev {rev}: snapshot frame of {len(snapshot)} bytes")

    for n, (what, change) in enumerate(steps):
        change(state)
        new_tree = render(state).to_json()
        patch = vorlik.diff(tree, new_tree)
        rev += 1
        codec = CODECS[n % 2]
        frame = vorlik.encode_frame(patch, "todos", "patch", rev, codec)
        client.receive(frame)
        assert client.tree == new_tree, f"client diverged at rev {rev}"
        full = len(vorlik.encode_frame(new_tree, "todos", "snapshot", rev, codec))
        ops = len(json.loads(patch)["ops"])
        print(
            f"rev {rev}: {what:<28} {ops:2d} ops, patch frame {len(frame):4d} bytes "
            f"vs snapshot {full:4d} bytes ({codec.split('/')[1]})"
        )
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
