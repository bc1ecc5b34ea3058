"""Frames over byte streams for `vorlik`: a reader, a writer and a host/client session."""

from .reader import (
    DEFAULT_MAX_FRAME,
    FrameReader,
    FrameTooLarge,
    TruncatedStream,
    read_frame_async,
    read_frames,
    read_frames_async,
)
from .session import JSON, MSGPACK, ClientReplica, HostSession, OutOfSync, split_decoded
from .writer import frame_size, write_frame, write_frame_async

__all__ = [
    "DEFAULT_MAX_FRAME",
    "FrameReader",
    "FrameTooLarge",
    "TruncatedStream",
    "read_frame_async",
    "read_frames",
    "read_frames_async",
    "frame_size",
    "write_frame",
    "write_frame_async",
    "HostSession",
    "ClientReplica",
    "OutOfSync",
    "split_decoded",
    "JSON",
    "MSGPACK",
]
