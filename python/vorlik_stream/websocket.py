"""The broadcast over WebSocket, with the `websockets` library (asyncio): host and client.

Needs the `websocket` extra (`pip install "vorlik[websocket]"`). Each frame is one binary
message; the control messages are those of `vorlik_stream.protocol`.

The host side, `serve(broadcast, host, port)`, starts a `websockets` server for one broadcast
(`handler` gives the connection handler for a server of your own). Compression is off unless
asked for: it would compress every frame once per client.

The client side, `WebSocketClient`, keeps a `ClientReplica` up to date and resumes from the
revision it holds when it connects again.
"""

from __future__ import annotations

from collections.abc import AsyncIterator, Awaitable, Callable
from types import TracebackType
from typing import Any

from websockets.asyncio.client import ClientConnection, connect
from websockets.asyncio.connection import Connection
from websockets.asyncio.server import Server, ServerConnection
from websockets.asyncio.server import serve as _serve
from websockets.exceptions import ConnectionClosed

from ._choice import JSON
from .broadcast import Broadcast
from .channel import OnMessage, serve_channel
from .protocol import MAX_MESSAGE, Event, FieldPatch, Hello, Resync, encode_message, parse_host_message
from .reader import DEFAULT_MAX_FRAME
from .session import ClientReplica, OutOfSync

__all__ = ["WebSocketChannel", "handler", "serve", "WebSocketClient"]


class WebSocketChannel:
    """A `Channel` over one `websockets` connection."""

    def __init__(self, connection: Connection) -> None:
        self.connection = connection

    async def send_bytes(self, data: bytes) -> None:
        await self.connection.send(data)

    async def send_text(self, text: str) -> None:
        await self.connection.send(text)

    async def receive(self) -> str | bytes | None:
        try:
            return await self.connection.recv()
        except ConnectionClosed:
            return None

    async def close(self, code: int, reason: str) -> None:
        await self.connection.close(code, reason)


def handler(
    broadcast: Broadcast, on_message: OnMessage | None = None, **options: Any
) -> Callable[[ServerConnection], Awaitable[None]]:
    """A `websockets` connection handler serving `broadcast`; `options` go to `serve_channel`."""

    async def serve_connection(connection: ServerConnection) -> None:
        await serve_channel(broadcast, WebSocketChannel(connection), on_message, **options)

    return serve_connection


async def serve(
    broadcast: Broadcast,
    host: str = "127.0.0.1",
    port: int = 0,
    *,
    on_message: OnMessage | None = None,
    max_message: int = MAX_MESSAGE,
    hello_timeout: float = 10.0,
    **server_options: Any,
) -> Server:
    """Start a `websockets` server for `broadcast`; use it as `async with await serve(...)`.

    Clients' messages are limited to `max_message` characters and must start with a hello
    within `hello_timeout` seconds; `server_options` go to `websockets.asyncio.server.serve`
    (compression is off unless given).
    """
    server_options.setdefault("compression", None)
    server_options.setdefault("max_size", 4 * max_message)
    serve_connection = handler(broadcast, on_message, max_message=max_message, hello_timeout=hello_timeout)
    return await _serve(serve_connection, host, port, **server_options)


class WebSocketClient:
    """A `ClientReplica` kept up to date from a broadcast over WebSocket.

    `connect()` says hello, resuming from the revision held when there is one; `receive()`
    applies the next frame and returns the tree. When a frame does not fit (`OutOfSync`) it
    asks the host for a snapshot once and skips frames until the snapshot comes. After the
    connection drops (`receive` raises `websockets.exceptions.ConnectionClosed`), `connect()`
    again: the host sends only what was missed, if it still has it.
    """

    def __init__(
        self,
        uri: str,
        model_type: str | None = None,
        codec: str = JSON,
        *,
        max_frame: int = DEFAULT_MAX_FRAME,
        **connect_options: Any,
    ) -> None:
        self.uri = uri
        self.codec = codec
        self.replica = ClientReplica(model_type)
        #: The host's epoch, from its last welcome; None before the first connection.
        self.epoch: str | None = None
        self._options = dict(connect_options, max_size=max_frame)
        self._options.setdefault("compression", None)
        self._connection: ClientConnection | None = None
        self._resyncing = False
        #: Frames and bytes received over every connection so far.
        self.frames_received = 0
        self.bytes_received = 0

    @property
    def connection(self) -> ClientConnection:
        if self._connection is None:
            raise RuntimeError("not connected")
        return self._connection

    async def connect(self) -> None:
        """Open a connection and say hello (closing the previous connection, if any)."""
        await self.close()
        resume = self.epoch is not None and self.replica.rev is not None
        self._connection = await connect(self.uri, **self._options)
        try:
            await self._connection.send(
                encode_message(Hello(self.codec, self.epoch if resume else None, self.replica.rev if resume else None))
            )
            welcome = parse_host_message(await self._connection.recv())
            if self.replica.model_type is not None and welcome.model_type != self.replica.model_type:
                raise OutOfSync(f"host serves model type {welcome.model_type!r}, expected {self.replica.model_type!r}")
        except BaseException:
            await self.close()
            raise
        self.epoch = welcome.epoch
        self._resyncing = False

    async def receive(self) -> str:
        """Wait for the next frame that applies; returns the client's tree (normal form)."""
        while True:
            message = await self.connection.recv()
            if isinstance(message, str):
                raise ValueError("the host sent a text message after its welcome")
            self.frames_received += 1
            self.bytes_received += len(message)
            try:
                tree = self.replica.receive(message)
            except OutOfSync:
                if not self._resyncing:
                    self._resyncing = True
                    await self.connection.send(encode_message(Resync()))
                continue
            self._resyncing = False
            return tree

    async def send(self, message: Event | FieldPatch) -> None:
        """Send the client's own message to the host."""
        await self.connection.send(encode_message(message))

    async def close(self) -> None:
        """Close the connection, if open; the replica, epoch and revision are kept."""
        if self._connection is not None:
            connection, self._connection = self._connection, None
            await connection.close()

    async def __aenter__(self) -> WebSocketClient:
        await self.connect()
        return self

    async def __aexit__(
        self, kind: type[BaseException] | None, error: BaseException | None, trace: TracebackType | None
    ) -> None:
        await self.close()

    def __aiter__(self) -> AsyncIterator[str]:
        return self._trees()

    async def _trees(self) -> AsyncIterator[str]:
        """Trees until the connection closes normally."""
        while True:
            try:
                yield await self.receive()
            except ConnectionClosed as e:
                if e.rcvd is not None and e.rcvd.code in (1000, 1001):
                    return
                raise
