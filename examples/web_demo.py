"""A shared list in the browser: one host, every open tab showing the same live list.

The host keeps the list and publishes its component tree (built with vorlik_tree) through one
broadcast; each tab runs the DOM client (wasm/client.mjs), which applies every patch to the page
in place with the WebAssembly core. Items are added, edited, ticked off, removed, moved to the
top, shuffled and sorted by whoever does it, and every tab sees it at once; the filter, the
draft and the compact view belong to each tab (the client's data fields and bindings). The page,
the client and the WebAssembly module are served over HTTP on the same port as the WebSocket
(127.0.0.1 only). `make web-demo` builds what it needs and starts it:

    make web-demo [DEMO_ARGS="--port 8765 --rows N --open"]

Then open http://127.0.0.1:8765/ in two windows (`?check` adds the client's check mode).
"""

from __future__ import annotations

import argparse
import asyncio
import json
import logging
import random
import sys
import webbrowser
from dataclasses import dataclass
from email.utils import formatdate
from pathlib import Path

from websockets.asyncio.server import Server, ServerConnection, serve
from websockets.datastructures import Headers
from websockets.http11 import Request, Response

import vorlik_web
from vorlik_stream import Broadcast
from vorlik_stream.protocol import Event, FieldPatch
from vorlik_stream.websocket import handler
from vorlik_tree import (
    Binding,
    CallEndpoint,
    Concat,
    Emit,
    Field,
    Id,
    If,
    Lit,
    NamedJs,
    Node,
    Not,
    Obj,
    Prop,
    SendPatch,
    Seq,
    SetField,
    SetProp,
    This,
    Toggle,
    ToggleField,
)
from vorlik_tree import Event as EventValue

ROOT = Path(__file__).resolve().parent.parent
PAGE = Path(__file__).resolve().parent / "web" / "index.html"
MODEL = "shared-list"
SORTS = {"manual": "Manual", "name": "A\u2013Z", "done": "Done last"}
MAX_TEXT = 200
MEDIA = {
    ".html": "text/html; charset=utf-8",
    ".mjs": "text/javascript; charset=utf-8",
    ".wasm": "application/wasm",
    ".json": "application/json",
}
logger = logging.getLogger("web_demo")


@dataclass
class Item:
    id: str
    text: str
    done: bool = False


class SharedList:
    """The application: its state, the tree that shows it, and what clients' messages do to it."""

    def __init__(self, texts: list[str], seed: int = 1) -> None:
        self.items: dict[str, Item] = {}
        self.order: list[str] = []  # the manual order
        self.sort = "manual"
        self.reverse = False
        self.tabs = 0
        self.next_id = 1
        self.random = random.Random(seed)
        for text in texts:
            self.add(text)
        self.broadcast = Broadcast(MODEL)
        self.publish()

    def add(self, text: str) -> None:
        item = Item(f"i{self.next_id}", text)
        self.next_id += 1
        self.items[item.id] = item
        self.order.append(item.id)

    def rows(self) -> list[Item]:
        rows = [self.items[i] for i in self.order]
        if self.sort == "name":
            rows.sort(key=lambda item: item.text.casefold())
        elif self.sort == "done":
            rows.sort(key=lambda item: item.done)
        return rows[::-1] if self.reverse else rows

    def publish(self) -> None:
        self.broadcast.publish(self.tree())

    # ---- the view

    def tree(self) -> Node:
        rows = self.rows()
        done = sum(item.done for item in rows)
        add = If(
            Field("draft"),
            Seq(
                [
                    SetProp(Id("draft"), "placeholder", Concat([Lit("Added \u201c"), Field("draft"), Lit("\u201d")])),
                    Emit("add", Obj({"text": Field("draft")})),
                    SetField("draft", Lit("")),
                ]
            ),
            NamedJs("nudge"),
        )
        sort_buttons = [
            Node(
                "button",
                f"sort-{key}",
                props={
                    "textContent": label,
                    "value": key,
                    "type": "button",
                    "className": "on" if key == self.sort else "",
                },
                events={"click": SendPatch("list", "sort", Prop(This(), "value"))},
            )
            for key, label in SORTS.items()
        ]
        tools = sort_buttons + [
            Node(
                "button",
                "reverse",
                props={"textContent": "Reverse", "type": "button", "className": "on" if self.reverse else ""},
                events={"click": SendPatch("list", "reverse", Not(Lit(self.reverse)))},
            ),
            Node(
                "button",
                "shuffle",
                props={"textContent": "Shuffle", "type": "button"},
                events={"click": Emit("shuffle")},
            ),
            Node(
                "button",
                "compact",
                props={"textContent": "Compact", "type": "button"},
                events={"click": ToggleField("compact")},
            ),
            Node(
                "button",
                "stats",
                props={"textContent": "Stats", "type": "button"},
                events={"click": CallEndpoint("GET", "/api/stats", result="stats")},
            ),
            Node(
                "button",
                "help",
                props={"textContent": "?", "type": "button", "title": "What is this?"},
                events={"click": Toggle(Id("help"), "hidden")},
            ),
        ]
        return Node(
            "main",
            props={"className": "app"},
            slots={
                "": [
                    Node(
                        "header",
                        slots={
                            "": [
                                Node("h1", props={"textContent": "Shared list"}),
                                Node(
                                    "p",
                                    "summary",
                                    props={
                                        "id": "summary",
                                        "className": "meta",
                                        "textContent": f"{len(rows)} items, {done} done \u00b7 {self.tabs} "
                                        f"tab{'s' if self.tabs != 1 else ''} open",
                                    },
                                ),
                            ]
                        },
                    ),
                    Node(
                        "aside",
                        "help-text",
                        props={
                            "id": "help",
                            "hidden": True,
                            "textContent": "The list, its order and every edit are shared by all open tabs; the filter, the draft "
                            "and the compact view are this tab's own. Edit an item and press Enter to share it.",
                        },
                    ),
                    Node(
                        "form",
                        "add",
                        props={"className": "add"},
                        events={"submit": add},
                        slots={
                            "": [
                                Node(
                                    "input",
                                    "draft",
                                    props={
                                        "id": "draft",
                                        "placeholder": "New item",
                                        "autocomplete": "off",
                                        "maxLength": MAX_TEXT,
                                    },
                                    bindings={"value": Binding("two-way", "draft")},
                                ),
                                Node("button", props={"textContent": "Add", "type": "submit"}),
                            ]
                        },
                    ),
                    Node(
                        "div",
                        "tools",
                        props={"className": "tools"},
                        slots={
                            "": [
                                Node(
                                    "input",
                                    "filter",
                                    props={"id": "filter", "type": "search", "placeholder": "Filter this tab"},
                                    bindings={"value": Binding("two-way", "filter")},
                                ),
                                *tools,
                            ]
                        },
                    ),
                    Node(
                        "output",
                        "stats-out",
                        props={"id": "stats", "className": "meta"},
                        bindings={"value": Binding("one-way", "stats", compute="statsText")},
                    ),
                    Node(
                        "ul",
                        "items",
                        props={"id": "items"},
                        bindings={
                            "className": Binding(
                                "one-way", "compact", compute={"hook": "when", "then": "compact", "else": ""}
                            )
                        },
                        slots={"": [self.row(item) for item in rows]},
                    ),
                ]
            },
        )

    def row(self, item: Item) -> Node:
        return Node(
            "li",
            item.id,
            props={"className": "done" if item.done else ""},
            bindings={"hidden": Binding("one-way", "filter", compute={"hook": "hides", "text": item.text})},
            slots={
                "": [
                    Node(
                        "input",
                        props={"type": "checkbox", "checked": item.done, "title": "Done"},
                        events={"change": SendPatch(item.id, "done", EventValue())},
                    ),
                    Node(
                        "input",
                        props={"className": "text", "value": item.text, "maxLength": MAX_TEXT},
                        events={"change": SendPatch(item.id, "text", EventValue())},
                    ),
                    Node(
                        "button",
                        props={"textContent": "\u2191", "title": "Move to the top", "value": item.id, "type": "button"},
                        events={"click": Emit("top", Prop(This(), "value"))},
                    ),
                    Node(
                        "button",
                        props={"textContent": "\u2715", "title": "Remove", "type": "button"},
                        events={"click": Emit("remove", Lit(item.id))},
                    ),
                ]
            },
        )

    # ---- what clients ask for

    async def on_message(self, subscriber: object, message: Event | FieldPatch) -> None:
        """A tab's `event` or `patch` message: change the state and publish. Anything malformed
        is ignored: a client never breaks the host."""
        if self.change(message):
            self.publish()
        else:
            logger.info("ignored %r", message)

    def change(self, message: Event | FieldPatch) -> bool:
        if isinstance(message, FieldPatch):
            value = message.value
            if message.model == "list":
                if message.field == "sort" and isinstance(value, str) and value in SORTS:
                    self.sort = value
                    return True
                if message.field == "reverse" and isinstance(value, bool):
                    self.reverse = value
                    return True
                return False
            item = self.items.get(message.model)
            if item is None:
                return False
            if message.field == "text" and isinstance(value, str) and value.strip():
                item.text = value.strip()[:MAX_TEXT]
                return True
            if message.field == "done" and isinstance(value, bool):
                item.done = value
                return True
            return False
        detail = message.detail
        if message.event == "add" and isinstance(detail, dict) and isinstance(detail.get("text"), str):
            text = detail["text"].strip()[:MAX_TEXT]
            if text:
                self.add(text)
            return bool(text)
        if message.event in ("remove", "top") and isinstance(detail, str) and detail in self.items:
            self.order.remove(detail)
            if message.event == "remove":
                del self.items[detail]
            else:
                self.order.insert(0, detail)
                self.sort, self.reverse = "manual", False
            return True
        if message.event == "shuffle":
            self.random.shuffle(self.order)
            self.sort, self.reverse = "manual", False
            return True
        return False

    def stats(self) -> dict[str, object]:
        return {
            "items": len(self.items),
            "done": sum(i.done for i in self.items.values()),
            "tabs": self.tabs,
            "revision": self.broadcast.rev,
        }


# ---- serving


def core_folder() -> Path:
    """The WebAssembly core's files: this checkout's build (`make wasm`), else those installed
    with vorlik (`vorlik_web`). Raises FileNotFoundError saying how to build them."""
    built = ROOT / "build" / "wasm" / "client"
    if all((built / name).is_file() for name in vorlik_web.FILES):
        return built
    return vorlik_web.client_dir()


def client_files(core: Path) -> dict[str, Path]:
    """URL path -> file: the page, the DOM client and the WebAssembly core. Only these paths are
    served."""
    files = {
        "/": PAGE,
        "/vorlik/client.mjs": ROOT / "wasm" / "client.mjs",
        "/vorlik/vorlik.mjs": core / "vorlik.mjs",
        "/vorlik/vorlik.wasm": core / "vorlik.wasm",
    }
    files.update({f"/vorlik/dom/{path.name}": path for path in (ROOT / "wasm" / "dom").glob("*.mjs")})
    return files


def respond(status: int, phrase: str, body: bytes, media: str) -> Response:
    return Response(
        status,
        phrase,
        Headers(
            [
                ("Date", formatdate(usegmt=True)),
                ("Connection", "close"),
                ("Content-Length", str(len(body))),
                ("Content-Type", media),
                ("Cache-Control", "no-store"),
                ("X-Content-Type-Options", "nosniff"),
            ]
        ),
        body,
    )


async def start(app: SharedList, port: int = 0, host: str = "127.0.0.1", core: Path | None = None) -> Server:
    """Serves the page, the client files and `/api/stats` over HTTP, and the broadcast at `/ws`;
    `core` is the folder of the WebAssembly core's files (`core_folder()` by default)."""
    files = client_files(core or core_folder())
    serve_client = handler(app.broadcast, app.on_message)

    async def counted(connection: ServerConnection) -> None:
        app.tabs += 1
        app.publish()
        try:
            await serve_client(connection)
        finally:
            app.tabs -= 1
            app.publish()

    def http(connection: ServerConnection, request: Request) -> Response | None:
        path = request.path.split("?", 1)[0]
        if path == "/ws":
            return None  # the WebSocket handshake goes on
        if path == "/api/stats":
            return respond(200, "OK", json.dumps(app.stats()).encode(), MEDIA[".json"])
        file = files.get(path)
        if file is None:
            return respond(404, "Not Found", b"not found\n", "text/plain; charset=utf-8")
        return respond(200, "OK", file.read_bytes(), MEDIA[file.suffix])

    return await serve(counted, host, port, process_request=http, compression=None)


TEXTS = ["Milk", "Bread", "Cheese", "Apples", "Coffee", "Rice", "Tomatoes", "Olive oil"]


async def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=8765, help="port on 127.0.0.1 (default 8765; 0: any free one)")
    parser.add_argument("--rows", type=int, default=len(TEXTS), help="items to start with")
    parser.add_argument("--open", action="store_true", help="open the page in the default browser")
    args = parser.parse_args()
    logging.basicConfig(level=logging.WARNING, format="%(name)s: %(message)s")
    texts = [TEXTS[i % len(TEXTS)] + (f" {i // len(TEXTS) + 1}" if i >= len(TEXTS) else "") for i in range(args.rows)]
    try:
        core = core_folder()
    except FileNotFoundError as error:
        sys.exit(f"web demo: {error}")
    app = SharedList(texts)
    async with await start(app, args.port, core=core) as server:
        url = f"http://127.0.0.1:{server.sockets[0].getsockname()[1]}/"
        print(f"web demo: open {url} in two windows (Ctrl-C stops)", flush=True)
        if args.open:
            webbrowser.open(url)
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        sys.exit(0)
