# Runs inside a root, from /check: installs vorlik into a fresh venv with `pip install ARGS...`,
# shows that what imports is what was installed, then runs the README's Python and shell sessions
# and the examples against it. README.md, readme_examples.py and examples/ lie beside it.
#
#   bash /check/run.sh --no-index dist/vorlik-...whl      bash /check/run.sh dist/vorlik-....tar.gz
set -euo pipefail
step() {
  printf '\n$ %s\n' "$*"
  "$@"
}
cd /check
step python3 --version
step python3 -m venv .venv
step .venv/bin/pip install "$@"
step .venv/bin/pip list
step .venv/bin/python -c '
import vorlik, vorlik_cli, vorlik_stream, vorlik_tree
for m in (vorlik, vorlik_cli, vorlik_stream, vorlik_tree):
    assert m.__file__.startswith("/check/.venv/"), m.__file__
    print(m.__name__, m.__file__)
print("vorlik", vorlik.__version__, vorlik.__all__)'
step ls .venv/lib/python3*/site-packages/vorlik-stubs/
export PATH=/check/.venv/bin:$PATH
step command -v vorlik
step python readme_examples.py README.md
step .venv/bin/python examples/socket_demo.py --codec msgpack
step .venv/bin/python examples/socket_demo.py --codec json
step python examples/demo.py
printf '\ninstalled and checked: ok\n'
