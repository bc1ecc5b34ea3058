"""The Python half of driver.mjs: calls the WebAssembly module's JavaScript face in a Node
process, for the differential tests and the benchmark. Standard library only."""

from __future__ import annotations

import base64
import json
import shutil
import subprocess
from pathlib import Path
from typing import Any

HERE = Path(__file__).resolve().parent
CLIENT = HERE.parent / "build" / "wasm" / "client"

# The face's names of the module's functions.
NAMES = {
    "diff": "diff",
    "apply": "apply",
    "encode_frame": "encodeFrame",
    "decode_frame": "decodeFrame",
    "parse_cem": "parseCem",
}

Outcome = tuple[str, Any]  # ("ok", result) or (error name, message)


def _encode(arg: object) -> object:
    if isinstance(arg, bytes):
        return {"bytes": base64.b64encode(arg).decode()}
    if isinstance(arg, int) and not isinstance(arg, bool):
        return {"bigint": str(arg)}
    return arg


def _decode(value: Any) -> Any:
    return base64.b64decode(value["bytes"]) if isinstance(value, dict) else value


class Driver:
    """One Node process running driver.mjs on the client in `client` (build/wasm/client by
    default). Texts go as str, frames as bytes and `rev` as int, as to the Python module."""

    def __init__(self, client: Path = CLIENT, node: str | None = None) -> None:
        node = node or shutil.which("node")
        if node is None:
            raise FileNotFoundError("node is not installed")
        if not (client / "vorlik.wasm").is_file():
            raise FileNotFoundError(f"no WebAssembly build in {client}: run `make wasm`")
        self._process = subprocess.Popen(
            [node, str(HERE / "driver.mjs"), (client / "vorlik.mjs").as_uri()],
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            text=True,
            encoding="utf-8",
        )

    def _ask(self, request: dict[str, object]) -> Outcome:
        assert self._process.stdin and self._process.stdout
        self._process.stdin.write(json.dumps(request) + "\n")
        self._process.stdin.flush()
        line = self._process.stdout.readline()
        if not line:
            raise RuntimeError(f"the driver stopped (exit status {self._process.wait()})")
        reply = json.loads(line)
        if "ok" in reply:
            return "ok", _decode(reply["ok"])
        return reply["error"]["name"], reply["error"]["message"]

    def call(self, function: str, *args: object) -> Outcome:
        """The outcome of the module's `function` (the Python module's name) on `args`."""
        return self._ask({"call": NAMES[function], "args": [_encode(a) for a in args]})

    def keep(self, key: str, *args: object) -> None:
        self._ask({"keep": key, "args": [_encode(a) for a in args]})

    def time(self, function: str, key: str, repeat: int) -> list[float]:
        """Seconds taken by each of `repeat` calls of `function` on the arguments kept as `key`."""
        name, value = self._ask({"time": NAMES[function], "kept": key, "repeat": repeat})
        if name != "ok":
            raise RuntimeError(f"{function}: {name}: {value}")
        return [float(seconds) for seconds in value]

    def close(self) -> None:
        if self._process.stdin:
            self._process.stdin.close()
        self._process.wait(timeout=30)

    def __enter__(self) -> Driver:
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()
