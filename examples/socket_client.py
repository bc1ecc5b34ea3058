"""The client end: keeps its copy of the to-do app's tree from the host's frames.

It checks every tree it holds against the host's view of the same step (it knows the scripted
session too). With `--forget-at N` it drops its copy before step N, so the next patch no longer
fits and it asks the host for a snapshot.

    python examples/socket_client.py PORT [--forget-at N]
"""

import argparse
import socket

from todo_app import scripted_trees

import vorlik
import vorlik_stream


def run(port, forget_at=None):
    """Follow the host's whole scripted session; returns the last revision held."""
    with (
        socket.create_connection(("127.0.0.1", port), timeout=30) as sock,
        sock.makefile("rb") as incoming,
        sock.makefile("wb") as replies,
    ):
        frames = vorlik_stream.read_frames(incoming)
        replica = vorlik_stream.ClientReplica("todos")
        for step, (what, host_tree) in enumerate(scripted_trees()):
            if step == forget_at:
                print("client: dropping its copy of the tree", flush=True)
                replica = vorlik_stream.ClientReplica("todos")
            while True:
                frame = next(frames, None)
                if frame is None:
                    raise SystemExit("client: the host hung up early")
                try:
                    tree = replica.receive(frame)
                except vorlik_stream.OutOfSync as e:
                    print(f"client: {e}: asking for a snapshot", flush=True)
                    replies.write(b"resync\n")
                    replies.flush()
                    continue
                break
            if tree != vorlik.apply(host_tree, '{"ops":[]}'):
                raise SystemExit(f"client: diverged from the host at rev {replica.rev} ({what})")
            replies.write(b"ok\n")
            replies.flush()
        if next(frames, None) is not None:
            raise SystemExit("client: the host sent more than the scripted session")
    return replica.rev


def report(rev):
    print(f"client: tree equals the host's after every frame, up to rev {rev}", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("port", type=int)
    parser.add_argument("--forget-at", type=int, metavar="N")
    args = parser.parse_args()
    report(run(args.port, args.forget_at))


if __name__ == "__main__":
    main()
