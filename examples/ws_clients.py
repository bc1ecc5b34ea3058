"""Three Python clients of examples/ws_host.py: they follow the to-do list, change it, and one of
them drops its connection and comes back, resuming from the revision it holds.

    python examples/ws_clients.py ws://127.0.0.1:PORT

Each client checks its tree against the others' and against the tree the host must be showing.
"""

import argparse
import asyncio

from todo_app import initial_state, render

from vorlik_stream import JSON, MSGPACK
from vorlik_stream.protocol import Event, FieldPatch
from vorlik_stream.websocket import WebSocketClient

TIMEOUT = 10


async def follow(clients, rev):
    """Every client receives frames until it holds `rev`."""
    for client in clients:
        while client.replica.rev != rev:
            await asyncio.wait_for(client.receive(), TIMEOUT)


def check(clients, state):
    expected = render(state).to_json()  # the builder writes the normal form
    for n, client in enumerate(clients, 1):
        if client.replica.tree != expected:
            raise SystemExit(f"client {n}: its tree differs from the host's at rev {client.replica.rev}")


async def run(uri):
    state = initial_state()  # what the host shows, step by step
    a, b, c = (WebSocketClient(uri, "todos", codec) for codec in (JSON, MSGPACK, JSON))
    everyone = [a, b, c]
    for client in everyone:
        await client.connect()
    await follow(everyone, 1)
    snapshot = c.bytes_received
    print(f"clients: 3 connected (json, msgpack, json), each holds rev 1 from a {a.replica.kind}", flush=True)

    await a.send(FieldPatch("todos", "b", True))
    state["items"][1]["done"] = True
    await follow(everyone, 2)
    check(everyone, state)
    print(f"client 1 ticked off 'bread': all hold rev 2 ({b.replica.kind} frame)", flush=True)

    await c.close()
    print("client 3: connection dropped at rev 2", flush=True)
    await b.send(FieldPatch("todos", "a", True))
    state["items"][0]["done"] = True
    await follow([a, b], 3)
    await a.send(Event("rename", "Shopping"))
    state["title"] = "Shopping"
    await follow([a, b], 4)

    before = c.bytes_received
    await c.connect()
    kinds = []
    while c.replica.rev != 4:
        await asyncio.wait_for(c.receive(), TIMEOUT)
        kinds.append(c.replica.kind)
    print(
        f"client 3: resumed from rev 2 to rev 4 with {len(kinds)} {' and '.join(sorted(set(kinds)))} frame(s), "
        f"{c.bytes_received - before} bytes (its first snapshot: {snapshot} bytes)",
        flush=True,
    )
    check(everyone, state)
    for client in everyone:
        await client.close()
    print("clients: all three hold the host's tree at rev 4", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("uri")
    asyncio.run(run(parser.parse_args().uri))


if __name__ == "__main__":
    main()
