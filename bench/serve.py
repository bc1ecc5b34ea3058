"""The host under load: one page shown to N WebSocket clients, broadcast against one session each.

    python bench/serve.py [--clients 10,100,1000] [--sizes 0.1,1] [--shape cards]
                          [--codec json|msgpack|mixed] [--updates 20] [--baseline-updates 4]
                          [--seconds 60] [--workers 2] [--sample 10] [--json] [--out build/bench]

For every page size and number of clients, one host process (this one) serves a page of that
size on 127.0.0.1 to N clients in worker processes, and publishes updates that change about 1%
of the page's properties, one at a time: the next once every client has the last. It does so
twice in the same run: with one `Broadcast` for all clients, then with the per-client design
(one `HostSession` each, the baseline). Clients count their frames without applying them,
except a sample that applies every frame with a `ClientReplica`.

Figures per update: the host's CPU time (from publish until the last client has the frame),
split into the shared part (time inside `diff` and `encode_frame`) and the per-client rest;
the time from publish until the last client has the frame; p50/p99 of publish to applied in
the sampled clients; the growth of the host's resident memory per connected client. Host CPU
is this process's own CPU time, so the load of the clients (and of the machine) moves the
latencies but hardly the CPU figures. Every loop is bounded by count and by --seconds.

`--json` prints one JSON object: the figures of the largest page at the largest number of
clients at the top level, and every run under "runs". Without it a Markdown table goes to
standard output and to OUT/serve.md (with OUT/serve.json).
"""

from __future__ import annotations

import argparse
import asyncio
import copy
import ctypes
import gc
import json
import os
import random
import resource
import statistics
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import vorlik  # noqa: E402
import vorlik_stream as vs  # noqa: E402
from vorlik_stream.protocol import Hello, Welcome, encode_message, parse_client_message  # noqa: E402

MB = 1_000_000
CODECS = {"json": vs.JSON, "msgpack": vs.MSGPACK}
STEP_TIMEOUT = 300  # seconds one update may take before the measurement is abandoned


def raise_fd_limit():
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if soft < hard:
        resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))


def rss_bytes(settle=False):
    """Resident memory; with `settle`, after handing free heap back to the system first, so that
    growth from here is memory newly taken."""
    if settle:
        gc.collect()
        ctypes.CDLL("libc.so.6").malloc_trim(0)
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def rev_of(frame):
    header = int.from_bytes(frame[:4], "big")
    return json.loads(frame[4 : 4 + header])["rev"]


# --- the clients (worker processes) ---------------------------------------------------------


async def worker(uri, count, sample, codecs, first):
    """`count` clients on one event loop; the first `sample` apply their frames. Prints one line
    `rev R T` when all of them have revision R (T: monotonic time of the last arrival), and
    `done {...}` with the sampled apply times once the host has closed every connection."""
    from websockets.asyncio.client import connect

    raise_fd_limit()
    got, last, applied = {}, {}, {}
    opening = asyncio.Semaphore(32)

    async def open_one(i):
        async with opening:
            ws = await connect(
                uri, compression=None, max_size=None, open_timeout=60, close_timeout=5, ping_interval=None
            )
            await ws.send(encode_message(Hello(codecs[(first + i) % len(codecs)])))
            await ws.recv()  # the welcome
            return ws

    def arrived(rev, t):
        got[rev] = got.get(rev, 0) + 1
        last[rev] = max(last.get(rev, t), t)
        if got[rev] == count:
            print(f"rev {rev} {last[rev]}", flush=True)

    async def follow(i, ws):
        replica = vs.ClientReplica("page") if i < sample else None
        async for frame in ws:
            t = time.monotonic()
            rev = rev_of(frame)
            if replica is not None:
                replica.receive(frame)
                applied.setdefault(rev, []).append(time.monotonic())
            arrived(rev, t)

    connections = await asyncio.gather(*(open_one(i) for i in range(count)))
    await asyncio.gather(*(follow(i, ws) for i, ws in enumerate(connections)), return_exceptions=True)
    print("done " + json.dumps({"applied": applied}), flush=True)


# --- the host --------------------------------------------------------------------------------


class Counted:
    """Counts and times (CPU) the host's calls to `diff` and `encode_frame`."""

    def __init__(self):
        self.calls = {"diff": 0, "encode_frame": 0}
        self.cpu = 0.0
        self.real = {name: getattr(vorlik, name) for name in self.calls}
        for name in self.calls:
            setattr(vorlik, name, self._wrap(name))

    def _wrap(self, name):
        real = self.real[name]

        def timed(*args):
            t = time.process_time()
            try:
                return real(*args)
            finally:
                self.cpu += time.process_time() - t
                self.calls[name] += 1

        return timed

    def take(self):
        calls, cpu = dict(self.calls), self.cpu
        self.calls = dict.fromkeys(self.calls, 0)
        self.cpu = 0.0
        return calls, cpu

    def restore(self):
        for name, real in self.real.items():
            setattr(vorlik, name, real)


class Baseline:
    """The per-client design: one `HostSession` and one send queue per client."""

    def __init__(self, tree):
        self.tree = tree
        self.clients = []

    async def handler(self, ws):
        hello = parse_client_message(await ws.recv())
        await ws.send(encode_message(Welcome("page", "baseline", hello.codec)))
        session, queue = vs.HostSession("page", hello.codec), asyncio.Queue()
        self.clients.append((session, queue))
        queue.put_nowait(session.update(self.tree))

        async def send_all():
            while True:
                await ws.send(await queue.get())

        sending = asyncio.ensure_future(send_all())
        await ws.wait_closed()
        sending.cancel()

    def publish(self, tree):
        self.tree = tree
        for session, queue in self.clients:
            frame = session.update(tree)
            if frame is not None:
                queue.put_nowait(frame)


class Workers:
    """The client processes and what they report."""

    def __init__(self):
        self.procs, self.reported, self.done = [], {}, []
        self.changed = asyncio.Event()

    async def start(self, uri, clients, workers, sample, codecs):
        share = [clients // workers + (i < clients % workers) for i in range(workers)]
        first = 0
        for count in share:
            if not count:
                continue
            args = [
                sys.executable,
                str(Path(__file__).resolve()),
                "--worker",
                uri,
                "--count",
                str(count),
                "--sample",
                str(max(0, min(count, sample - first))),
                "--codecs",
                ",".join(codecs),
                "--first",
                str(first),
            ]
            proc = await asyncio.create_subprocess_exec(*args, stdout=asyncio.subprocess.PIPE)
            self.procs.append(proc)
            asyncio.ensure_future(self._listen(proc))
            first += count

    async def _listen(self, proc):
        async for line in proc.stdout:
            word, _, rest = line.decode().partition(" ")
            if word == "rev":
                rev, t = rest.split()
                self.reported.setdefault(int(rev), []).append(float(t))
            elif word == "done":
                self.done.append(json.loads(rest))
            self.changed.set()

    async def wait(self, test):
        deadline = time.monotonic() + STEP_TIMEOUT
        while not test():
            self.changed.clear()
            await asyncio.wait_for(self.changed.wait(), max(0.0, deadline - time.monotonic()))

    async def all_have(self, rev):
        await self.wait(lambda: len(self.reported.get(rev, ())) == len(self.procs))
        return max(self.reported[rev])

    async def finish(self):
        try:
            await self.wait(lambda: len(self.done) == len(self.procs))
        finally:
            for proc in self.procs:
                if proc.returncode is None:
                    proc.kill()
                await proc.wait()


def updates(shape, size, count, seed=1):
    """The page and `count` successive versions, each with about 1% of its props changed."""
    import workloads

    tree = workloads.sized(shape, int(size * MB), seed)
    texts = [workloads.normal(tree)]
    rnd = random.Random(seed + 1)
    while len(texts) < count + 1:
        tree = workloads.change_props(rnd, copy.deepcopy(tree))
        text = workloads.normal(tree)
        if text != texts[-1]:
            texts.append(text)
    return texts


async def run_one(design, trees, clients, args, codecs):
    from websockets.asyncio.server import serve

    from vorlik_stream.websocket import handler

    counted = Counted()
    before = rss_bytes(settle=True)
    if design == "broadcast":
        host = vs.Broadcast("page", queue_bytes=64 * MB)
        host.publish(trees[0])
        serve_connection, publish = handler(host), host.publish
    else:
        baseline = Baseline(trees[0])
        serve_connection, publish = baseline.handler, baseline.publish
    workers = Workers()
    limit = args.updates if design == "broadcast" else args.baseline_updates
    result = {"design": design, "clients": clients}
    # No keepalive pings: the baseline holds the event loop for seconds per update at 1,000
    # clients, and a missed pong would close the connections it is measured on.
    async with serve(
        serve_connection, "127.0.0.1", 0, compression=None, backlog=2048, max_size=2**16, ping_interval=None
    ) as server:
        port = server.sockets[0].getsockname()[1]
        await workers.start(f"ws://127.0.0.1:{port}", clients, min(args.workers, clients), args.sample, codecs)
        await workers.all_have(1)
        result["host_kb_per_client"] = round((rss_bytes() - before) / clients / 1024, 1)
        counted.take()
        published, cpu, shared, reach, diff_calls = {}, [], [], [], []
        started = time.monotonic()
        for n, tree in enumerate(trees[1 : limit + 1], start=2):
            if time.monotonic() - started > args.seconds:
                break
            t0, c0 = time.monotonic(), time.process_time()
            publish(tree)
            last = await workers.all_have(n)
            cpu.append(time.process_time() - c0)
            published[n] = t0
            calls, inside = counted.take()
            shared.append(inside)
            diff_calls.append(calls["diff"])
            reach.append(last - t0)
    counted.restore()
    await workers.finish()
    latencies = [
        t - published[int(rev)]
        for report in workers.done
        for rev, times in report["applied"].items()
        if int(rev) in published
        for t in times
    ]
    ms = 1000
    result.update(
        {
            "updates": len(cpu),
            "diff_calls_per_update": statistics.mean(diff_calls),
            "host_cpu_ms_per_update": statistics.median(cpu) * ms,
            "shared_ms_per_update": statistics.median(shared) * ms,
            "per_client_us_per_update": statistics.median(c - s for c, s in zip(cpu, shared)) / clients * 1e6,
            "publish_to_last_client_ms": statistics.median(reach) * ms,
            "applied_p50_ms": statistics.median(latencies) * ms if latencies else None,
            "applied_p99_ms": _percentile(latencies, 0.99) * ms if latencies else None,
        }
    )
    return result


def _percentile(values, q):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(q * len(ordered)))]


def one_diff_and_frame_ms(trees, codecs, rounds=7):
    """Median CPU time of one diff and one patch frame per codec, alone, after a first call that
    pages the memory in (as the host's calls are, in a steady process)."""
    times = []
    for _ in range(rounds + 1):
        t = time.process_time()
        patch = vorlik.diff(trees[0], trees[1])
        for codec in codecs:
            vorlik.encode_frame(patch, "page", "patch", 2, codec)
        times.append(time.process_time() - t)
    return statistics.median(times[1:]) * 1000, len(patch.encode())


async def measure(args):
    """One design at one size and number of clients, in this (fresh) process."""
    raise_fd_limit()
    codecs = list(CODECS.values()) if args.codec == "mixed" else [CODECS[args.codec]]
    trees = updates(args.shape, args.size, max(args.updates, args.baseline_updates))
    result = await run_one(args.measure, trees, args.clients[0], args, codecs)
    alone, patch_bytes = one_diff_and_frame_ms(trees, codecs)
    return dict(
        result,
        page_bytes=len(trees[0].encode()),
        patch_bytes=patch_bytes,
        shape=args.shape,
        codecs=codecs,
        one_diff_and_frame_ms=alone,
    )


def measure_apart(args, design, size, clients):
    """`measure` in a process of its own, so that neither design inherits the other's memory."""
    argv = [
        sys.executable,
        str(Path(__file__).resolve()),
        "--measure",
        design,
        "--size",
        str(size),
        "--clients",
        str(clients),
    ]
    for name in ("shape", "codec", "updates", "baseline_updates", "seconds", "workers", "sample"):
        argv += [f"--{name.replace('_', '-')}", str(getattr(args, name))]
    try:
        done = subprocess.run(argv, stdout=subprocess.PIPE, text=True, timeout=STEP_TIMEOUT * 4, check=True)
    except (subprocess.CalledProcessError, subprocess.TimeoutExpired) as e:
        print(f"{design} with {clients} clients at {size} MB not measured: {e}", file=sys.stderr)
        return None
    return json.loads(done.stdout.splitlines()[-1])


def compare(args):
    runs = []
    for size in args.sizes:
        for clients in args.clients:
            b, base = (measure_apart(args, design, size, clients) for design in ("broadcast", "baseline"))
            if b is None or base is None:
                continue
            runs.append(
                dict(
                    b,
                    baseline=base,
                    baseline_host_cpu_ms_per_update=base["host_cpu_ms_per_update"],
                    speedup=base["host_cpu_ms_per_update"] / b["host_cpu_ms_per_update"],
                )
            )
            if not args.json:
                print((_header() + "\n" if len(runs) == 1 else "") + _row(runs[-1]), flush=True)
    return runs


COLUMNS = (
    "page / patch",
    "clients",
    "design",
    "host CPU ms/update",
    "in diff + frames ms",
    "rest per client µs",
    "diff calls",
    "publish → last client ms",
    "applied p50 / p99 ms",
    "host KB/client",
)


def _header():
    return "| " + " | ".join(COLUMNS) + " |\n|" + "---|" * 3 + "---:|" * (len(COLUMNS) - 3)


def _row(run):
    def line(r, design):
        p = "–" if r["applied_p50_ms"] is None else f"{r['applied_p50_ms']:.1f} / {r['applied_p99_ms']:.1f}"
        return (
            f"| {run['page_bytes'] / 1000:,.0f} / {run['patch_bytes'] / 1000:,.1f} KB | {run['clients']} | {design} | {r['host_cpu_ms_per_update']:.1f}"
            f" | {r['shared_ms_per_update']:.2f} | {r['per_client_us_per_update']:.0f} | "
            f"{r['diff_calls_per_update']:g} | {r['publish_to_last_client_ms']:.1f} | {p} | "
            f"{r['host_kb_per_client']:.0f} |"
        )

    return (
        line(run, "broadcast")
        + "\n"
        + line(run["baseline"], "one session each")
        + f"\n| | | ratio | {run['speedup']:.0f}× | | | | | | |"
    )


def parse_args(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--clients", type=lambda s: [int(x) for x in s.split(",")], default=[10, 100, 1000])
    parser.add_argument(
        "--sizes", type=lambda s: [float(x) for x in s.split(",")], default=[0.1, 1.0], help="page sizes in MB"
    )
    parser.add_argument("--shape", default="cards")
    parser.add_argument("--codec", choices=("json", "msgpack", "mixed"), default="json")
    parser.add_argument("--updates", type=int, default=20)
    parser.add_argument("--baseline-updates", type=int, default=4)
    parser.add_argument("--seconds", type=float, default=60, help="time limit of each run's updates")
    parser.add_argument("--workers", type=int, default=2, help="client processes")
    parser.add_argument("--sample", type=int, default=10, help="clients that apply their frames")
    parser.add_argument("--json", action="store_true", help="print one JSON object")
    parser.add_argument("--out", type=Path, default=Path("build/bench"))
    parser.add_argument("--worker", metavar="URI", help=argparse.SUPPRESS)
    parser.add_argument("--count", type=int, help=argparse.SUPPRESS)
    parser.add_argument("--codecs", help=argparse.SUPPRESS)
    parser.add_argument("--first", type=int, default=0, help=argparse.SUPPRESS)
    parser.add_argument("--measure", choices=("broadcast", "baseline"), help=argparse.SUPPRESS)
    parser.add_argument("--size", type=float, help=argparse.SUPPRESS)
    return parser.parse_args(argv)


def main(argv=None):
    args = parse_args(argv)
    if args.worker:
        asyncio.run(worker(args.worker, args.count, args.sample, args.codecs.split(","), args.first))
        return
    if args.measure:
        print(json.dumps(asyncio.run(measure(args))))
        return
    runs = compare(args)
    top = max(runs, key=lambda r: (r["page_bytes"], r["clients"]))
    summary = dict(top, runs=runs, load_average=os.getloadavg(), cpus=os.cpu_count())
    if args.json:
        print(json.dumps(summary))
        return
    args.out.mkdir(parents=True, exist_ok=True)
    (args.out / "serve.json").write_text(json.dumps(summary, indent=1))
    table = _header() + "\n" + "\n".join(_row(r) for r in runs)
    (args.out / "serve.md").write_text(table + "\n")
    print(f"load average {os.getloadavg()[0]:.1f} on {os.cpu_count()} cores; written to {args.out}/serve.md")


if __name__ == "__main__":
    main()
