"""The JavaScript face of vorlik's core, for a host to serve to its browser clients.

`vorlik.mjs` (an ES module whose `load()` gives `diff`, `apply`, `encodeFrame`, `decodeFrame`
and `parseCem`, byte for byte those of the Python module), `vorlik.wasm` (the core, loaded by
`vorlik.mjs` from beside itself), `vorlik.d.mts` (its TypeScript declarations), and the DOM
client `client.mjs` with the modules it imports from `dom/`::

    folder = vorlik_web.client_dir()
    # serve folder / name under /static/vorlik/, with the type MEDIA_TYPES[name]

The files come with the wheel. A build from source has them only when emscripten built them
first (`make wasm` in a checkout, then `pip install .`).
"""

from pathlib import Path

__all__ = ["DOM_CLIENT", "FILES", "MEDIA_TYPES", "client_dir"]

FILES = ("vorlik.mjs", "vorlik.wasm", "vorlik.d.mts")

# The DOM client, installed beside the core whenever the core is (it imports ./vorlik.mjs).
DOM_CLIENT = ("client.mjs", "dom/check.mjs", "dom/connection.mjs", "dom/handlers.mjs", "dom/order.mjs", "dom/view.mjs")

# The types to serve them with. Browsers run a module script only when it is served as JavaScript,
# and compile a module while it downloads only when it is served as application/wasm; what a
# system's type tables say instead varies (Debian's /etc/mime.types makes .ts a Qt file).
MEDIA_TYPES = {
    "vorlik.mjs": "text/javascript",
    "vorlik.wasm": "application/wasm",
    "vorlik.d.mts": "application/typescript",
    **{name: "text/javascript" for name in DOM_CLIENT},
}

_CLIENT = Path(__file__).resolve().with_name("client")


def client_dir() -> Path:
    """The folder holding the core's files `FILES` and the DOM client's `DOM_CLIENT`.

    Raises:
        FileNotFoundError: this installation has no client files (a build from source on a
            machine without emscripten); the message says how to get them.
    """
    missing = [name for name in FILES if not (_CLIENT / name).is_file()]
    if missing:
        raise FileNotFoundError(
            f"vorlik_web: the WebAssembly client files are not installed ({', '.join(missing)} missing "
            f"from {_CLIENT}): this vorlik was built from source without them. Build them with "
            "`make wasm` in a checkout of vorlik (it installs Debian's emscripten) and reinstall "
            "from it (`pip install .`), or install a wheel built with them."
        )
    return _CLIENT
