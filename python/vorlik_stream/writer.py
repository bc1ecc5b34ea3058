"""Writing frames to a byte stream."""

from __future__ import annotations

import asyncio
from typing import Protocol

from .reader import Buffer, _length_at


class Writable(Protocol):
    """A binary stream: a file opened "wb", `io.BytesIO`, `socket.makefile("wb")`."""

    def write(self, data: Buffer, /) -> object: ...

    def flush(self) -> None: ...


def frame_size(data: Buffer) -> int:
    """Size of the frame that starts `data`, read from its two length fields.

    Raises `ValueError` if `data` is too short to hold both length fields.
    """
    if len(data) < 4 or len(data) < 8 + _length_at(data, 0):
        raise ValueError("truncated frame")
    header = _length_at(data, 0)
    return 8 + header + _length_at(data, 4 + header)


def _check_whole(frame: Buffer) -> None:
    size = frame_size(frame)
    if size != len(frame):
        raise ValueError(f"not one whole frame: its lengths give {size} bytes, {len(frame)} were given")


def write_frame(stream: Writable, frame: Buffer) -> None:
    """Write one frame (as made by `vorlik.encode_frame`) and flush the stream.

    A buffer that is not exactly one frame is refused before anything is written, so a
    reader on the other side never loses its place.
    """
    _check_whole(frame)
    stream.write(frame)
    stream.flush()


async def write_frame_async(writer: asyncio.StreamWriter, frame: Buffer) -> None:
    """Write one frame to an asyncio stream and wait until it may take more."""
    _check_whole(frame)
    writer.write(frame)
    await writer.drain()
