"""Host and client in two processes, talking frames over a loopback socket: one command.

    python examples/socket_demo.py [--codec json|msgpack] [--forget-at N]

Starts examples/socket_host.py, connects examples/socket_client.py's client to it and exits
with an error if either side failed.
"""

import argparse
import pathlib
import subprocess
import sys
import threading

import socket_client

HERE = pathlib.Path(__file__).resolve().parent


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--codec", choices=("json", "msgpack"), default="json")
    parser.add_argument(
        "--forget-at", type=int, default=3, metavar="N", help="step before which the client drops its tree (default 3)"
    )
    args = parser.parse_args()

    host = subprocess.Popen(
        [sys.executable, str(HERE / "socket_host.py"), "--codec", args.codec], stdout=subprocess.PIPE, text=True
    )
    try:
        first = host.stdout.readline()
        print(first, end="", flush=True)
        port = int(first.rsplit(":", 1)[1])
        echo = threading.Thread(target=lambda: [print(line, end="", flush=True) for line in host.stdout])
        echo.start()
        rev = socket_client.run(port, args.forget_at)
        host.wait(timeout=30)
        echo.join()  # the host's last lines come before the verdict
    finally:
        if host.poll() is None:
            host.kill()
            host.wait()
    if host.returncode:
        sys.exit(f"the host failed with exit code {host.returncode}")
    socket_client.report(rev)


if __name__ == "__main__":
    main()
