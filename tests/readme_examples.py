"""The README's examples against whatever `vorlik` is importable and on PATH: the Python sessions
through doctest, the shell sessions through bash. Standard library only, so that it also runs
where nothing but the installed wheel is.

    python readme_examples.py README.md     (prints every step; exits 1 if one differs)
"""

import doctest
import pathlib
import re
import subprocess
import sys
import tempfile

# A block that shows what only a later Python does stands just below the comment
# <!-- python 3.11+ -->, and runs only on that version and later ones.
BLOCK = re.compile(r"^(?:<!-- python 3\.(\d+)\+ -->\n)?```(\w*)\n(.*?)^```", re.S | re.M)


def blocks(text, language, minor=sys.version_info[1]):
    """The bodies of the blocks in language that this Python runs, and how many it leaves out."""
    found = [(int(needs or 0), body) for needs, lang, body in BLOCK.findall(text) if lang == language]
    return [body for needs, body in found if needs <= minor], sum(needs > minor for needs, _ in found)


def run_python_sessions(text, name="README.md"):
    """Runs every ```python block as one doctest; returns (examples, failures, report)."""
    sessions, later = blocks(text, "python")
    # A block that is not a session would go unchecked.
    if not sessions or not all(b.lstrip().startswith(">>>") for b in sessions):
        raise ValueError("every python block must be a >>> session")
    test = doctest.DocTestParser().get_doctest("\n".join(sessions), {}, name, name, 0)
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    report = [f"{later} session(s) for a later Python than this one left out\n"] if later else []
    result = runner.run(test, out=report.append)
    return result.attempted, result.failed, "".join(report)


def console_steps(text):
    """(command, shown output lines) of the ```console blocks, in order."""
    for body in blocks(text, "console")[0]:
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


def run_step(command, cwd, env=None):
    """The lines a shell command prints, standard error merged in as a terminal shows it."""
    r = subprocess.run(
        ["bash", "-c", command],
        cwd=cwd,
        env=env,
        stdout=subprocess.PIPE,
        stderr=subprocess.STDOUT,
        text=True,
        timeout=60,
    )
    return r.stdout.splitlines()


def main(argv):
    text = pathlib.Path(argv[1]).read_text(encoding="utf-8")
    attempted, failed, report = run_python_sessions(text, argv[1])
    print(f"python sessions: {attempted - failed} of {attempted} examples as shown")
    bad = failed
    if report:
        print(report, end="")
    steps = list(console_steps(text))
    if not steps:
        raise SystemExit("no shell session found")
    with tempfile.TemporaryDirectory() as work:
        for command, shown in steps:
            got = run_step(command, work)
            print(f"$ {command}", *got, sep="\n")
            if got != shown:
                bad += 1
                print("^ differs from the README, which shows:", *shown, sep="\n")
    print(f"shell sessions: {len(steps)} commands, {'all as shown' if bad == failed else 'some differ'}")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
