"""What a host checks before it takes a tree, and how it weighs a patch frame against a snapshot.

A host sends a patch unless its frame would be larger than the snapshot frame of the same
revision. Neither frame is encoded to learn its size: a payload is the text (with the JSON codec
exactly, with MessagePack about as large or smaller), and the header is known in advance. Both
hosts, the one-client session and the broadcast, weigh frames with these functions.
"""

from __future__ import annotations

import json
from typing import Final, Literal, Protocol, cast

import vorlik

#: The payload codecs and frame kinds `vorlik.encode_frame` takes.
Codec = Literal["application/json", "application/msgpack"]
JSON: Final = "application/json"
MSGPACK: Final = "application/msgpack"
CODECS = (JSON, MSGPACK)
NO_OPS = '{"ops":[]}'
MAX_REV = 2**64 - 1

Kind = Literal["snapshot", "patch"]
_HEADER_KIND = {"snapshot": "Snapshot", "patch": "Patch"}


class Writable(Protocol):
    """A tree that writes its own text, such as a `vorlik_tree.Node`."""

    def to_json(self) -> str: ...


#: What the hosts take as a tree: its JSON text, or an object that writes it.
Tree = str | Writable


def tree_text(tree: Tree) -> str:
    """The text of `tree`: itself when it is a `str`, else what its `to_json()` writes."""
    return tree if isinstance(tree, str) else tree.to_json()


def check_tree(tree: str) -> None:
    """Raise the reader's `ValueError` unless vorlik takes `tree` as a component tree."""
    vorlik.apply(tree, NO_OPS)


def text_bytes(text: str) -> int:
    """Length of `text` in UTF-8 (no copy for ASCII text)."""
    return len(text) if text.isascii() else len(text.encode())


def frame_overhead(model_type: str, codec: str, rev: int, kind: Kind) -> int:
    """Bytes of a frame around its payload: both length fields and the header text."""
    header = (
        f'{{"codec":{json.dumps(codec, ensure_ascii=False)},'
        f'"model_type":{json.dumps(model_type, ensure_ascii=False)},'
        f'"target":0,"rev":{rev},"kind":"{_HEADER_KIND[kind]}"}}'
    )
    return 8 + text_bytes(header)


def snapshot_size(tree_bytes: int, model_type: str, codec: str, rev: int) -> int:
    """Size of the snapshot frame of a tree of `tree_bytes` bytes of text: exact for JSON; for
    MessagePack an estimate from above on most trees (its strings lose their quotes and its
    maps their colons and commas). Neither frame is encoded to weigh it."""
    return tree_bytes + frame_overhead(model_type, codec, rev, "snapshot")


def patch_size(patch_bytes: int, model_type: str, codec: str, rev: int) -> int:
    """Size of the patch frame of a patch of `patch_bytes` bytes of text, as `snapshot_size`."""
    return patch_bytes + frame_overhead(model_type, codec, rev, "patch")


def check_codec(codec: str) -> Codec:
    """`codec` itself if the hosts send frames in it; `ValueError` otherwise."""
    if codec not in CODECS:
        raise ValueError(f"unknown codec: {codec}")
    return cast(Codec, codec)
