"""The README's examples: its Python sessions and its shell sessions give what they show."""

import doctest
import os
import pathlib
import re
import stat
import subprocess
import sys

import pytest

import vorlik
import vorlik_cli
import vorlik_stream

README = pathlib.Path(__file__).resolve().parent.parent / "README.md"
BLOCK = re.compile(r"^```(\w*)\n(.*?)^```", re.S | re.M)
ENV = dict(os.environ, PYTHONPATH=os.pathsep.join(
    [os.path.dirname(os.path.abspath(vorlik.__file__)),
     os.path.dirname(os.path.dirname(os.path.abspath(vorlik_cli.__file__))),
     os.path.dirname(os.path.dirname(os.path.abspath(vorlik_stream.__file__)))]))


def blocks(language):
    return [body for lang, body in BLOCK.findall(README.read_text(encoding="utf-8")) if lang == language]


def test_python_sessions(tmp_path, monkeypatch):
    sessions = blocks("python")
    # A block that is not a session would go unchecked.
    assert sessions and all(b.lstrip().startswith(">>>") for b in sessions)
    monkeypatch.chdir(tmp_path)
    test = doctest.DocTestParser().get_doctest("\n".join(sessions), {}, "README.md", str(README), 0)
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    report = []
    runner.run(test, out=report.append)
    assert runner.failures == 0, "".join(report)


def console_steps():
    """(command, shown output) pairs of the README's shell sessions, in order."""
    for body in blocks("console"):
        command, shown = None, []
        for line in body.splitlines():
            if line.startswith("$ "):
                if command is not None:
                    yield command, shown
                command, shown = line[2:], []
            else:
                shown.append(line)
        if command is not None:
            yield command, shown


def test_shell_sessions(tmp_path):
    steps = list(console_steps())
    assert steps
    # `vorlik` on PATH runs the command under test, installed or not.
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    shim = bin_dir / "vorlik"
    shim.write_text(f'#!/bin/sh\nexec "{sys.executable}" -m vorlik_cli "$@"\n')
    shim.chmod(shim.stat().st_mode | stat.S_IEXEC)
    work = tmp_path / "work"
    work.mkdir()
    env = dict(ENV, PATH=f"{bin_dir}{os.pathsep}{os.environ.get('PATH', '')}")
    for command, shown in steps:
        r = subprocess.run(["bash", "-c", command], cwd=work, env=env, stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, text=True, timeout=60)
        assert r.stdout.splitlines() == shown, command


