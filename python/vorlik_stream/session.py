"""Both ends of one host-to-client conversation: revisions, snapshots and patches."""

from __future__ import annotations

import json
from typing import Final, Literal, Optional, Tuple

import vorlik

# The payload codecs and frame kinds `vorlik.encode_frame` takes.
Codec = Literal["application/json", "application/msgpack"]
Kind = Literal["snapshot", "patch"]
JSON: Final = "application/json"
MSGPACK: Final = "application/msgpack"
_NO_OPS = '{"ops":[]}'


class HostSession:
    """What the host keeps for one client.

    Every frame it makes brings the client to a new revision, numbered from `first_rev`
    on. The first frame is a snapshot; after that a patch, unless the patch frame would be
    larger than a snapshot frame or the client asked to be resynchronised.
    """

    def __init__(self, model_type: str, codec: Codec = JSON, first_rev: int = 1) -> None:
        self.model_type = model_type
        self.codec = codec
        self._next_rev = first_rev
        self._tree: Optional[str] = None
        self._resync = True

    @property
    def rev(self) -> Optional[int]:
        """Revision of the last frame made, or None before the first one."""
        return None if self._tree is None else self._next_rev - 1

    def update(self, tree: str) -> Optional[bytes]:
        """Frame for the client to move to `tree`, or None if it already shows `tree`."""
        if self._tree is None or self._resync:
            return self._snapshot(tree)
        patch = vorlik.diff(self._tree, tree)
        if patch == _NO_OPS:
            return None
        snapshot = self._frame(tree, "snapshot")
        frame = self._frame(patch, "patch")
        if len(frame) > len(snapshot):
            frame = snapshot
        return self._sent(tree, frame)

    def resync(self) -> Optional[bytes]:
        """The client lost track: a snapshot of the current tree at a new revision.

        Before the first update there is nothing to send; that update will be a snapshot.
        """
        if self._tree is None:
            return None
        return self._snapshot(self._tree)

    def _snapshot(self, tree: str) -> bytes:
        frame = self._frame(tree, "snapshot")
        self._resync = False
        return self._sent(tree, frame)

    def _frame(self, payload: str, kind: Kind) -> bytes:
        return vorlik.encode_frame(payload, self.model_type, kind, self._next_rev, self.codec)

    def _sent(self, tree: str, frame: bytes) -> bytes:
        self._tree = tree
        self._next_rev += 1
        return frame


def split_decoded(decoded: str) -> Tuple[str, str, int, str]:
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

    def __init__(self, model_type: Optional[str] = None) -> None:
        self.model_type = model_type
        self.tree: Optional[str] = None
        self.rev: Optional[int] = None

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
            tree = vorlik.apply(payload, _NO_OPS)
        elif self.tree is None or self.rev is None:
            raise OutOfSync(f"patch to revision {rev} but no snapshot held")
        elif rev != self.rev + 1:
            raise OutOfSync(f"patch to revision {rev} does not follow revision {self.rev}")
        else:
            tree = vorlik.apply(self.tree, payload)
        self.tree, self.rev = tree, rev
        return tree
