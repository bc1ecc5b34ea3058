"""Frames over byte streams and message transports for `vorlik`: a reader, a writer, a host/client
session, and a broadcast of one model to many clients.

The WebSocket adapter (`vorlik_stream.websocket`, needs the `websocket` extra), the ASGI
adapter (`vorlik_stream.asgi`) and the control messages (`vorlik_stream.protocol`) are
submodules, imported on demand.
"""

from .broadcast import Broadcast, Coalescer, Published, Send, Subscriber
from .channel import Channel, OnMessage, serve_channel
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
    "Broadcast",
    "Subscriber",
    "Published",
    "Coalescer",
    "Send",
    "Channel",
    "OnMessage",
    "serve_channel",
]
