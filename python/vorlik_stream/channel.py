"""One client connection over any message transport, driven by the control protocol.

A transport is adapted as a `Channel` (four coroutines); `serve_channel` then runs the whole
conversation: it waits for the client's `hello`, answers with `welcome`, attaches the client to
the broadcast (resuming where the hello says), sends it frames as binary messages, serves its
`resync` requests and hands its `event` and `patch` messages to the host's handler. Whatever a
client sends, the worst it can do is get its own connection closed.
"""

from __future__ import annotations

import asyncio
import logging
from collections.abc import Awaitable, Callable
from typing import Protocol

from .broadcast import Broadcast, Subscriber
from .protocol import (
    GOING_AWAY,
    INTERNAL_ERROR,
    MAX_MESSAGE,
    POLICY_VIOLATION,
    BadMessage,
    Event,
    FieldPatch,
    Hello,
    Resync,
    Welcome,
    encode_message,
    parse_client_message,
)

__all__ = ["Channel", "OnMessage", "serve_channel"]

logger = logging.getLogger("vorlik_stream")

#: The host's handler of a client's own messages.
OnMessage = Callable[[Subscriber, Event | FieldPatch], Awaitable[object]]


class Channel(Protocol):
    """A message transport to one client, as `serve_channel` uses it."""

    async def send_bytes(self, data: bytes) -> None:
        """Send one binary message."""

    async def send_text(self, text: str) -> None:
        """Send one text message."""

    async def receive(self) -> str | bytes | None:
        """The next message from the client; None once the connection is gone."""

    async def close(self, code: int, reason: str) -> None:
        """Close the connection with a close code and reason."""


async def serve_channel(
    broadcast: Broadcast,
    channel: Channel,
    on_message: OnMessage | None = None,
    *,
    hello_timeout: float = 10.0,
    max_message: int = MAX_MESSAGE,
    queue_frames: int | None = None,
    queue_bytes: int | None = None,
) -> None:
    """Serve one client of `broadcast` over `channel` until either side ends the connection.

    `on_message(subscriber, message)` gets the client's `Event` and `FieldPatch` messages, one
    at a time (while it runs, this client's further messages wait); without it they are
    dropped. If it raises, the error is logged and this client's connection closed (1011).
    """
    try:
        first = await asyncio.wait_for(channel.receive(), hello_timeout)
    except asyncio.TimeoutError:
        await _close(channel, POLICY_VIOLATION, f"no hello within {hello_timeout:g} s")
        return
    if first is None:
        return
    try:
        hello = parse_client_message(first, max_message)
        if not isinstance(hello, Hello):
            raise BadMessage("the first message must be hello")
        if hello.codec not in broadcast.codecs:
            raise BadMessage(f"codec not served here: {hello.codec}")
    except BadMessage as e:
        await _close(channel, e.code, e.reason)
        return
    try:
        await channel.send_text(encode_message(Welcome(broadcast.model_type, broadcast.epoch, hello.codec)))
    except Exception as e:  # the client is gone already
        logger.debug("welcome not sent: %r", e)
        return
    resume = (hello.epoch, hello.rev) if hello.epoch is not None and hello.rev is not None else None
    subscriber = broadcast.subscribe(
        channel.send_bytes, hello.codec, resume=resume, queue_frames=queue_frames, queue_bytes=queue_bytes
    )
    reading = asyncio.ensure_future(_read(channel, subscriber, on_message, max_message))
    detached = asyncio.ensure_future(subscriber.wait_closed())
    try:
        await asyncio.wait((reading, detached), return_when=asyncio.FIRST_COMPLETED)
    finally:
        detached.cancel()
        if not reading.done():
            reading.cancel()
        await subscriber.close()
    if reading.done() and not reading.cancelled():
        ending = reading.result()
        if ending is not None:
            await _close(channel, *ending)
    elif subscriber.error is None:  # the host detached it
        await _close(channel, GOING_AWAY, "the host closed the broadcast")


async def _close(channel: Channel, code: int, reason: str) -> None:
    try:
        await channel.close(code, reason)
    except Exception as e:  # the connection is gone already
        logger.debug("close failed: %r", e)


async def _read(
    channel: Channel, subscriber: Subscriber, on_message: OnMessage | None, max_message: int
) -> tuple[int, str] | None:
    """Serve the client's messages; returns the close code and reason that end the connection,
    or None when the client went away."""
    while True:
        data = await channel.receive()
        if data is None:
            return None
        try:
            message = parse_client_message(data, max_message)
        except BadMessage as e:
            return e.code, e.reason
        if isinstance(message, Hello):
            return POLICY_VIOLATION, "hello sent twice"
        if isinstance(message, Resync):
            subscriber.resync()
        elif on_message is not None:
            try:
                await on_message(subscriber, message)
            except Exception:
                logger.exception("the handler of a client's %s message failed", type(message).__name__)
                return INTERNAL_ERROR, "the host failed to handle a message"
