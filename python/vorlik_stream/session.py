"""Both ends of one host-to-client conversation: revisions, snapshots and patches."""

from __future__ import annotations

import json

import vorlik

from ._choice import (
    JSON,
    MSGPACK,
    NO_OPS,
    Codec,
    Kind,
    Tree,
    check_codec,
    check_tree,
    patch_size,
    snapshot_size,
    text_bytes,
    tree_text,
)

__all__ = ["JSON", "MSGPACK", "Codec", "HostSession", "ClientReplica", "OutOfSync", "split_decoded"]


class HostSession:
    """What the host keeps for one client.

    Every frame it makes brings the client to a new revision, numbered from `first_rev`
    on. The first frame is a snapshot; after that a patch, unless the patch frame would be
    larger than a snapshot frame or the client asked to be resynchronised. A tree that vorlik
    refuses raises the reader's `ValueError` and leaves the session as it was.
    """

    def __init__(self, model_type: str, codec: Codec = JSON, first_rev: int = 1) -> None:
        self.model_type = model_type
        self.codec = check_codec(codec)
        self._next_rev = first_rev
        self._tree: str | None = None
        self._kind: Kind | None = None

    @property
    def rev(self) -> int | None:
        """Revision of the last frame made, or None before the first one."""
        return None if self._tree is None else self._next_rev - 1

    @property
    def kind(self) -> Kind | None:
        """Kind of the last frame made ("snapshot" or "patch"), or None before the first one."""
        return self._kind

    def update(self, tree: Tree) -> bytes | None:
        """Frame for the client to move to `tree`, or None if it already shows `tree`.

        `tree` is the tree's JSON text or an object whose `to_json()` writes it."""
        tree = tree_text(tree)
        if self._tree is None:
            check_tree(tree)
            return self._snapshot(tree)
        patch = vorlik.diff(self._tree, tree)
        if patch == NO_OPS:
            return None
        rev = self._next_rev
        if patch_size(text_bytes(patch), self.model_type, self.codec, rev) > snapshot_size(
            text_bytes(tree), self.model_type, self.codec, rev
        ):
            return self._snapshot(tree)
        return self._sent(tree, self._frame(patch, "patch"), "patch")

    def resync(self) -> bytes | None:
        """The client lost track: a snapshot of the current tree at a new revision.

        Before the first update there is nothing to send; that update will be a snapshot.
        """
        if self._tree is None:
            return None
        return self._snapshot(self._tree)

    def _snapshot(self, tree: str) -> bytes:
        return self._sent(tree, self._frame(tree, "snapshot"), "snapshot")

    def _frame(self, payload: str, kind: Kind) -> bytes:
        return vorlik.encode_frame(payload, self.model_type, kind, self._next_rev, self.codec)

    def _sent(self, tree: str, frame: bytes, kind: Kind) -> bytes:
        self._tree = tree
        self._kind = kind
        self._next_rev += 1
        return frame


def split_decoded(decoded: str) -> tuple[str, str, int, str]:
    """Kind, model type, revision and payload text of what `vorlik.decode_frame` returned.

    The payload is cut out as written, not re-parsed: its numbers keep their exact form. The
    cut is safe because inside the model type string every quotation mark is escaped, so the
    first `,"payload":` is the member's own, and `rev` is always the last member.
    """
    head, _, rest = decoded.partition(',"payload":')
    payload, _, rev = rest.rpartition(',"rev":')
    meta = json.loads(head + "}")
    return meta["kind"], meta["model_type"], int(rev[:-1]), payload


class OutOfSync(ValueError):
    """A patch arrived that does not follow the revision the client holds."""


class ClientReplica:
    """The client's copy of one model, kept up to date from the frames it receives."""

    def __init__(self, model_type: str | None = None) -> None:
        self.model_type = model_type
        self.tree: str | None = None
        self.rev: int | None = None
        #: Kind of the last frame applied ("snapshot" or "patch"), None before the first.
        self.kind: str | None = None

    def receive(self, frame: bytes) -> str:
        """Apply one frame; returns the tree (normal form). Raises `OutOfSync` on a gap.

        A snapshot is always taken. A patch is taken only for the revision right after the
        one held; otherwise the client should ask the host to resynchronise. A frame for
        another model type raises `OutOfSync` too; undecodable frames raise `ValueError`.
        """
        kind, model_type, rev, payload = split_decoded(vorlik.decode_frame(frame))
        if self.model_type is not None and model_type != self.model_type:
            raise OutOfSync(f"frame for model type {model_type!r}, expected {self.model_type!r}")
        if kind == "snapshot":
            tree = vorlik.apply(payload, NO_OPS)
        elif self.tree is None or self.rev is None:
            raise OutOfSync(f"patch to revision {rev} but no snapshot held")
        elif rev != self.rev + 1:
            raise OutOfSync(f"patch to revision {rev} does not follow revision {self.rev}")
        else:
            tree = vorlik.apply(self.tree, payload)
        self.tree, self.rev, self.kind = tree, rev, kind
        return tree
