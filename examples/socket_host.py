"""The host end: renders the to-do app and keeps one client up to date over a local socket.

After each frame the client answers one line: `ok`, or `resync` when it cannot use the frame;
the host then sends a snapshot. Listens on the loopback interface only.

    python examples/socket_host.py [--port N] [--codec json|msgpack]
"""

import argparse
import socket

from todo_app import scripted_trees

import vorlik
import vorlik_stream

CODECS = {"json": vorlik_stream.JSON, "msgpack": vorlik_stream.MSGPACK}


def kind_of(frame):
    return vorlik_stream.split_decoded(vorlik.decode_frame(frame))[0]


def serve(listener, codec):
    """Serve one client the whole scripted session, then hang up."""
    conn, _ = listener.accept()
    conn.settimeout(listener.gettimeout())
    with conn, conn.makefile("rb") as replies, conn.makefile("wb") as out:
        session = vorlik_stream.HostSession("todos", codec)
        for what, tree in scripted_trees():
            frame = session.update(tree)
            assert frame is not None, f"{what!r} changed nothing"
            while True:
                print(f"host: rev {session.rev} {what}: {kind_of(frame)} frame of {len(frame)} bytes", flush=True)
                vorlik_stream.write_frame(out, frame)
                reply = replies.readline()
                if reply == b"ok\n":
                    break
                if reply != b"resync\n":
                    raise SystemExit(f"host: unexpected reply {reply!r}")
                what, frame = "resynchronise", session.resync()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0, help="port on 127.0.0.1 (default: any free one)")
    parser.add_argument("--codec", choices=tuple(CODECS), default="json")
    args = parser.parse_args()
    with socket.create_server(("127.0.0.1", args.port)) as listener:
        listener.settimeout(30)
        print(f"host: listening on 127.0.0.1:{listener.getsockname()[1]}", flush=True)
        serve(listener, CODECS[args.codec])


if __name__ == "__main__":
    main()
