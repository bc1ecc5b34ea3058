"""One model shown to many clients: counted work, shared frames, history, bounded queues."""

import asyncio
import json
import random
import re

import pytest
from random_trees import normal, page, pages

import vorlik
import vorlik_stream as vs
from vorlik_stream import _choice


class Calls:
    """Counts the calls a host makes into vorlik."""

    def __init__(self, monkeypatch):
        self.counts = {"diff": 0, "encode_frame": 0, "apply": 0}
        for name in self.counts:
            real = getattr(vorlik, name)

            def counted(*args, _real=real, _name=name):
                self.counts[_name] += 1
                return _real(*args)

            monkeypatch.setattr(vorlik, name, counted)

    def take(self):
        counts, self.counts = self.counts, dict.fromkeys(self.counts, 0)
        return counts


class Inbox:
    """A client's transport: keeps what it was sent; `hold()` makes `send` wait until `release()`."""

    def __init__(self):
        self.frames = []
        self.gate = asyncio.Event()
        self.gate.set()

    async def send(self, frame):
        await self.gate.wait()
        self.frames.append(frame)

    def hold(self):
        self.gate.clear()

    def release(self):
        self.gate.set()


async def settle(rounds=20):
    for _ in range(rounds):
        await asyncio.sleep(0)


def kinds(frames):
    return [vs.split_decoded(vorlik.decode_frame(f))[0] for f in frames]


def replay(frames, model_type="page"):
    replica = vs.ClientReplica(model_type)
    for f in frames:
        replica.receive(f)
    return replica


@pytest.mark.parametrize("clients", [0, 1, 10, 200])
@pytest.mark.parametrize("codecs", [(vs.JSON,), (vs.MSGPACK,), (vs.JSON, vs.MSGPACK)])
def test_one_publish_is_one_diff_and_one_frame_per_codec_whatever_the_clients(monkeypatch, clients, codecs):
    trees = pages(seed=clients, count=6)

    async def run():
        calls = Calls(monkeypatch)
        host = vs.Broadcast("page")
        host.publish(trees[0])
        inboxes = [Inbox() for _ in range(clients)]
        for i, inbox in enumerate(inboxes):
            host.subscribe(inbox.send, codecs[i % len(codecs)])
        await settle()
        calls.take()
        for tree in trees[1:]:
            published = host.publish(tree)
            counts = calls.take()
            assert counts["diff"] == 1 and counts["apply"] == 0
            assert counts["encode_frame"] == (len(published.kinds) if published else 0) <= len(codecs)
            if published and clients:
                assert set(published.kinds) == set(codecs[:clients]) and published.clients == clients
            await settle()
        for codec in codecs:
            got = [inbox.frames for i, inbox in enumerate(inboxes) if codecs[i % len(codecs)] == codec]
            for frames in got[1:]:  # the very same bytes objects, revision by revision
                assert all(a is b for a, b in zip(frames, got[0], strict=True))
        for inbox in inboxes:
            assert replay(inbox.frames).tree == normal(trees[-1])

    asyncio.run(run())


def test_snapshots_are_encoded_on_demand_once_per_codec_and_revision(monkeypatch):
    async def run():
        calls = Calls(monkeypatch)
        host = vs.Broadcast("page")
        host.publish(page(random.Random(1)))
        assert calls.take()["encode_frame"] == 0  # nobody to send it to
        inboxes = [Inbox() for _ in range(6)]
        subs = [host.subscribe(inbox.send, (vs.JSON, vs.MSGPACK)[i % 2]) for i, inbox in enumerate(inboxes)]
        await settle()
        assert calls.take()["encode_frame"] == 2
        assert all(s.start == "snapshot" and s.rev == 1 for s in subs)
        assert inboxes[0].frames[0] is inboxes[2].frames[0] is host.snapshot(vs.JSON)
        subs[0].resync()
        subs[2].resync()
        await settle()
        assert calls.take()["encode_frame"] == 0 and inboxes[0].frames[1] is inboxes[0].frames[0]

    asyncio.run(run())


@pytest.mark.parametrize("codec", [vs.JSON, vs.MSGPACK])
def test_a_patch_larger_than_the_tree_goes_out_as_a_snapshot_encoded_alone(monkeypatch, codec):
    small = json.dumps({"tag": "ul", "slots": {"items": [{"tag": "li", "key": "a"}]}})
    replaced = json.dumps({"tag": "ol", "slots": {"items": [{"tag": "li", "key": "b"}]}})

    async def run():
        calls = Calls(monkeypatch)
        host = vs.Broadcast("page")
        host.publish(small)
        inbox = Inbox()
        host.subscribe(inbox.send, codec)
        await settle()
        calls.take()
        published = host.publish(replaced)
        assert published.kinds == {codec: "snapshot"} and calls.take()["encode_frame"] == 1
        await settle()
        assert kinds(inbox.frames) == ["snapshot", "snapshot"]
        assert replay(inbox.frames).tree == normal(replaced)

    asyncio.run(run())


@pytest.mark.parametrize("model_type", ["page", "", 'q"uote\\', "é\u00e9 ü", "日本"])
@pytest.mark.parametrize("codec", [vs.JSON, vs.MSGPACK])
@pytest.mark.parametrize("rev", [0, 7, 2**64 - 1])
def test_frame_overhead_is_the_frames_own(model_type, codec, rev):
    for kind, payload in (("snapshot", '{"tag":"a"}'), ("patch", '{"ops":[]}')):
        frame = vorlik.encode_frame(payload, model_type, kind, rev, codec)
        header = int.from_bytes(frame[:4], "big")
        assert 8 + header == _choice.frame_overhead(model_type, codec, rev, kind)
        if codec == vs.JSON:
            assert len(frame) == _choice.frame_overhead(model_type, codec, rev, kind) + len(payload)


BAD_TREES = ["", "{", '{"tag":1}', "[]", '{"tag":"a","slots":{"s":[{"tag":"b","key":5}]}}', '{"tag":"a"} x']


def exactly(text):
    return "^" + re.escape(text) + "$"


def reader_message(tree):
    with pytest.raises(ValueError) as info:
        vorlik.apply(tree, '{"ops":[]}')
    return str(info.value)


@pytest.mark.parametrize("bad", BAD_TREES)
def test_a_refused_tree_never_enters_a_broadcast(bad):
    good = pages(seed=3, count=2)

    async def run():
        host = vs.Broadcast("page")
        with pytest.raises(ValueError, match=exactly(reader_message(bad))):
            host.publish(bad)
        assert host.rev is None and host.tree is None
        host.publish(good[0])
        inbox = Inbox()
        host.subscribe(inbox.send)
        await settle()
        with pytest.raises(ValueError, match=exactly(reader_message(bad))):
            host.publish(bad)
        assert (host.rev, host.tree, host.history) == (1, good[0], (0, 0))
        assert host.publish(good[1]).rev == 2
        await settle()
        assert replay(inbox.frames).tree == normal(good[1])

    asyncio.run(run())


@pytest.mark.parametrize("bad", BAD_TREES)
@pytest.mark.parametrize("codec", [vs.JSON, vs.MSGPACK])
def test_a_refused_tree_never_enters_a_host_session(monkeypatch, bad, codec):
    good = pages(seed=4, count=3)
    session = vs.HostSession("page", codec)
    with pytest.raises(ValueError, match=exactly(reader_message(bad))):
        session.update(bad)
    assert (session.rev, session.kind, session.resync()) == (None, None, None)
    client = vs.ClientReplica("page")
    client.receive(session.update(good[0]))
    assert session.kind == "snapshot"
    with pytest.raises(ValueError, match=exactly(reader_message(bad))):
        session.update(bad)
    assert session.rev == 1
    calls = Calls(monkeypatch)
    client.receive(session.update(good[1]))
    assert calls.take()["encode_frame"] == 1  # no snapshot encoded only to weigh it
    again = session.resync()
    assert kinds([again]) == [session.kind] == ["snapshot"]
    client.receive(again)
    assert client.tree == normal(good[1]) and client.rev == session.rev == 3


@pytest.mark.parametrize("history_frames, history_bytes", [(0, 10**6), (3, 10**6), (64, 10**6), (64, 600), (64, 0)])
def test_history_is_bounded_and_resume_sends_what_was_missed_when_smaller(history_frames, history_bytes):
    trees = pages(seed=5, count=12, keys=40)

    async def run():
        host = vs.Broadcast("page", history_frames=history_frames, history_bytes=history_bytes)
        for tree in trees:
            if host.publish(tree) is None:
                continue
            held, size = host.history
            assert held <= history_frames and size <= history_bytes
        latest = host.rev
        held = host.history[0]
        for codec in (vs.JSON, vs.MSGPACK):
            for rev in range(host.first_rev, latest + 2):
                inbox = Inbox()
                sub = host.subscribe(inbox.send, codec, resume=(host.epoch, rev))
                await settle()
                await sub.close()
                snapshot = host.snapshot(codec)
                if rev == latest:
                    assert sub.start == "nothing" and inbox.frames == []
                elif latest - held <= rev < latest and sub.start == "patches":
                    assert kinds(inbox.frames) == ["patch"] * (latest - rev)
                    assert sum(map(len, inbox.frames)) <= len(snapshot) or codec == vs.MSGPACK
                else:
                    assert sub.start == "snapshot" and inbox.frames == [snapshot]
        # another epoch always gets a snapshot
        inbox = Inbox()
        sub = host.subscribe(inbox.send, resume=("another", latest))
        await settle()
        assert sub.start == "snapshot" and inbox.frames == [host.snapshot(vs.JSON)]

    asyncio.run(run())


def test_resuming_within_the_history_costs_fewer_bytes_than_a_snapshot():
    rnd = random.Random(6)
    base = json.loads(page(rnd, keys=200, title="t"))

    def changed(n):
        base["slots"]["items"][n]["props"]["n"] = {"Int": 100 + n}
        return json.dumps(base)

    async def run():
        host = vs.Broadcast("page")
        host.publish(json.dumps(base))
        for n in range(5):
            host.publish(changed(n))
        inbox = Inbox()
        sub = host.subscribe(inbox.send, vs.MSGPACK, resume=(host.epoch, 2))
        await settle()
        assert sub.start == "patches" and kinds(inbox.frames) == ["patch"] * 4
        assert sum(map(len, inbox.frames)) * 10 < len(host.snapshot(vs.MSGPACK))
        replica = vs.ClientReplica("page")
        replica.tree, replica.rev = normal(changed(0)), 2  # what the client held at revision 2
        for f in inbox.frames:
            replica.receive(f)
        assert (replica.tree, replica.rev) == (normal(host.tree), host.rev)

    asyncio.run(run())


@pytest.mark.parametrize("queue_frames, queue_bytes", [(1, 10**6), (4, 10**6), (64, 2000), (64, 1)])
def test_a_client_that_stops_reading_holds_no_more_than_its_bound(queue_frames, queue_bytes):
    trees = pages(seed=7, count=40, keys=30)

    async def run():
        host = vs.Broadcast("page", queue_frames=queue_frames, queue_bytes=queue_bytes)
        host.publish(trees[0])
        stuck, healthy = Inbox(), Inbox()
        sub = host.subscribe(stuck.send)
        other = host.subscribe(healthy.send)
        await settle()
        stuck.hold()
        largest = 0
        for tree in trees[1:]:
            published = host.publish(tree)
            if published:
                largest = max(largest, len(host.snapshot(vs.JSON)))
            await settle(2)
            frames, size = sub.queued
            assert frames <= queue_frames and (size <= queue_bytes or frames == 1)
            assert size <= max(queue_bytes, largest)
        assert sub.overflows > 0 and other.overflows == 0
        assert replay(healthy.frames).tree == normal(host.tree)
        stuck.release()
        await settle()
        replica = replay(stuck.frames)
        assert (replica.tree, replica.rev) == (normal(host.tree), host.rev)
        assert kinds(stuck.frames)[-1] == "snapshot" and stuck.frames[-1] is host.snapshot(vs.JSON)
        retitled = json.loads(host.tree)
        retitled["props"]["title"] = {"Str": "after"}
        host.publish(json.dumps(retitled))
        await settle()
        assert kinds(stuck.frames)[-1] == "patch" and replay(stuck.frames).rev == host.rev

    asyncio.run(run())


def test_a_failing_transport_detaches_only_its_client():
    trees = pages(seed=8, count=4)

    async def run():
        host = vs.Broadcast("page")
        host.publish(trees[0])
        good = Inbox()

        async def broken(frame):
            raise ConnectionResetError("gone")

        bad = host.subscribe(broken)
        host.subscribe(good.send)
        await settle()
        assert bad.closed and isinstance(bad.error, ConnectionResetError) and len(host.subscribers) == 1
        for tree in trees[1:]:
            host.publish(tree)
        await settle()
        assert replay(good.frames).tree == normal(trees[-1])
        await host.close()
        assert host.subscribers == ()

    asyncio.run(run())


class Wire:
    """A client's byte stream: frames arrive in random chunks, the transport is randomly slow."""

    def __init__(self, rnd):
        self.rnd = rnd
        self.reader = vs.FrameReader()
        self.replica = vs.ClientReplica("page")
        self.pending = bytearray()
        self.lost = False

    async def send(self, frame):
        for _ in range(self.rnd.choice([0, 0, 1, 3])):
            await asyncio.sleep(0)
        self.pending += frame
        while self.pending and self.rnd.random() < 0.8:
            cut = self.rnd.randrange(1, len(self.pending) + 1)
            self.feed(bytes(self.pending[:cut]))
            del self.pending[:cut]

    def feed(self, chunk):
        for f in self.reader.feed(chunk):
            try:
                self.replica.receive(f)
            except vs.OutOfSync:  # a patch sent before the client lost its copy
                assert self.lost
                continue
            self.lost = self.lost and kinds([f]) != ["snapshot"]

    def lose(self):
        self.replica = vs.ClientReplica("page")
        self.lost = True

    def flush(self):
        self.feed(bytes(self.pending))
        self.pending.clear()


@pytest.mark.parametrize("seed", range(8))
def test_clients_that_drop_resume_resync_and_lag_end_with_the_hosts_tree(seed):
    rnd = random.Random(seed)
    trees = pages(seed=100 + seed, count=60, keys=20)

    async def run():
        host = vs.Broadcast(
            "page",
            history_frames=rnd.choice([2, 8, 64]),
            queue_frames=rnd.choice([1, 3, 64]),
            queue_bytes=rnd.choice([300, 10**6]),
        )
        clients = []
        for i in range(12):
            wire = Wire(random.Random(seed * 100 + i))
            clients.append([wire, host.subscribe(wire.send, rnd.choice([vs.JSON, vs.MSGPACK]))])
        for tree in trees:
            host.publish(tree)
            for client in clients:
                wire, sub = client
                what = rnd.random()
                if what < 0.1:  # the connection drops; the client comes back with what it holds
                    await sub.close()
                    wire.reader = vs.FrameReader()  # a new connection: a new stream
                    wire.pending.clear()
                    replica = wire.replica
                    resume = (host.epoch, replica.rev) if replica.rev is not None else None
                    client[1] = host.subscribe(wire.send, sub.codec, resume=resume)
                elif what < 0.15:  # the client lost its copy and asks for a snapshot
                    wire.lose()
                    sub.resync()
            for _ in range(rnd.randrange(4)):
                await asyncio.sleep(0)
        await settle(100)
        for wire, sub in clients:
            wire.flush()
            assert sub.queued == (0, 0) and not sub.closed
            assert (wire.replica.tree, wire.replica.rev) == (normal(host.tree), host.rev)

    asyncio.run(run())


def test_a_burst_is_coalesced_into_one_diff_per_interval(monkeypatch):
    trees = pages(seed=9, count=30)

    async def run():
        calls = Calls(monkeypatch)
        host = vs.Broadcast("page")
        errors = []
        coalescer = vs.Coalescer(host, interval=0.05, on_error=errors.append)
        coalescer.submit(trees[0])  # the first goes out at once
        assert host.rev == 1 and not coalescer.pending
        for tree in trees[1:]:
            coalescer.submit(tree)
        assert host.rev == 1 and coalescer.pending and calls.take()["diff"] == 0
        await asyncio.sleep(0.2)
        assert host.tree == trees[-1] and host.rev == 2 and calls.take()["diff"] == 1
        coalescer.submit(trees[0])  # the interval has passed: at once
        assert host.rev == 3 and calls.take()["diff"] == 1
        coalescer.submit("{")
        coalescer.submit(trees[1])
        coalescer.submit("{")  # the latest wins, and it is refused
        await asyncio.sleep(0.2)
        assert (host.rev, host.tree, calls.take()["diff"]) == (3, trees[0], 1)
        assert [str(e) for e in errors] == ["EOF while parsing an object at line 1 column 1"]
        coalescer.close()

    asyncio.run(run())


def test_hosts_take_nodes_from_the_builder():
    from vorlik_tree import Node

    first, second = Node("page", props={"n": 1}), Node("page", props={"n": 2})
    host, client = vs.HostSession("m"), vs.ClientReplica("m")
    client.receive(host.update(first))
    client.receive(host.update(second))
    assert client.tree == second.to_json() and host.update(second.to_json()) is None
    broadcast = vs.Broadcast("m")
    broadcast.publish(first)
    assert broadcast.tree == first.to_json()
    assert broadcast.publish(first.to_json()) is None and broadcast.publish(second).rev == 2
