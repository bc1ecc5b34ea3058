"""Frames over byte streams: chunked reading, limits, truncation, writing and host sessions."""

import asyncio
import io
import json
import struct

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import vorlik
import vorlik_stream as vs

NO_OPS = '{"ops":[]}'


def raw_frame(header: bytes, payload: bytes) -> bytes:
    return struct.pack(">I", len(header)) + header + struct.pack(">I", len(payload)) + payload


frames_st = st.lists(st.builds(raw_frame, st.binary(max_size=40), st.binary(max_size=300)), max_size=6)


def chunked(data, cuts):
    bounds = sorted({0, len(data), *(c % (len(data) + 1) for c in cuts)})
    return [data[a:b] for a, b in zip(bounds, bounds[1:])]


class Trickle(io.RawIOBase):
    """A stream that hands out at most `step` bytes a read, as a socket may."""

    def __init__(self, data, step):
        self.data, self.step = memoryview(data), step

    def readable(self):
        return True

    def readinto(self, b):
        n = min(len(b), self.step, len(self.data))
        b[:n], self.data = self.data[:n], self.data[n:]
        return n


@settings(max_examples=200, deadline=None)
@given(
    frames=frames_st,
    cuts=st.lists(st.integers(min_value=0), max_size=20),
    buffer=st.sampled_from([bytes, bytearray, memoryview]),
)
def test_reader_finds_frames_whatever_the_chunking(frames, cuts, buffer):
    reader = vs.FrameReader()
    got = [f for chunk in chunked(b"".join(frames), cuts) for f in reader.feed(buffer(chunk))]
    assert got == frames and all(type(f) is bytes for f in got)
    assert reader.buffered == 0
    reader.close()


@settings(max_examples=100, deadline=None)
@given(
    frames=st.lists(frames_st.filter(bool).map(lambda fs: fs[0]), min_size=1, max_size=4),
    step=st.integers(min_value=1, max_value=9),
    data=st.data(),
)
def test_truncated_stream_is_reported_after_the_whole_frames(frames, step, data):
    stream = b"".join(frames)
    cut = data.draw(st.integers(min_value=1, max_value=len(frames[-1]) - 1))
    whole, cut_stream = frames[:-1], stream[:-cut]
    partial = len(frames[-1]) - cut

    reader = vs.FrameReader()
    assert reader.feed(cut_stream) == whole
    with pytest.raises(vs.TruncatedStream) as info:
        reader.close()
    assert info.value.buffered == partial

    got = []
    with pytest.raises(vs.TruncatedStream) as info:
        for f in vs.read_frames(Trickle(cut_stream, step)):
            got.append(f)
    assert got == whole and info.value.buffered == partial


@settings(max_examples=50, deadline=None)
@given(frames=frames_st, step=st.integers(min_value=1, max_value=9))
def test_read_frames_copes_with_short_reads(frames, step):
    assert list(vs.read_frames(Trickle(b"".join(frames), step))) == frames


def test_read_frames_leaves_the_stream_after_the_last_frame():
    f = vorlik.encode_frame("{}", "m", "snapshot", 1, vs.JSON)
    stream = io.BytesIO(f + f)
    frames = vs.read_frames(stream)
    assert next(frames) == f and stream.tell() == len(f)
    assert list(frames) == [f] and stream.tell() == 2 * len(f)


@pytest.mark.parametrize(
    "header, payload_claim, limit, claimed",
    [
        (b"", 0xFFFFFFFF, 1000, 8 + 0xFFFFFFFF),
        (b"{}", 993, 1000, 1003),
        (b"x" * 0xFF, None, 100, 8 + 0xFF),  # the header claim alone is too large
    ],
)
def test_length_claims_above_the_limit_are_refused_before_their_bytes(header, payload_claim, limit, claimed):
    # Only the length fields are present: waiting for the claimed bytes would look truncated.
    prefix = struct.pack(">I", len(header))
    if payload_claim is not None:
        prefix += header + struct.pack(">I", payload_claim)
    reader = vs.FrameReader(max_frame=limit)
    with pytest.raises(vs.FrameTooLarge) as info:
        reader.feed(prefix)
    assert (info.value.claimed, info.value.limit) == (claimed, limit)
    assert str(info.value) == f"frame of at least {claimed} bytes exceeds the limit of {limit} bytes"
    with pytest.raises(vs.FrameTooLarge):  # no resynchronising after a refusal
        reader.feed(b"")
    with pytest.raises(vs.FrameTooLarge):
        list(vs.read_frames(io.BytesIO(prefix), max_frame=limit))
    with pytest.raises(vs.FrameTooLarge):
        asyncio.run(read_all_async([prefix], limit))


def test_frame_exactly_at_the_limit_is_taken():
    f = raw_frame(b"{}", b"x" * 10)
    assert vs.FrameReader(max_frame=len(f)).feed(f) == [f]
    assert list(vs.read_frames(io.BytesIO(f), max_frame=len(f))) == [f]
    with pytest.raises(ValueError, match="max_frame must be at least 8"):
        vs.FrameReader(max_frame=7)


async def read_all_async(chunks, limit=vs.DEFAULT_MAX_FRAME):
    reader = asyncio.StreamReader()
    for chunk in chunks:
        reader.feed_data(chunk)
    reader.feed_eof()
    return [f async for f in vs.read_frames_async(reader, limit)]


@settings(max_examples=50, deadline=None)
@given(frames=frames_st, cuts=st.lists(st.integers(min_value=0), max_size=10))
def test_async_reader(frames, cuts):
    stream = b"".join(frames)
    assert asyncio.run(read_all_async(chunked(stream, cuts))) == frames
    if frames:
        with pytest.raises(vs.TruncatedStream) as info:
            asyncio.run(read_all_async([stream[:-1]]))
        assert info.value.buffered == len(frames[-1]) - 1


def test_async_frames_over_a_loopback_socket():
    frames = [vorlik.encode_frame(json.dumps({"n": n}), "m", "patch", n, vs.MSGPACK) for n in range(50)]

    async def session():
        async def serve(_, writer):
            for f in frames:
                await vs.write_frame_async(writer, f)
            writer.close()

        server = await asyncio.start_server(serve, "127.0.0.1", 0)
        async with server:
            reader, writer = await asyncio.open_connection(*server.sockets[0].getsockname()[:2])
            got = [f async for f in vs.read_frames_async(reader)]
            writer.close()
            return got

    assert asyncio.run(asyncio.wait_for(session(), 30)) == frames


@pytest.mark.parametrize(
    "data, message",
    [
        (b"\0\0\0", "truncated frame"),
        (b"\0\0\0\2{}\0\0", "truncated frame"),
        (raw_frame(b"{}", b"ab") + b"x", "not one whole frame: its lengths give 12 bytes, 13 were given"),
        (raw_frame(b"{}", b"ab")[:-1], "not one whole frame: its lengths give 12 bytes, 11 were given"),
    ],
)
def test_writer_refuses_anything_but_one_whole_frame(data, message):
    out = io.BytesIO()
    with pytest.raises(ValueError) as info:
        vs.write_frame(out, data)
    assert str(info.value) == message and out.getvalue() == b""


def tree(*keys, title="t"):
    # An emptied slot disappears under a patch but stays in a snapshot: leave it out.
    items = [{"tag": "li", "key": k, "props": {"n": {"Str": k * 3}}} for k in keys]
    return json.dumps({"tag": "ul", "props": {"title": {"Str": title}}, "slots": {"items": items} if items else {}})


def decoded(frame):
    return vs.split_decoded(vorlik.decode_frame(frame))


@pytest.mark.parametrize("codec", [vs.JSON, vs.MSGPACK])
def test_host_session_numbers_revisions_and_prefers_the_smaller_frame(codec):
    host = vs.HostSession("list", codec, first_rev=5)
    assert host.rev is None and host.resync() is None
    first = host.update(tree("a", "b", "c"))
    assert decoded(first)[:3] == ("snapshot", "list", 5) and host.rev == 5
    assert host.update(tree("a", "b", "c")) is None and host.rev == 5  # nothing changed
    kind, _, rev, payload = decoded(host.update(tree("c", "b", "a")))
    assert (kind, rev) == ("patch", 6) and "MoveChild" in payload
    # Every child replaced: the patch would carry more than the whole tree does.
    new = tree("x", "y", "z", title="u")
    frame = host.update(new)
    assert decoded(frame)[:3] == ("snapshot", "list", 7)
    assert len(frame) < len(vorlik.encode_frame(vorlik.diff(tree("c", "b", "a"), new), "list", "patch", 7, codec))
    again = host.resync()
    assert decoded(again)[:3] == ("snapshot", "list", 8)
    assert vorlik.apply(decoded(again)[3], NO_OPS) == vorlik.apply(new, NO_OPS)


@settings(max_examples=60, deadline=None)
@given(
    steps=st.lists(
        st.tuples(
            st.lists(st.sampled_from("abcdef"), unique=True, max_size=5), st.sampled_from(["t", "u"]), st.booleans()
        ),
        min_size=1,
        max_size=8,
    ),
    codec=st.sampled_from([vs.JSON, vs.MSGPACK]),
)
def test_client_replica_follows_the_host(steps, codec):
    host, client = vs.HostSession("list", codec), vs.ClientReplica("list")
    for keys, title, lose in steps:
        new = tree(*keys, title=title)
        if lose:  # the client loses its copy and asks to be resynchronised
            client = vs.ClientReplica("list")
        frame = host.update(new)
        if frame is not None:
            try:
                client.receive(frame)
            except vs.OutOfSync:
                client.receive(host.resync())
        elif lose:
            client.receive(host.resync())
        assert client.tree == vorlik.apply(new, NO_OPS) and client.rev == host.rev


def test_client_replica_refuses_frames_it_cannot_use():
    host = vs.HostSession("list")
    snapshot = host.update(tree("a"))
    patch1, patch2 = host.update(tree("a", "b")), host.update(tree("b"))
    client = vs.ClientReplica("list")
    with pytest.raises(vs.OutOfSync, match="^patch to revision 2 but no snapshot held$"):
        client.receive(patch1)
    client.receive(snapshot)
    with pytest.raises(vs.OutOfSync, match="^patch to revision 3 does not follow revision 1$"):
        client.receive(patch2)
    assert (client.rev, client.tree) == (1, vorlik.apply(tree("a"), NO_OPS))
    with pytest.raises(vs.OutOfSync, match="^frame for model type 'list', expected 'other'$"):
        vs.ClientReplica("other").receive(snapshot)
    with pytest.raises(ValueError, match="^truncated frame$"):
        client.receive(snapshot[:-1])


@pytest.mark.parametrize("model_type", ["", 'a","payload":1,"rev":2', "\\", '"', "é\n"])
@pytest.mark.parametrize("payload", ['{"x":1e+16,"y":[1.0,-0.0,18446744073709551615]}', '","rev":1'])
def test_split_decoded_keeps_the_payload_as_written(model_type, payload):
    frame = vorlik.encode_frame(
        payload if payload.startswith("{") else json.dumps(payload), model_type, "patch", 2**64 - 1, vs.JSON
    )
    text = vorlik.decode_frame(frame)
    kind, mt, rev, body = vs.split_decoded(text)
    assert (kind, mt, rev) == ("patch", model_type, 2**64 - 1)
    assert (
        '{"kind":"patch","model_type":'
        + json.dumps(model_type, ensure_ascii=False)
        + ',"payload":'
        + body
        + ',"rev":18446744073709551615}'
        == text
    )
