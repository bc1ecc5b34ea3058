"""The examples run as documented."""

import pathlib
import subprocess
import sys

import pytest

EXAMPLES = pathlib.Path(__file__).resolve().parent.parent / "examples"


def run(script, *args):
    r = subprocess.run([sys.executable, str(EXAMPLES / script), *args], capture_output=True, text=True, timeout=120)
    assert r.returncode == 0, r.stderr
    return r.stdout


@pytest.mark.parametrize("codec", ["json", "msgpack"])
def test_socket_demo(codec):
    out = run("socket_demo.py", "--codec", codec, "--forget-at", "2")
    assert "host: listening on 127.0.0.1:" in out
    assert "patch to revision 3 but no snapshot held: asking for a snapshot" in out
    assert "resynchronise: snapshot frame" in out
    assert out.rstrip().endswith("client: tree equals the host's after every frame, up to rev 8"), out


def test_websocket_demo():
    out = run("ws_demo.py")
    assert "host: listening on ws://127.0.0.1:" in out
    assert "host: rev 2 (b done): patch in application/json, patch in application/msgpack, to 3 clients" in out
    assert "client 3: resumed from rev 2 to rev 4 with 2 patch frame(s)" in out
    assert out.rstrip().endswith("clients: all three hold the host's tree at rev 4"), out


def test_demo():
    assert run("demo.py").count("client tree matches the host after every step") == 1
