"""The web demo's host: what clients' messages do to the shared list, the tree it shows (every
handler and expression kind the DOM client runs), and what it serves over HTTP."""

import asyncio
import json
import sys
import urllib.error
import urllib.request
from pathlib import Path

import pytest

pytest.importorskip("websockets")
sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "examples"))
import web_demo  # noqa: E402

import vorlik_web  # noqa: E402
from vorlik_stream.protocol import Event, FieldPatch  # noqa: E402


def texts(app):
    return [item.text for item in app.rows()]


@pytest.mark.parametrize(
    "message, changed, shown",
    [
        (Event("add", {"text": "  Figs  "}), True, ["C", "A", "b", "Figs"]),
        (Event("add", {"text": "x" * 500}), True, ["C", "A", "b", "x" * web_demo.MAX_TEXT]),
        (Event("remove", "i2"), True, ["C", "b"]),
        (Event("top", "i3"), True, ["b", "C", "A"]),
        (FieldPatch("list", "sort", "name"), True, ["A", "b", "C"]),
        (FieldPatch("list", "reverse", True), True, ["b", "A", "C"]),
        (FieldPatch("i1", "text", "Apricots"), True, ["Apricots", "A", "b"]),
        (FieldPatch("i1", "done", True), True, ["C", "A", "b"]),
        # what a client may send but the host does not take: nothing changes
        (Event("add", {"text": "   "}), False, None),
        (Event("add", "Figs"), False, None),
        (Event("add", {"text": 3}), False, None),
        (Event("remove", "i9"), False, None),
        (Event("remove", ["i1"]), False, None),
        (Event("explode", None), False, None),
        (FieldPatch("list", "sort", "price"), False, None),
        (FieldPatch("list", "sort", ["name"]), False, None),
        (FieldPatch("list", "reverse", "yes"), False, None),
        (FieldPatch("i1", "text", ""), False, None),
        (FieldPatch("i1", "done", 1), False, None),
        (FieldPatch("i1", "colour", "red"), False, None),
        (FieldPatch("nobody", "text", "x"), False, None),
    ],
)
def test_messages(message, changed, shown):
    app = web_demo.SharedList(["C", "A", "b"])  # i1, i2, i3
    before = app.tree().to_json()
    rev = app.broadcast.rev
    asyncio.run(app.on_message(None, message))
    assert (app.broadcast.rev != rev) is changed
    assert (app.tree().to_json() != before) is changed
    if shown is not None:
        assert texts(app) == shown


def test_the_tree_runs_every_handler_and_expression_kind():
    text = web_demo.SharedList(["Milk", "Bread"]).tree().to_json()
    kinds = {value for key, value in _pairs(json.loads(text)) if key == "kind"}
    exprs = {value for key, value in _pairs(json.loads(text)) if key == "expr"}
    assert kinds == {"set", "toggle", "set-field", "toggle-field", "seq", "emit", "patch", "if", "call", "js"}
    assert exprs == {"lit", "event", "not", "prop", "field", "obj", "concat"}
    assert {"one-way", "two-way"} <= {value for key, value in _pairs(json.loads(text)) if key == "mode"}


def _pairs(value):
    stack = [value]
    while stack:
        item = stack.pop()
        if isinstance(item, dict):
            yield from item.items()
            stack.extend(item.values())
        elif isinstance(item, list):
            stack.extend(item)


def test_http_serves_the_page_and_client_files_only(tmp_path):
    for name in ("vorlik.mjs", "vorlik.wasm"):
        (tmp_path / name).write_bytes(name.encode())

    async def fetch_all(paths):
        app = web_demo.SharedList(["Milk"])
        async with await web_demo.start(app, core=tmp_path) as server:
            port = server.sockets[0].getsockname()[1]
            return await asyncio.to_thread(lambda: [_get(f"http://127.0.0.1:{port}{path}") for path in paths])

    paths = [
        "/",
        "/vorlik/client.mjs",
        "/vorlik/dom/view.mjs",
        "/vorlik/vorlik.wasm",
        "/api/stats",
        "/vorlik/../README.md",
        "/vorlik/dom/../../README.md",
        "/examples/web_demo.py",
        "/vorlik/dom/",
        "/vorlik/vorlik.d.mts",
    ]
    got = dict(zip(paths, asyncio.run(fetch_all(paths))))
    assert got["/"][:2] == (200, "text/html; charset=utf-8")
    assert got["/vorlik/client.mjs"][:2] == got["/vorlik/dom/view.mjs"][:2] == (200, "text/javascript; charset=utf-8")
    assert got["/vorlik/vorlik.wasm"] == (200, "application/wasm", b"vorlik.wasm")
    assert json.loads(got["/api/stats"][2]) == {"items": 1, "done": 0, "tabs": 0, "revision": 1}
    assert {got[p][0] for p in paths[5:]} == {404}


def test_without_the_core_the_demo_says_how_to_build_it(tmp_path, monkeypatch):
    # Nothing is built behind the user's back: no checkout build and no installed files is an
    # error that names `make wasm`.
    monkeypatch.setattr(web_demo, "ROOT", tmp_path)
    monkeypatch.setattr(vorlik_web, "_CLIENT", tmp_path / "installed")
    with pytest.raises(FileNotFoundError, match="make wasm"):
        web_demo.core_folder()
    built = tmp_path / "build" / "wasm" / "client"
    built.mkdir(parents=True)
    for name in vorlik_web.FILES:
        (built / name).write_text("")
    assert web_demo.core_folder() == built


def _get(url):
    try:
        with urllib.request.urlopen(url, timeout=10) as response:
            return response.status, response.headers["Content-Type"], response.read()
    except urllib.error.HTTPError as error:
        return error.code, error.headers["Content-Type"], b""
