"""The `vorlik` command, driven as a user would: as a subprocess."""

import json
import os
import shutil
import subprocess
import sys

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import vorlik
from vorlik_cli.pretty import indent

OLD = '{"tag":"ul","props":{"x":{"Float":1e-6}},"slots":{"items":[{"tag":"li","key":"a"},{"tag":"li","key":"b"}]}}'
NEW = '{"tag":"ul","props":{"x":{"Float":1e16}},"slots":{"items":[{"tag":"li","key":"b"},{"tag":"li","key":"a"}]}}'
MANIFEST = (
    '{"modules":[{"declarations":[{"customElement":true,"tagName":"my-button",'
    '"attributes":[{"name":"size","type":{"text":"number"},"default":"3"}]}]}]}'
)


def vorlik_cmd(*args, stdin=b"", cwd=None):
    return subprocess.run(
        [sys.executable, "-m", "vorlik_cli", *map(str, args)], input=stdin, capture_output=True, cwd=cwd, timeout=60
    )


def ok(*args, stdin=b"", cwd=None):
    r = vorlik_cmd(*args, stdin=stdin, cwd=cwd)
    assert (r.returncode, r.stderr) == (0, b"")
    return r.stdout


@pytest.fixture
def files(tmp_path):
    for name, text in dict(old=OLD, new=NEW, patch=vorlik.diff(OLD, NEW), manifest=MANIFEST).items():
        (tmp_path / f"{name}.json").write_text(text)
    return tmp_path


@pytest.mark.parametrize(
    "args, expected",
    [
        (("diff", "old.json", "new.json"), vorlik.diff(OLD, NEW)),
        (("apply", "old.json", "patch.json"), vorlik.apply(OLD, vorlik.diff(OLD, NEW))),
        (("cem", "manifest.json"), vorlik.parse_cem(MANIFEST)),
    ],
)
def test_commands_print_what_the_module_returns(files, args, expected):
    assert ok(*args, cwd=files) == expected.encode() + b"\n"
    # The same input on standard input, in either position.
    for i in range(1, len(args)):
        piped = args[:i] + ("-",) + args[i + 1 :]
        assert ok(*piped, stdin=(files / args[i]).read_bytes(), cwd=files) == expected.encode() + b"\n"
    pretty = ok(*args, "--pretty", cwd=files).decode()
    assert "\n  " in pretty and json.loads(pretty) == json.loads(expected)


@settings(max_examples=200, deadline=None)
@given(
    st.recursive(
        st.none() | st.booleans() | st.integers() | st.floats(allow_nan=False) | st.text(),
        lambda inner: st.lists(inner, max_size=4) | st.dictionaries(st.text(), inner, max_size=4),
    )
)
def test_indent_keeps_every_token(value):
    compact = json.dumps(value, separators=(",", ":"))
    assert json.loads(indent(compact)) == value
    assert json.dumps(json.loads(indent(compact)), separators=(",", ":")) == compact


def test_frames_round_trip_through_files_and_pipes(files):
    ok(
        "frame",
        "encode",
        "--kind",
        "snapshot",
        "--rev",
        2**64 - 1,
        "--model-type",
        "page",
        "--codec",
        "msgpack",
        "new.json",
        "-o",
        "snap.bin",
        cwd=files,
    )
    patch = ok(
        "frame",
        "encode",
        "--kind",
        "patch",
        "--rev",
        0,
        "--model-type",
        "",
        "--codec",
        "json",
        stdin=(files / "patch.json").read_bytes(),
        cwd=files,
    )
    snap = (files / "snap.bin").read_bytes()
    assert snap == vorlik.encode_frame(NEW, "page", "snapshot", 2**64 - 1, "application/msgpack")
    assert patch == vorlik.encode_frame(vorlik.diff(OLD, NEW), "", "patch", 0, "application/json")
    stream = snap + patch + snap
    lines = ok("frame", "decode", stdin=stream).decode().splitlines()
    assert lines == [vorlik.decode_frame(f) for f in (snap, patch, snap)]
    (files / "stream.bin").write_bytes(stream)
    assert ok("frame", "decode", "stream.bin", cwd=files).decode().splitlines() == lines
    pretty = ok("frame", "decode", "--pretty", "stream.bin", cwd=files).decode()
    assert pretty.count('\n  "kind": ') == 3
    assert ok("frame", "decode", stdin=b"") == b""


@pytest.mark.parametrize(
    "args, stdin, message",
    [
        (("diff", "-", "new.json"), b"", "EOF while parsing a value at line 1 column 0"),
        (("diff", "-", "new.json"), b'{"tag":1}', "invalid type: integer `1`, expected a string at line 1 column 8"),
        (
            ("apply", "old.json", "-"),
            b'{"ops":[{"RemoveChild":{"path":[],"slot":"items","index":5}}]}',
            "removal index (is 5) should be < len (is 2)",
        ),
        (("cem", "-"), b"[", "EOF while parsing a list at line 1 column 1"),
        (("diff", "missing.json", "new.json"), b"", "cannot read missing.json: No such file or directory"),
        (("cem", "-"), b'{"modules":[]}\xff', "standard input is not UTF-8 text: invalid byte at offset 14"),
        (("frame", "decode"), b"\0\0\0\2{}", "truncated frame: the stream ended 6 bytes into a frame"),
        (("frame", "decode"), b"\0\0\0\1x\0\0\0\0", "bad frame header: expected value at line 1 column 1"),
        (
            ("frame", "encode", "--kind", "patch", "--rev", 1, "--model-type", "m", "--codec", "msgpack"),
            b"[1,2",
            "EOF while parsing a list at line 1 column 4",
        ),
    ],
)
def test_bad_input_exits_1_with_the_message(files, args, stdin, message):
    r = vorlik_cmd(*args, stdin=stdin, cwd=files)
    assert (r.returncode, r.stderr.decode(), r.stdout) == (1, message + "\n", b"")


def test_decode_prints_the_whole_frames_before_a_bad_one():
    good = vorlik.encode_frame("{}", "m", "snapshot", 1, "application/json")
    bad = vorlik.encode_frame("not json", "m", "patch", 2, "application/json")
    r = vorlik_cmd("frame", "decode", stdin=good + bad + good)
    assert r.returncode == 1 and r.stdout.decode() == vorlik.decode_frame(good) + "\n"
    assert r.stderr.decode() == "expected ident at line 1 column 2\n"
    r = vorlik_cmd("frame", "decode", stdin=good + good[:-1])
    assert r.stdout.decode() == vorlik.decode_frame(good) + "\n"
    assert (r.returncode, r.stderr) == (
        1,
        f"truncated frame: the stream ended {len(good) - 1} bytes into a frame\n".encode(),
    )
    r = vorlik_cmd("frame", "decode", "--max-frame", len(good) - 1, stdin=good)
    assert (r.returncode, r.stderr) == (
        1,
        f"frame of at least {len(good)} bytes exceeds the limit of {len(good) - 1} bytes\n".encode(),
    )


ENCODE = ("frame", "encode", "--kind", "patch", "--rev", "1", "--model-type", "m", "--codec", "json")


@pytest.mark.parametrize(
    "args, complaint",
    [
        ((), "the following arguments are required: COMMAND"),
        (("diff", "old.json"), "the following arguments are required: NEW"),
        (("diff", "-", "-"), "standard input (-) can be given only once"),
        (("frame",), "the following arguments are required: ACTION"),
        (("frame", "encode", "--kind", "patch"), "the following arguments are required: --rev, --model-type, --codec"),
        (ENCODE[:3] + ("Patch",) + ENCODE[4:], "argument --kind: invalid choice: 'Patch'"),
        (ENCODE[:5] + ("-1",) + ENCODE[6:], "argument --rev: must be 0 to 18446744073709551615: -1"),
        (ENCODE[:5] + (str(2**64),) + ENCODE[6:], "argument --rev: must be 0 to 18446744073709551615"),
        (ENCODE[:5] + ("1.0",) + ENCODE[6:], "argument --rev: not a whole number: '1.0'"),
        (ENCODE[:-1] + ("text/plain",), "argument --codec: invalid choice: 'text/plain'"),
        (("frame", "decode", "--max-frame", "4"), "argument --max-frame: must be a whole number of at least 8"),
        (("cem", "a", "b"), "unrecognized arguments: b"),
    ],
)
def test_bad_usage_exits_2(args, complaint):
    r = vorlik_cmd(*args)
    assert r.returncode == 2 and r.stdout == b""
    assert complaint in r.stderr.decode() and r.stderr.startswith(b"usage: vorlik")


@pytest.mark.parametrize(
    "args", [(), ("diff",), ("apply",), ("cem",), ("frame",), ("frame", "encode"), ("frame", "decode")]
)
def test_help(args):
    out = ok(*args, "--help").decode()
    assert out.startswith("usage: vorlik " + " ".join(args)) and "--help" in out


def test_console_script_when_installed(files):
    script = shutil.which("vorlik", path=os.path.dirname(sys.executable))
    if script is None:
        pytest.skip("vorlik is not installed in this interpreter's environment")
    r = subprocess.run([script, "diff", "old.json", "new.json"], capture_output=True, cwd=files, timeout=60)
    assert (r.returncode, r.stdout) == (0, vorlik.diff(OLD, NEW).encode() + b"\n")
