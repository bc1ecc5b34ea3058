"""Cutting whole frames out of a byte stream.

A frame is two length-prefixed parts: four bytes big-endian H, H header bytes, four bytes
big-endian P, P payload bytes. The reader only looks at the two lengths; the header and the
payload are left to `vorlik.decode_frame`.
"""

from __future__ import annotations

import asyncio
from collections.abc import AsyncIterator, Iterator
from typing import Protocol

Buffer = bytes | bytearray | memoryview


class Readable(Protocol):
    """A binary stream: a file opened "rb", `io.BytesIO`, `socket.makefile("rb")`."""

    def read(self, size: int, /) -> bytes: ...


#: Largest frame (both length fields and both parts) a reader accepts unless told otherwise.
DEFAULT_MAX_FRAME = 64 * 1024 * 1024

_LENGTH = 4


class FrameTooLarge(ValueError):
    """A length field claims a frame larger than the reader's limit."""

    def __init__(self, claimed: int, limit: int) -> None:
        super().__init__(f"frame of at least {claimed} bytes exceeds the limit of {limit} bytes")
        self.claimed = claimed
        self.limit = limit


class TruncatedStream(ValueError):
    """The stream ended inside a frame."""

    def __init__(self, buffered: int) -> None:
        super().__init__(f"truncated frame: the stream ended {buffered} bytes into a frame")
        self.buffered = buffered


def _length_at(data: Buffer, offset: int) -> int:
    return int.from_bytes(data[offset : offset + _LENGTH], "big")


def _check_limit(max_frame: int) -> int:
    if max_frame < 2 * _LENGTH:
        raise ValueError(f"max_frame must be at least {2 * _LENGTH}, not {max_frame}")
    return max_frame


class FrameReader:
    """Sans-I/O frame reader: feed it chunks of any size, take whole frames out.

    Once a length claim has been refused the stream cannot be resynchronised; every later
    call raises the same error.
    """

    def __init__(self, max_frame: int = DEFAULT_MAX_FRAME) -> None:
        self.max_frame = _check_limit(max_frame)
        self._buffer = bytearray()
        self._failure: FrameTooLarge | None = None

    @property
    def buffered(self) -> int:
        """Bytes received that do not yet make a whole frame."""
        return len(self._buffer)

    def feed(self, chunk: Buffer) -> list[bytes]:
        """Take the next chunk of the stream; return the frames it completed, in order."""
        if self._failure is not None:
            raise self._failure
        self._buffer += chunk
        frames: list[bytes] = []
        start = 0
        while True:
            size = self._complete_size(start)
            if size is None:
                break
            with memoryview(self._buffer) as view:
                frames.append(bytes(view[start : start + size]))
            start += size
        if start:
            del self._buffer[:start]
        return frames

    def close(self) -> None:
        """Declare the end of the stream; raises `TruncatedStream` if a frame was cut off."""
        if self._failure is not None:
            raise self._failure
        if self._buffer:
            raise TruncatedStream(len(self._buffer))

    def _complete_size(self, start: int) -> int | None:
        """Size of the whole frame at `start` if all of it is buffered, else None.

        Each length is checked against the limit as soon as it is readable, so a hostile
        claim is refused before its bytes are waited for.
        """
        available = len(self._buffer) - start
        if available < _LENGTH:
            return None
        header = _length_at(self._buffer, start)
        self._refuse_above(2 * _LENGTH + header)
        if available < 2 * _LENGTH + header:
            return None
        payload = _length_at(self._buffer, start + _LENGTH + header)
        size = 2 * _LENGTH + header + payload
        self._refuse_above(size)
        return size if available >= size else None

    def _refuse_above(self, claimed: int) -> None:
        if claimed > self.max_frame:
            self._failure = FrameTooLarge(claimed, self.max_frame)
            raise self._failure


def _read_exactly(stream: Readable, n: int, frame_so_far: int) -> bytes:
    data = bytearray()
    while len(data) < n:
        chunk = stream.read(n - len(data))
        if not chunk:
            raise TruncatedStream(frame_so_far + len(data))
        data += chunk
    return bytes(data)


def read_frames(stream: Readable, max_frame: int = DEFAULT_MAX_FRAME) -> Iterator[bytes]:
    """Yield the frames of a binary stream (a file, or `socket.makefile("rb")`) until it ends.

    Reads exactly the bytes each frame needs, so the stream is left just after the last
    frame yielded. Raises `TruncatedStream` if it ends inside a frame.
    """
    _check_limit(max_frame)
    while True:
        first = stream.read(_LENGTH)
        if not first:
            return
        prefix = bytes(first)
        if len(prefix) < _LENGTH:
            prefix += _read_exactly(stream, _LENGTH - len(prefix), len(prefix))
        header = _length_at(prefix, 0)
        if 2 * _LENGTH + header > max_frame:
            raise FrameTooLarge(2 * _LENGTH + header, max_frame)
        middle = _read_exactly(stream, header + _LENGTH, _LENGTH)
        payload = _length_at(middle, header)
        if 2 * _LENGTH + header + payload > max_frame:
            raise FrameTooLarge(2 * _LENGTH + header + payload, max_frame)
        tail = _read_exactly(stream, payload, 2 * _LENGTH + header)
        yield prefix + middle + tail


async def read_frame_async(reader: asyncio.StreamReader, max_frame: int = DEFAULT_MAX_FRAME) -> bytes | None:
    """Read the next frame from an asyncio stream; None at a clean end of the stream."""
    _check_limit(max_frame)
    received = 0
    try:
        prefix = await reader.readexactly(_LENGTH)
        received = _LENGTH
        header = _length_at(prefix, 0)
        if 2 * _LENGTH + header > max_frame:
            raise FrameTooLarge(2 * _LENGTH + header, max_frame)
        middle = await reader.readexactly(header + _LENGTH)
        received += len(middle)
        payload = _length_at(middle, header)
        if 2 * _LENGTH + header + payload > max_frame:
            raise FrameTooLarge(2 * _LENGTH + header + payload, max_frame)
        tail = await reader.readexactly(payload)
    except asyncio.IncompleteReadError as e:
        if received == 0 and not e.partial:
            return None
        raise TruncatedStream(received + len(e.partial)) from None
    return prefix + middle + tail


async def read_frames_async(reader: asyncio.StreamReader, max_frame: int = DEFAULT_MAX_FRAME) -> AsyncIterator[bytes]:
    """Yield the frames of an asyncio stream until it ends."""
    while True:
        frame = await read_frame_async(reader, max_frame)
        if frame is None:
            return
        yield frame
