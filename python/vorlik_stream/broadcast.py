"""One model shown to many clients: one diff per revision, one frame per codec, shared bytes.

A `Broadcast` holds the latest tree of one model and its revision. Publishing a new tree diffs
it once against the previous one and encodes the patch once for each codec some client reads;
every client at that revision is handed the very same `bytes` object. A snapshot is encoded
only when some client needs one, once per codec and revision. A bounded history of patches
lets a client that comes back pick up where it left off.

Each client is a `Subscriber`: a bounded queue of frames and a task that hands them, in order,
to the client's async `send` callable, whatever the transport. A client that falls behind
past its bound loses its queue and is brought back with one snapshot of the latest revision
when it takes frames again.

Everything here runs on one event loop: call `publish` on the loop's thread (from another
thread, through `loop.call_soon_threadsafe`).
"""

from __future__ import annotations

import asyncio
import logging
import secrets
from collections import deque
from collections.abc import Awaitable, Callable, Collection, Mapping
from dataclasses import dataclass
from itertools import islice
from typing import cast

import vorlik

from ._choice import (
    CODECS,
    MAX_REV,
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

__all__ = ["Send", "Published", "Broadcast", "Subscriber", "Coalescer"]

#: Hands one frame to one client; returns once the transport takes more.
Send = Callable[[bytes], Awaitable[object]]

logger = logging.getLogger("vorlik_stream")


@dataclass(frozen=True)
class Published:
    """What one `Broadcast.publish` did."""

    #: The new revision.
    rev: int
    #: For each codec clients read, the kind of frame they were handed: "patch", or "snapshot"
    #: when the patch would have been the larger frame.
    kinds: Mapping[str, Kind]
    #: Clients the frame was queued for; clients waiting for a snapshot are not counted.
    clients: int


class _Revision:
    """One step of the history: the patch to `rev` and its frames, encoded on first need."""

    __slots__ = ("rev", "patch", "patch_bytes", "frames", "held")

    def __init__(self, rev: int, patch: str) -> None:
        self.rev = rev
        self.patch = patch
        self.patch_bytes = text_bytes(patch)
        self.frames: dict[str, bytes] = {}
        self.held = False  # counted in the history's bytes

    @property
    def size(self) -> int:
        return self.patch_bytes + sum(len(f) for f in self.frames.values())


class Broadcast:
    """The latest tree of one model and the clients that follow it.

    `history_frames` and `history_bytes` bound the patches kept for clients that resume (the
    bytes count the patch texts and their encoded frames); `queue_frames` and `queue_bytes`
    are every subscriber's default bounds. `epoch` names this run of the broadcast (random
    unless given): a client resumes only from a revision of the same epoch.
    """

    def __init__(
        self,
        model_type: str,
        *,
        first_rev: int = 1,
        epoch: str | None = None,
        history_frames: int = 64,
        history_bytes: int = 8 * 2**20,
        queue_frames: int = 64,
        queue_bytes: int = 2**20,
        codecs: Collection[str] = CODECS,
    ) -> None:
        if not 0 <= first_rev <= MAX_REV:
            raise ValueError(f"first_rev must be from 0 to 2**64-1, not {first_rev}")
        if min(history_frames, history_bytes, queue_frames, queue_bytes) < 0:
            raise ValueError("bounds must not be negative")
        self.model_type = model_type
        self.epoch = secrets.token_hex(8) if epoch is None else epoch
        self.first_rev = first_rev
        self.history_frames, self.history_bytes = history_frames, history_bytes
        self.queue_frames, self.queue_bytes = queue_frames, queue_bytes
        self.codecs = tuple(check_codec(c) for c in codecs)
        self._tree: str | None = None
        self._tree_bytes = 0
        self._rev: int | None = None
        self._snapshots: dict[str, bytes] = {}
        self._history: deque[_Revision] = deque()
        self._history_size = 0
        self._subscribers: dict[str, dict[Subscriber, None]] = {c: {} for c in self.codecs}

    @property
    def rev(self) -> int | None:
        """The latest revision, or None before the first publish."""
        return self._rev

    @property
    def tree(self) -> str | None:
        """The latest tree as it was published, or None before the first publish."""
        return self._tree

    @property
    def subscribers(self) -> tuple[Subscriber, ...]:
        """The clients attached."""
        return tuple(s for group in self._subscribers.values() for s in group)

    @property
    def history(self) -> tuple[int, int]:
        """(patches, bytes) the history holds."""
        return len(self._history), self._history_size

    def publish(self, tree: Tree) -> Published | None:
        """Make `tree` the next revision and queue its frame for every client.

        `tree` is the tree's JSON text or an object whose `to_json()` writes it (a
        `vorlik_tree.Node`). Returns None when `tree` equals the latest tree (no new revision).
        A tree vorlik refuses raises the reader's `ValueError`, and nothing changes.
        """
        tree = tree_text(tree)
        if self._tree is None:
            check_tree(tree)
            step = None
        else:
            patch = vorlik.diff(self._tree, tree)
            if patch == NO_OPS:
                return None
            step = _Revision(self._next_rev(), patch)
        rev = self._next_rev()
        self._tree, self._tree_bytes, self._rev = tree, text_bytes(tree), rev
        self._snapshots = {}
        kinds: dict[str, Kind] = {}
        clients = 0
        for codec, group in self._subscribers.items():
            if not group:
                continue
            if step is not None and self._patch_is_smaller(step, codec):
                frame, kinds[codec] = self._patch_frame(step, codec), "patch"
            else:
                frame, kinds[codec] = self.snapshot(codec), "snapshot"
            for subscriber in group:
                clients += subscriber._offer(frame, rev)
        if step is None:
            self._forget_history()
        else:
            self._history.append(step)
            step.held = True
            self._history_size += step.size
            self._trim_history()
        return Published(rev, kinds, clients)

    def snapshot(self, codec: str) -> bytes:
        """The snapshot frame of the latest revision in `codec` (encoded once, then cached)."""
        if self._tree is None or self._rev is None:
            raise LookupError("nothing has been published yet")
        frame = self._snapshots.get(codec)
        if frame is None:
            frame = vorlik.encode_frame(self._tree, self.model_type, "snapshot", self._rev, check_codec(codec))
            self._snapshots[codec] = frame
        return frame

    def subscribe(
        self,
        send: Send,
        codec: str = CODECS[0],
        *,
        resume: tuple[str, int] | None = None,
        queue_frames: int | None = None,
        queue_bytes: int | None = None,
    ) -> Subscriber:
        """Attach a client that reads `codec`; its frames go to `send`, in order, from a task.

        With `resume` = (epoch, revision the client holds), the client is sent the patches
        it missed when the history holds them all and they are smaller than a snapshot;
        otherwise (and without `resume`) it gets a snapshot of the latest revision. Must be
        called with the event loop running.
        """
        if codec not in self._subscribers:
            raise ValueError(f"codec not served here: {codec}")
        subscriber = Subscriber(
            self,
            send,
            codec,
            self.queue_frames if queue_frames is None else queue_frames,
            self.queue_bytes if queue_bytes is None else queue_bytes,
        )
        steps = self._catch_up(codec, resume, subscriber)
        if steps is None:
            subscriber._stale = self._rev is not None
            subscriber.start = "snapshot" if subscriber._stale else "nothing"
        else:
            subscriber.rev = resume[1] if resume is not None else None
            for rev, frame in steps:
                subscriber._offer(frame, rev)
            subscriber.start = "patches" if steps else "nothing"
        subscriber._begin()
        self._subscribers[codec][subscriber] = None
        return subscriber

    async def close(self) -> None:
        """Detach every client (each subscriber's `closed` is then true)."""
        for group in list(self._subscribers.values()):
            for subscriber in list(group):
                await subscriber.close()

    def _next_rev(self) -> int:
        rev = self.first_rev if self._rev is None else self._rev + 1
        if rev > MAX_REV:
            raise OverflowError("the revision would pass 2**64-1")
        return rev

    def _snapshot_size(self, codec: str) -> int:
        """Size of the latest revision's snapshot frame: its length once encoded, until then
        the size of its JSON frame."""
        assert self._rev is not None
        cached = self._snapshots.get(codec)
        if cached is not None:
            return len(cached)
        return snapshot_size(self._tree_bytes, self.model_type, codec, self._rev)

    def _patch_size(self, step: _Revision, codec: str) -> int:
        """Size of the step's patch frame: its length once encoded, else its JSON frame's."""
        frame = step.frames.get(codec)
        if frame is not None:
            return len(frame)
        return patch_size(step.patch_bytes, self.model_type, codec, step.rev)

    def _patch_is_smaller(self, step: _Revision, codec: str) -> bool:
        """Whether the patch frame is no larger than the snapshot frame of the same revision,
        both judged without encoding either."""
        return self._patch_size(step, codec) <= self._snapshot_size(codec)

    def _patch_frame(self, step: _Revision, codec: str) -> bytes:
        frame = step.frames.get(codec)
        if frame is None:
            # A subscriber's codec was checked when it subscribed.
            frame = vorlik.encode_frame(step.patch, self.model_type, "patch", step.rev, cast(Codec, codec))
            step.frames[codec] = frame
            if step.held:
                self._history_size += len(frame)
        return frame

    def _history_base(self) -> int:
        """Revision before the oldest patch held (the latest one when none is held)."""
        if self._history:
            return self._history[0].rev - 1
        return self._rev if self._rev is not None else -1

    def _catch_up(
        self, codec: str, resume: tuple[str, int] | None, subscriber: Subscriber
    ) -> list[tuple[int, bytes]] | None:
        """The (revision, patch frame) steps that bring a client from `resume` to the latest
        revision, or None when it needs a snapshot instead: the history lacks a step, the
        patches together are not smaller than the snapshot, or they do not fit its queue."""
        if resume is None or self._rev is None or resume[0] != self.epoch:
            return None
        base = self._history_base()
        if not base <= resume[1] <= self._rev:
            return None
        steps = list(islice(self._history, resume[1] - base, None))
        cost = sum(self._patch_size(step, codec) for step in steps)
        fits = len(steps) <= subscriber.queue_frames and (len(steps) <= 1 or cost <= subscriber.queue_bytes)
        if cost > self._snapshot_size(codec) or not fits:
            return None
        frames = [(step.rev, self._patch_frame(step, codec)) for step in steps]
        self._trim_history()
        return frames

    def _trim_history(self) -> None:
        while self._history and (len(self._history) > self.history_frames or self._history_size > self.history_bytes):
            step = self._history.popleft()
            step.held = False
            self._history_size -= step.size

    def _forget_history(self) -> None:
        for step in self._history:
            step.held = False
        self._history.clear()
        self._history_size = 0

    def _detach(self, subscriber: Subscriber) -> None:
        self._subscribers[subscriber.codec].pop(subscriber, None)


class Subscriber:
    """One client of a `Broadcast`: its bounded queue of frames and the task that sends them.

    The queue holds at most `queue_frames` frames and `queue_bytes` bytes, but an empty queue
    always takes one frame, however large. A frame that would pass a bound drops the whole
    queue instead; the client is then handed one snapshot of the latest revision as soon as
    its `send` returns, and nothing else until then (`overflows` counts these drops).
    """

    def __init__(self, broadcast: Broadcast, send: Send, codec: str, queue_frames: int, queue_bytes: int) -> None:
        self.broadcast = broadcast
        self.codec = codec
        self.queue_frames, self.queue_bytes = queue_frames, queue_bytes
        #: Revision the client holds once it has every frame queued; None while it waits for
        #: a snapshot or before anything was published.
        self.rev: int | None = None
        #: How the client started: "patches" (resumed), "snapshot", or "nothing" (it was current,
        #: or nothing had been published).
        self.start = "nothing"
        self.sent_frames = 0
        self.sent_bytes = 0
        self.overflows = 0
        #: What `send` raised, which ended this subscriber; None otherwise.
        self.error: Exception | None = None
        self._send = send
        self._queue: deque[bytes] = deque()
        self._queued_bytes = 0
        self._stale = False
        self._closed = False
        self._waiter: asyncio.Future[None] | None = None
        self._task: asyncio.Task[None] | None = None
        self._done = asyncio.Event()

    @property
    def queued(self) -> tuple[int, int]:
        """(frames, bytes) waiting in the queue, the frame being sent not included."""
        return len(self._queue), self._queued_bytes

    @property
    def closed(self) -> bool:
        """True once the subscriber is detached: closed by the host, or its `send` failed."""
        return self._closed

    def resync(self) -> None:
        """Drop the queue; the client gets a snapshot of the latest revision next."""
        if self._closed or self.broadcast.rev is None:
            return
        self._drop_queue()
        self._wake()

    async def close(self) -> None:
        """Detach from the broadcast and stop sending (the frame being sent is abandoned)."""
        self._finish()
        if self._task is not None and self._task is not asyncio.current_task():
            self._task.cancel()
            try:
                await self._task
            except asyncio.CancelledError:
                pass

    async def wait_closed(self) -> None:
        """Return once the subscriber is detached."""
        await self._done.wait()

    def _begin(self) -> None:
        self._task = asyncio.get_running_loop().create_task(self._pump())

    def _offer(self, frame: bytes, rev: int | None) -> int:
        """Queue the frame that brings the client to `rev`; 1 if it was queued, else 0."""
        if self._stale or self._closed:
            return 0
        queue = self._queue
        size = len(frame)
        if queue and (len(queue) >= self.queue_frames or self._queued_bytes + size > self.queue_bytes):
            self.overflows += 1
            self._drop_queue()
            return 0
        queue.append(frame)
        self._queued_bytes += size
        self.rev = rev
        self._wake()
        return 1

    def _drop_queue(self) -> None:
        self._queue.clear()
        self._queued_bytes = 0
        self._stale = True
        self.rev = None

    def _wake(self) -> None:
        waiter = self._waiter
        if waiter is not None:
            self._waiter = None
            if not waiter.done():
                waiter.set_result(None)

    def _take(self) -> bytes | None:
        if self._queue:
            frame = self._queue.popleft()
            self._queued_bytes -= len(frame)
            return frame
        if self._stale:
            self._stale = False
            self.rev = self.broadcast.rev
            return self.broadcast.snapshot(self.codec)
        return None

    async def _pump(self) -> None:
        loop = asyncio.get_running_loop()
        try:
            while not self._closed:
                frame = self._take()
                if frame is None:
                    self._waiter = loop.create_future()
                    await self._waiter
                    continue
                await self._send(frame)
                self.sent_frames += 1
                self.sent_bytes += len(frame)
        except Exception as e:  # the transport failed: this client is gone, the others go on
            self.error = e
            logger.debug("subscriber of %r stopped: %r", self.broadcast.model_type, e)
        finally:
            self._finish()

    def _finish(self) -> None:
        if not self._closed:
            self._closed = True
            self._queue.clear()
            self._queued_bytes = 0
            self.broadcast._detach(self)
            self._done.set()


class Coalescer:
    """Publishes to a broadcast at most once per `interval` seconds; the latest tree wins.

    `submit` never blocks and never raises for a tree: the tree waits until the interval since
    the last publish has passed, and a later `submit` replaces it, so a burst of updates costs
    one diff. A tree vorlik refuses is dropped when its turn comes (the revision stays) and
    handed to `on_error` (by default logged to the "vorlik_stream" logger). Needs a running
    event loop.
    """

    def __init__(
        self, broadcast: Broadcast, interval: float, on_error: Callable[[ValueError], object] | None = None
    ) -> None:
        if interval < 0:
            raise ValueError("interval must not be negative")
        self.broadcast = broadcast
        self.interval = interval
        self._on_error = on_error
        self._pending: str | None = None
        self._last = float("-inf")
        self._timer: asyncio.TimerHandle | None = None
        #: The last `Published` (None if the last turn changed nothing or failed).
        self.published: Published | None = None

    @property
    def pending(self) -> bool:
        """Whether a tree waits for its turn."""
        return self._pending is not None

    def submit(self, tree: Tree) -> None:
        """Publish `tree` now if the interval has passed, else at the end of the interval."""
        self._pending = tree_text(tree)
        if self._timer is not None:
            return
        loop = asyncio.get_running_loop()
        delay = self._last + self.interval - loop.time()
        if delay <= 0:
            self.flush()
        else:
            self._timer = loop.call_later(delay, self.flush)

    def flush(self) -> Published | None:
        """Publish the waiting tree now, if any."""
        if self._timer is not None:
            self._timer.cancel()
            self._timer = None
        tree, self._pending = self._pending, None
        if tree is None:
            return None
        self._last = asyncio.get_running_loop().time()
        try:
            self.published = self.broadcast.publish(tree)
        except ValueError as e:
            self.published = None
            if self._on_error is None:
                logger.error("a tree for %r was refused: %s", self.broadcast.model_type, e)
            else:
                self._on_error(e)
        return self.published

    def close(self) -> None:
        """Drop the waiting tree, if any."""
        if self._timer is not None:
            self._timer.cancel()
            self._timer = None
        self._pending = None
