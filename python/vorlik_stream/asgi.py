"""The broadcast over an ASGI WebSocket connection (Starlette, FastAPI, any ASGI server).

No framework is needed: `AsgiChannel` speaks the ASGI WebSocket messages through the
connection's `receive` and `send` callables, which a Starlette or FastAPI `WebSocket` also
offers once accepted; `asgi_app(broadcast)` is a whole ASGI application for one broadcast.
"""

from __future__ import annotations

from collections.abc import Awaitable, Callable, MutableMapping
from typing import Any

from .broadcast import Broadcast
from .channel import OnMessage, serve_channel

__all__ = ["AsgiChannel", "asgi_app"]

AsgiMessage = MutableMapping[str, Any]
Receive = Callable[[], Awaitable[AsgiMessage]]
AsgiSend = Callable[[AsgiMessage], Awaitable[None]]
AsgiApp = Callable[[MutableMapping[str, Any], Receive, AsgiSend], Awaitable[None]]


class AsgiChannel:
    """A `Channel` over an accepted ASGI WebSocket connection."""

    def __init__(self, receive: Receive, send: AsgiSend) -> None:
        self._receive = receive
        self._send = send
        self._gone = False

    async def send_bytes(self, data: bytes) -> None:
        await self._send({"type": "websocket.send", "bytes": data})

    async def send_text(self, text: str) -> None:
        await self._send({"type": "websocket.send", "text": text})

    async def receive(self) -> str | bytes | None:
        while not self._gone:
            message = await self._receive()
            if message["type"] == "websocket.disconnect":
                self._gone = True
            elif message["type"] == "websocket.receive":
                data: str | bytes | None = message.get("text")
                return message.get("bytes") if data is None else data
        return None

    async def close(self, code: int, reason: str) -> None:
        if not self._gone:
            self._gone = True
            await self._send({"type": "websocket.close", "code": code, "reason": reason})


def asgi_app(broadcast: Broadcast, on_message: OnMessage | None = None, **options: Any) -> AsgiApp:
    """An ASGI application that serves `broadcast` to every WebSocket connection made to it;
    `options` go to `serve_channel`. Plain HTTP requests get 404."""

    async def app(scope: MutableMapping[str, Any], receive: Receive, send: AsgiSend) -> None:
        if scope["type"] == "http":
            await send({"type": "http.response.start", "status": 404, "headers": [(b"content-type", b"text/plain")]})
            await send({"type": "http.response.body", "body": b"WebSocket only\n"})
            return
        if scope["type"] != "websocket" or (await receive())["type"] != "websocket.connect":
            return
        await send({"type": "websocket.accept"})
        await serve_channel(broadcast, AsgiChannel(receive, send), on_message, **options)

    return app
