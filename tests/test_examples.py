"""The examples run as documented."""

import os
import pathlib
import subprocess
import sys

import pytest

import vorlik
import vorlik_stream

EXAMPLES = pathlib.Path(__file__).resolve().parent.parent / "examples"
ENV = dict(os.environ, PYTHONPATH=os.pathsep.join(
    [os.path.dirname(os.path.abspath(vorlik.__file__)),
     os.path.dirname(os.path.dirname(os.path.abspath(vorlik_stream.__file__)))]))


def run(script, *args):
    r = subprocess.run([sys.executable, str(EXAMPLES / script), *args], capture_output=True, text=True,
                       env=ENV, timeout=120)
    assert r.returncode == 0, r.stderr
    return r.stdout


@pytest.mark.parametrize("codec", ["json", "msgpack"])
def test_socket_demo(codec):
    out = run("socket_demo.py", "--codec", codec, "--forget-at", "2")
    assert "host: listening on 127.0.0.1:" in out
    assert "patch to revision 3 but no snapshot held: asking for a snapshot" in out
    assert "resynchronise: snapshot frame" in out
    assert out.rstrip().endswith("client: tree equals the host's after every frame, up to rev 8"), out


def test_demo():
    assert run("demo.py").count("client tree matches the host after every step") == 1
