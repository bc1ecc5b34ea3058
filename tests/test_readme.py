"""The README's examples: its Python sessions and its shell sessions give what they show."""

import os
import pathlib
import stat
import subprocess
import sys

import pytest
from readme_examples import console_steps, run_python_sessions, run_step

README = pathlib.Path(__file__).resolve().parent.parent / "README.md"
RUNNER = pathlib.Path(__file__).resolve().parent / "readme_examples.py"


def test_python_sessions(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    attempted, failed, report = run_python_sessions(README.read_text(encoding="utf-8"))
    assert attempted and failed == 0, report


def test_shell_sessions(tmp_path):
    steps = list(console_steps(README.read_text(encoding="utf-8")))
    assert steps
    # `vorlik` on PATH runs the command under test, installed or not.
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    shim = bin_dir / "vorlik"
    shim.write_text(f'#!/bin/sh\nexec "{sys.executable}" -m vorlik_cli "$@"\n')
    shim.chmod(shim.stat().st_mode | stat.S_IEXEC)
    work = tmp_path / "work"
    work.mkdir()
    env = dict(os.environ, PATH=f"{bin_dir}{os.pathsep}{os.environ.get('PATH', '')}")
    for command, shown in steps:
        assert run_step(command, work, env) == shown, command


GOOD_PY = "```python\n>>> 1 + 1\n2\n\n```\n"
GOOD_SH = "```console\n$ echo hi\nhi\n```\n"


@pytest.mark.parametrize(
    "text, verdict",
    [
        (GOOD_PY + GOOD_SH, 0),
        (GOOD_PY.replace("2\n", "3\n") + GOOD_SH, 1),
        (GOOD_PY + GOOD_SH.replace("hi\n```", "ho\n```"), 1),
        (GOOD_PY + GOOD_SH + "```console\n$ echo one; echo two >&2\none\n```\n", 1),
        ("```python\n1 + 1\n```\n" + GOOD_SH, 1),
        (GOOD_PY, 1),
        # A session marked for a later Python is left out on earlier ones, and only there.
        (GOOD_PY + "<!-- python 3.99+ -->\n" + GOOD_PY.replace("2\n", "3\n") + GOOD_SH, 0),
        (GOOD_PY + "<!-- python 3.10+ -->\n" + GOOD_PY.replace("2\n", "3\n") + GOOD_SH, 1),
        (GOOD_PY + "<!-- python 3.99+ -->\n\n" + GOOD_PY.replace("2\n", "3\n") + GOOD_SH, 1),
    ],
)
def test_standalone_runner_fails_on_any_difference(tmp_path, text, verdict):
    # The clean-machine check relies on this exit status alone.
    (tmp_path / "README.md").write_text(text, encoding="utf-8")
    r = subprocess.run(
        [sys.executable, str(RUNNER), "README.md"], cwd=tmp_path, capture_output=True, text=True, timeout=60
    )
    assert r.returncode == verdict, r.stdout + r.stderr
