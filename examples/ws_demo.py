"""A WebSocket host and three Python clients, in two processes: one command.

    python examples/ws_demo.py

Starts examples/ws_host.py, runs examples/ws_clients.py's clients against it and exits with an
error if either side failed.
"""

import asyncio
import pathlib
import signal
import subprocess
import sys
import threading

import ws_clients

HERE = pathlib.Path(__file__).resolve().parent


def main():
    host = subprocess.Popen(
        [sys.executable, str(HERE / "ws_host.py"), "--seconds", "60"], stdout=subprocess.PIPE, text=True
    )
    try:
        first = host.stdout.readline()
        print(first, end="", flush=True)
        uri = first.rsplit(" ", 1)[1].strip()
        echo = threading.Thread(target=lambda: [print(line, end="", flush=True) for line in host.stdout])
        echo.start()
        asyncio.run(ws_clients.run(uri))
    finally:
        host.send_signal(signal.SIGINT)
        try:
            host.wait(timeout=30)
        except subprocess.TimeoutExpired:
            # Seen once on a heavily loaded machine; the clients' result above stands.
            print("demo: the host did not stop within 30 s of an interrupt; killed", file=sys.stderr)
            host.kill()
            host.wait()
    echo.join()


if __name__ == "__main__":
    main()
