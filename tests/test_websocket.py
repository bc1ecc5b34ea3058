"""The broadcast over real WebSocket connections on 127.0.0.1, and over an in-memory ASGI server."""

import asyncio
import json
import random
import socket

import pytest
from random_trees import normal, page, pages

import vorlik
import vorlik_stream as vs
from vorlik_stream.asgi import asgi_app
from vorlik_stream.protocol import Event, FieldPatch, Hello, Resync, encode_message

websockets = pytest.importorskip("websockets")
from websockets.asyncio.client import connect  # noqa: E402
from websockets.exceptions import ConnectionClosed  # noqa: E402

from vorlik_stream.websocket import WebSocketClient, serve  # noqa: E402

TIMEOUT = 10


def run(coroutine):
    asyncio.run(asyncio.wait_for(coroutine, 60))


def uri(server):
    return f"ws://127.0.0.1:{server.sockets[0].getsockname()[1]}"


def kind(frame):
    return vs.split_decoded(vorlik.decode_frame(frame))[0]


async def catch_up(client, rev):
    """Receive until the client holds `rev`; the kinds of the frames that applied."""
    seen = []
    while client.replica.rev != rev:
        await asyncio.wait_for(client.receive(), TIMEOUT)
        seen.append(client.replica.rev)
    return seen


@pytest.mark.parametrize("seed", range(3))
def test_clients_that_drop_lag_and_resume_end_with_the_hosts_tree(seed):
    rnd = random.Random(seed)
    trees = pages(seed=200 + seed, count=40, keys=40)

    async def session():
        host = vs.Broadcast("page", history_frames=16, queue_frames=rnd.choice([2, 64]))
        host.publish(trees[0])
        resumed = []
        async with await serve(host) as server:
            clients = [WebSocketClient(uri(server), "page", rnd.choice([vs.JSON, vs.MSGPACK])) for _ in range(6)]
            online = [True] * len(clients)
            for client in clients:
                await client.connect()
            for tree in trees[1:]:
                host.publish(tree)
                for i, client in enumerate(clients):
                    what = rnd.random()
                    if online[i] and what < 0.15:
                        await client.close()
                        online[i] = False
                    elif not online[i] and what < 0.5:
                        held = client.replica.rev
                        await client.connect()
                        online[i] = True
                        first = await asyncio.wait_for(client.connection.recv(), TIMEOUT) if held != host.rev else None
                        if first is not None:
                            resumed.append(kind(first))
                            client.replica.receive(first)
                    if online[i] and what > 0.3:  # the others lag behind for now
                        await catch_up(client, host.rev)
            for i, client in enumerate(clients):
                if not online[i]:
                    await client.connect()
                await catch_up(client, host.rev)
                assert client.replica.tree == normal(host.tree)
                await client.close()
        assert "patch" in resumed  # some came back within the history
        return resumed

    run(session())


def test_a_resume_within_the_history_costs_fewer_bytes_than_a_snapshot():
    base = json.loads(pages(seed=7, count=1, keys=200)[0])

    def retitled(n):
        base["props"]["title"] = {"Str": f"title {n}"}
        return json.dumps(base)

    async def session():
        host = vs.Broadcast("page")
        host.publish(retitled(0))
        async with await serve(host) as server:
            client = WebSocketClient(uri(server), "page", vs.MSGPACK)
            await client.connect()
            await catch_up(client, 1)
            await client.close()
            for n in range(1, 4):
                host.publish(retitled(n))
            await client.connect()
            frames = [await client.connection.recv() for _ in range(3)]
            assert [kind(f) for f in frames] == ["patch"] * 3
            assert sum(map(len, frames)) * 10 < len(host.snapshot(vs.MSGPACK))
            for f in frames:
                client.replica.receive(f)
            assert client.replica.tree == normal(host.tree)
            await client.close()

    run(session())


async def refused(server, messages):
    """Send raw messages on a new connection; the code and reason it was closed with."""
    async with connect(uri(server), compression=None) as ws:
        try:
            for m in messages:
                await ws.send(m)
            while True:
                await asyncio.wait_for(ws.recv(), TIMEOUT)
        except ConnectionClosed as e:
            return e.rcvd.code, e.rcvd.reason


HELLO = encode_message(Hello())


@pytest.mark.parametrize(
    "messages, code, reason",
    [
        (['{"v":1,"type":"resync"}'], 1008, "the first message must be hello"),
        (["not json"], 1008, "not a JSON text"),
        ([b"\x00\x00"], 1003, "clients send text messages only"),
        ([HELLO, b"binary"], 1003, "clients send text messages only"),
        ([HELLO, HELLO], 1008, "hello sent twice"),
        ([HELLO, '{"v":1,"type":"event"}'], 1008, "event: member `event` is missing"),
        ([HELLO, '{"v":9,"type":"resync"}'], 1008, "unsupported protocol version; this side speaks 1"),
        (
            [HELLO, '{"v":1,"type":"event","event":"e","detail":' + "[" * 40 + "]" * 40 + "}"],
            1008,
            "values nest deeper than 32 levels",
        ),
        ([HELLO, "x" * 70_000], 1008, "message longer than 65536 characters"),
        ([encode_message(Hello("application/msgpack"))], 1008, "codec not served here: application/msgpack"),
    ],
)
def test_a_bad_client_is_closed_with_a_reason_and_hurts_nobody(messages, code, reason):
    trees = pages(seed=8, count=3)

    async def session():
        host = vs.Broadcast("page", codecs=[vs.JSON])
        host.publish(trees[0])
        async with await serve(host) as server:
            good = WebSocketClient(uri(server), "page")
            await good.connect()
            await catch_up(good, 1)
            assert await refused(server, messages) == (code, reason)
            host.publish(trees[1])
            await catch_up(good, 2)
            assert good.replica.tree == normal(trees[1]) and len(host.subscribers) == 1
            await good.close()

    run(session())


def test_a_client_that_never_says_hello_is_closed_in_time():
    async def session():
        host = vs.Broadcast("page")
        async with await serve(host, hello_timeout=0.2) as server:
            assert await refused(server, []) == (1008, "no hello within 0.2 s")

    run(session())


def test_a_flood_of_resync_requests_costs_one_snapshot_per_revision(monkeypatch):
    trees = pages(seed=9, count=4, keys=30)
    encoded = []
    real = vorlik.encode_frame
    monkeypatch.setattr(vorlik, "encode_frame", lambda *a: encoded.append(a[2]) or real(*a))

    async def session():
        host = vs.Broadcast("page")
        host.publish(trees[0])
        async with await serve(host) as server:
            good = WebSocketClient(uri(server), "page")
            await good.connect()
            async with connect(uri(server), compression=None) as flood:
                await flood.send(HELLO)
                for _ in range(300):
                    await flood.send(encode_message(Resync()))
                for tree in trees[1:]:
                    host.publish(tree)
                    await catch_up(good, host.rev)
            assert good.replica.tree == normal(trees[-1])
            await good.close()
        assert encoded.count("snapshot") <= len(trees)

    run(session())


def test_a_client_that_stops_reading_stays_within_its_bound():
    rnd = random.Random(10)
    big = [page(rnd, keys=1000) for _ in range(2)]  # about 60 KB each, every frame a snapshot

    async def session():
        host = vs.Broadcast("page", queue_frames=8, queue_bytes=256 * 1024)
        host.publish(big[0])
        async with await serve(host) as server:
            good = WebSocketClient(uri(server), "page")
            await good.connect()
            stuck = socket.socket()
            stuck.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            stuck.connect(server.sockets[0].getsockname())
            async with connect(uri(server), sock=stuck, compression=None, max_size=None, close_timeout=0.1) as ws:
                await ws.send(HELLO)  # and never reads again
                for n in range(100):
                    host.publish(big[n % 2])
                    await catch_up(good, host.rev)
                    for s in host.subscribers:
                        frames, size = s.queued
                        assert frames <= 8 and (size <= 256 * 1024 or frames == 1)
                assert sorted(s.overflows for s in host.subscribers)[0] == 0
                assert sorted(s.overflows for s in host.subscribers)[1] > 0
            assert good.replica.tree == normal(host.tree)
            await good.close()

    run(session())


def test_events_and_patches_reach_the_host_and_a_failing_handler_closes_only_its_client():
    trees = pages(seed=11, count=2)

    async def session():
        host = vs.Broadcast("page")
        host.publish(trees[0])
        got = []

        async def on_message(subscriber, message):
            if message == Event("boom"):
                raise RuntimeError("the handler failed")
            got.append((subscriber.codec, message))

        async with await serve(host, on_message=on_message) as server:
            a, b = WebSocketClient(uri(server), "page"), WebSocketClient(uri(server), "page", vs.MSGPACK)
            await a.connect()
            await b.connect()
            await a.send(Event("save", {"id": 3}))
            await b.send(FieldPatch("todo", "done", True))
            await a.send(Event("boom"))
            with pytest.raises(ConnectionClosed) as info:
                await asyncio.wait_for(catch_up(a, 99), TIMEOUT)
            assert (info.value.rcvd.code, info.value.rcvd.reason) == (1011, "the host failed to handle a message")
            host.publish(trees[1])
            await catch_up(b, 2)
            await b.close()
        assert got == [(vs.JSON, Event("save", {"id": 3})), (vs.MSGPACK, FieldPatch("todo", "done", True))]

    run(session())


class AsgiPeer:
    """An ASGI server's side of one connection, in memory."""

    def __init__(self):
        self.incoming, self.outgoing = asyncio.Queue(), asyncio.Queue()

    async def receive(self):
        return await self.incoming.get()

    async def send(self, message):
        await self.outgoing.put(message)

    async def next(self):
        return await asyncio.wait_for(self.outgoing.get(), TIMEOUT)


def test_the_asgi_application_serves_the_same_protocol():
    trees = pages(seed=12, count=2)

    async def session():
        host = vs.Broadcast("page")
        host.publish(trees[0])
        app = asgi_app(host)
        peer = AsgiPeer()
        task = asyncio.create_task(app({"type": "websocket"}, peer.receive, peer.send))
        await peer.incoming.put({"type": "websocket.connect"})
        assert await peer.next() == {"type": "websocket.accept"}
        await peer.incoming.put({"type": "websocket.receive", "text": HELLO})
        welcome = json.loads((await peer.next())["text"])
        assert welcome == {"v": 1, "type": "welcome", "model_type": "page", "epoch": host.epoch, "codec": vs.JSON}
        replica = vs.ClientReplica("page")
        replica.receive((await peer.next())["bytes"])
        host.publish(trees[1])
        replica.receive((await peer.next())["bytes"])
        assert replica.tree == normal(trees[1])
        await peer.incoming.put({"type": "websocket.receive", "bytes": b"\x00"})
        assert await peer.next() == {
            "type": "websocket.close",
            "code": 1003,
            "reason": "clients send text messages only",
        }
        await asyncio.wait_for(task, TIMEOUT)
        assert host.subscribers == ()

        http = AsgiPeer()
        await app({"type": "http"}, http.receive, http.send)
        assert (await http.next())["status"] == 404

    run(session())
