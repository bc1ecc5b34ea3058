"""The to-do app served over WebSocket to any number of clients, one broadcast for all of them.

Clients tick items off with `patch` messages (model "todos", field: the item's id, value: true
or false) and rename the list with an `event` message ("rename", detail: the new title); every
change is published once, as one patch frame per codec that the clients read. Listens on
127.0.0.1 only, until interrupted or for --seconds.

    python examples/ws_host.py [--port N] [--seconds S]
"""

import argparse
import asyncio

from todo_app import initial_state, render

import vorlik_stream
from vorlik_stream.protocol import Event, FieldPatch
from vorlik_stream.websocket import serve


class TodoHost:
    def __init__(self):
        self.state = initial_state()
        self.broadcast = vorlik_stream.Broadcast("todos")
        self.broadcast.publish(render(self.state))

    async def on_message(self, subscriber, message):
        """A client's own message: change the state, publish the new tree."""
        if isinstance(message, FieldPatch) and message.model == "todos" and isinstance(message.value, bool):
            for item in self.state["items"]:
                if item["id"] == message.field:
                    item["done"] = message.value
            what = f"{message.field} {'done' if message.value else 'not done'}"
        elif isinstance(message, Event) and message.event == "rename" and isinstance(message.detail, str):
            self.state["title"] = message.detail
            what = f"renamed {message.detail!r}"
        else:
            print(f"host: ignored {message}", flush=True)
            return
        published = self.broadcast.publish(render(self.state))
        if published is not None:
            frames = ", ".join(f"{kind} in {codec}" for codec, kind in sorted(published.kinds.items()))
            print(f"host: rev {published.rev} ({what}): {frames}, to {published.clients} clients", flush=True)


async def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0, help="port on 127.0.0.1 (default: any free one)")
    parser.add_argument("--seconds", type=float, default=600, help="stop after this long (default 600)")
    args = parser.parse_args()
    host = TodoHost()
    async with await serve(host.broadcast, "127.0.0.1", args.port, on_message=host.on_message) as server:
        print(f"host: listening on ws://127.0.0.1:{server.sockets[0].getsockname()[1]}", flush=True)
        try:
            await asyncio.wait_for(server.serve_forever(), args.seconds)
        except asyncio.TimeoutError:
            pass


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
