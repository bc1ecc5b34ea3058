"""The shipped stubs: mypy accepts correct use, reports misuse, and they match the module."""

import os
import pathlib
import re
import subprocess
import sys

import pytest

import vorlik

ROOT = pathlib.Path(__file__).resolve().parent.parent
SAMPLES = ROOT / "tests" / "typing_samples"
pytest.importorskip("mypy")


def run_mypy(tmp_path_factory, *args):
    env = dict(
        os.environ,
        MYPYPATH=str(ROOT / "stubs"),
        MYPY_CACHE_DIR=str(tmp_path_factory.getbasetemp() / "mypy-cache"),
        PYTHONPATH=os.path.dirname(vorlik.__file__),
    )
    return subprocess.run([sys.executable, "-m", *args], capture_output=True, text=True, env=env, cwd=ROOT, timeout=600)


def test_correct_use_passes_strict_checking(tmp_path_factory):
    done = run_mypy(tmp_path_factory, "mypy", "--strict", "--strict-bytes", str(SAMPLES / "uses.py"))
    assert done.returncode == 0, done.stdout + done.stderr


def test_every_misuse_is_reported(tmp_path_factory):
    sample = SAMPLES / "misuses.py"
    done = run_mypy(tmp_path_factory, "mypy", "--strict", "--strict-bytes", str(sample))
    reported = {int(n) for n in re.findall(r"misuses\.py:(\d+): error", done.stdout)}
    marked = {i for i, line in enumerate(sample.read_text().splitlines(), 1) if "# error" in line}
    assert reported == marked, done.stdout


def test_python_packages_pass_strict_checking(tmp_path_factory):
    done = run_mypy(
        tmp_path_factory,
        "mypy",
        "--strict",
        "--strict-bytes",
        "python/vorlik_stream",
        "python/vorlik_cli",
        "python/vorlik_tree",
        "python/vorlik_web",
        "wasm/driver.py",
    )
    assert done.returncode == 0, done.stdout + done.stderr


def test_stubs_match_the_module(tmp_path_factory):
    done = run_mypy(tmp_path_factory, "mypy.stubtest", "vorlik")
    assert done.returncode == 0, done.stdout + done.stderr


def test_version_is_the_project_version_and_stays_out_of_all():
    declared = re.search(r'^version = "([^"]+)"', (ROOT / "pyproject.toml").read_text(), re.M)
    assert vorlik.__version__ == declared.group(1)
    assert "__version__" not in vorlik.__all__
