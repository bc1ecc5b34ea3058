"""The DOM client in a real browser: the web demo in headless Chromium, driven by Selenium.

Two tabs on one host (run in this process): typing, adding, sorting, editing, a keyed move
under a focused input, a filter of one tab's own, the connection dropped and restored, a
malformed frame; after each step every tab holds the host's tree and its page equals a fresh
render of it (the client's check mode, on for the whole run). Then a list of 1,000 rows: the
DOM moves of keyed reorders (counted by a MutationObserver) and the time per frame.

    python wasm/test/web_demo_browser.py [--frames N] [--screenshots DIR] [--json]

Needs Debian's chromium and chromium-driver, and Selenium (pip); exits 1 on any failure.
`--frames` frames are timed per kind of update (5 by default; scripts/browser-check.sh --full
times 40); `--screenshots` writes the README's pictures into DIR.
"""

from __future__ import annotations

import argparse
import asyncio
import json
import random
import statistics
import sys
import threading
import time
from collections.abc import Callable, Coroutine
from pathlib import Path
from typing import Any, TypeVar

from selenium import webdriver
from selenium.common.exceptions import TimeoutException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.remote.webdriver import WebDriver
from selenium.webdriver.support.ui import WebDriverWait

import vorlik

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "examples"))
from web_demo import TEXTS, SharedList, start  # noqa: E402

T = TypeVar("T")
NO_OPS = '{"ops":[]}'
WAIT = 20.0


class Host:
    """The demo's host on its own event loop, in a thread of this process."""

    def __init__(self, texts: list[str]) -> None:
        self.loop = asyncio.new_event_loop()
        self.thread = threading.Thread(target=self.loop.run_forever, daemon=True)
        self.thread.start()
        self.app: SharedList = self.call(lambda: SharedList(texts))
        self.port = 0
        self.open()

    def run(self, work: Coroutine[Any, Any, T]) -> T:
        return asyncio.run_coroutine_threadsafe(work, self.loop).result(WAIT)

    def call(self, fn: Callable[[], T]) -> T:
        async def call() -> T:
            return fn()

        return self.run(call())

    def change(self, fn: Callable[[SharedList], object]) -> None:
        """Changes the application's state on the host's loop and publishes it."""
        self.call(lambda: (fn(self.app), self.app.publish()))

    def open(self) -> None:
        self.server = self.run(start(self.app, self.port))
        self.port = self.server.sockets[0].getsockname()[1]

    def close(self) -> None:
        async def close() -> None:
            self.server.close()
            await self.server.wait_closed()

        self.run(close())

    def send_to_all(self, data: bytes) -> int:
        async def send() -> int:
            connections = list(self.server.connections)
            for connection in connections:
                await connection.send(data)
            return len(connections)

        return self.run(send())

    def state(self) -> tuple[int, str]:
        """The broadcast's revision and tree (in normal form), read together on the host's loop."""
        rev, tree = self.call(lambda: (self.app.broadcast.rev, self.app.broadcast.tree))
        return rev, vorlik.apply(tree, NO_OPS)

    @property
    def rev(self) -> int:
        return self.call(lambda: self.app.broadcast.rev)

    def stop(self) -> None:
        self.close()
        self.loop.call_soon_threadsafe(self.loop.stop)
        self.thread.join(5)


class Tab:
    """One browser tab showing the demo."""

    def __init__(self, driver: WebDriver, handle: str) -> None:
        self.driver = driver
        self.handle = handle

    def js(self, script: str, *args: object) -> Any:
        self.driver.switch_to.window(self.handle)
        return self.driver.execute_script(script, *args)

    def find(self, css: str) -> Any:
        self.driver.switch_to.window(self.handle)
        return self.driver.find_element(By.CSS_SELECTOR, css)

    def until(self, script: str, what: str, timeout: float = WAIT) -> Any:
        self.driver.switch_to.window(self.handle)
        try:
            return WebDriverWait(self.driver, timeout, poll_frequency=0.05).until(lambda d: d.execute_script(script))
        except TimeoutException:
            raise AssertionError(f"timed out waiting for {what}; client stats: {self.stats()}") from None

    def stats(self) -> Any:
        return self.driver.execute_script(
            "return window.vorlikClient && {...window.vorlikClient.stats, "
            "lastError: String(window.vorlikClient.stats.lastError), "
            "moves: window.vorlikClient.moves}"
        )

    def synced(self, host: Host, what: str, check: bool = True, after: int | None = None) -> None:
        """Waits until this tab holds the host's tree, and with `after` until the host has passed
        that revision (a click's message reaches the host some time after the click); then its
        page must equal a fresh render. The host's revision is read again on every poll: tabs
        connecting or leaving publish revisions of their own."""
        deadline = time.monotonic() + WAIT
        while True:
            rev, tree = host.state()
            held = self.js("return window.vorlikClient?.rev == null ? null : String(window.vorlikClient.rev)")
            if (after is None or rev > after) and held == str(rev):
                mine = self.js("return window.vorlikClient.tree")
                if host.state()[0] == rev:
                    break
            if time.monotonic() > deadline:
                raise AssertionError(
                    f"timed out waiting for {what}: the host at revision {rev}, the tab at {held}; "
                    f"client stats: {self.stats()}"
                )
            time.sleep(0.05)
        if mine != tree:
            patch = vorlik.diff(mine, tree)
            raise AssertionError(f"{what}: at revision {rev} the tab's tree differs from the host's by {patch[:400]}")
        if not check:
            return
        problem = self.js("return window.vorlikClient.check()")
        assert problem is None, f"{what}: {problem}"
        stats = self.stats()
        assert stats["checkFailures"] == 0, f"{what}: {stats}"

    def rows(self) -> list[str]:
        return self.js(
            "return [...document.querySelectorAll('#items > li')].map((li) => li.querySelector('.text').value)"
        )

    def moves(self) -> int:
        return int(self.js("return window.vorlikClient.moves.moves"))


def open_tab(driver: WebDriver, url: str, new: bool) -> Tab:
    if new:
        driver.switch_to.new_window("tab")
    driver.get(url)
    tab = Tab(driver, driver.current_window_handle)
    tab.until(
        "return document.getElementById('app')?.dataset.vorlikStatus === 'open' && window.vorlikClient?.tree !== null",
        "the first tree",
    )
    return tab


def reorder(change: Callable[[list[str]], object]) -> Callable[[SharedList], None]:
    """A change of the list's order by the host (shown in that order)."""

    def do(app: SharedList) -> None:
        change(app.order)
        app.sort, app.reverse = "manual", False

    return do


def replace(texts: list[str]) -> Callable[[SharedList], None]:
    def do(app: SharedList) -> None:
        app.items.clear()
        app.order.clear()
        for text in texts:
            app.add(text)

    return do


def check(condition: bool, message: str) -> None:
    if not condition:
        raise AssertionError(message)


# ---- the steps


def interact(driver: WebDriver, host: Host, url: str, shots: Path | None) -> dict[str, object]:
    a = open_tab(driver, url, new=False)
    a.synced(host, "first load")
    texts = sorted(TEXTS, key=str.casefold)

    # type into the draft (a two-way binding) and add with Enter (a form's submit handler)
    a.find("#draft").send_keys("Pears", Keys.ENTER)
    a.until("return [...document.querySelectorAll('#items .text')].some((i) => i.value === 'Pears')", "the new row")
    a.synced(host, "add")
    check(a.find("#draft").get_attribute("value") == "", "the draft is cleared through its field")
    check(a.find("#draft").get_attribute("placeholder") == "Added \u201cPears\u201d", "a set with concat")

    b = open_tab(driver, url, new=True)
    b.synced(host, "second tab")
    a.synced(host, "second tab, seen from the first")
    check("2 tabs open" in a.find("#summary").text, "both tabs are counted")

    # sort in B: A reorders by keyed moves
    before, rev = a.moves(), host.rev
    b.find("#items").find_element(By.XPATH, "//button[text()='A\u2013Z']").click()
    a.synced(host, "sort", after=rev)
    check(a.rows() == sorted(texts + ["Pears"], key=str.casefold), f"sorted rows in A: {a.rows()}")
    sort_moves = a.moves() - before

    # A types into a row without committing; B moves that row to the top: A keeps focus and text
    rev = host.rev
    b.find("#items").find_element(By.XPATH, "//button[text()='Manual']").click()
    a.synced(host, "manual order", after=rev)
    last = a.find("#items > li:last-child .text")
    last.click()
    last.send_keys(Keys.END, " (edited)")
    a.js("window.__typedInto = document.activeElement; window.__typedInto.setSelectionRange(2, 4)")
    before, rev = a.moves(), host.rev
    b.find("#items > li:last-child button[title='Move to the top']").click()
    a.synced(host, "move to the top under a focused input", after=rev)
    kept = a.js(
        "const i = window.__typedInto; return [document.activeElement === i, i.value, i.selectionStart, "
        "i.selectionEnd, document.querySelector('#items > li .text') === i]"
    )
    check(
        kept[0] and kept[1].endswith(" (edited)") and kept[2:] == [2, 4, True],
        f"focus, text and selection kept: {kept}",
    )
    check(a.moves() - before == 1, f"one DOM move for last to first, not {a.moves() - before}")
    # Enter commits the edit (a patch message); B shows it
    a.find("#items > li:first-child .text").send_keys(Keys.ENTER)
    b.until("return document.querySelector('#items > li .text').value.endsWith(' (edited)')", "the edit in B")
    b.synced(host, "edit")

    # tick a row off in A (a check box's change sends the event's value)
    a.find("#items > li:nth-child(2) input[type=checkbox]").click()
    b.until("return document.querySelector('#items > li:nth-child(2)').className === 'done'", "done in B")
    # B filters its own rows (a compute hook on a one-way binding): A is untouched
    b.find("#filter").send_keys("e")
    hidden_b = b.js("return [...document.querySelectorAll('#items > li')].filter((li) => li.hidden).length")
    hidden_a = a.js("return [...document.querySelectorAll('#items > li')].filter((li) => li.hidden).length")
    check(hidden_b > 0 and hidden_a == 0, f"the filter is B's own: {hidden_b} hidden in B, {hidden_a} in A")
    # the stats call (fetch, its answer in a field shown through a compute hook), help toggle
    a.find("#items").find_element(By.XPATH, "//button[text()='Stats']").click()
    a.until("return document.getElementById('stats').value.includes('revision')", "the stats call")
    a.find("#items").find_element(By.XPATH, "//button[text()='?']").click()
    check(a.js("return document.getElementById('help').hidden") is False, "toggle on a component by id")
    a.find("#items").find_element(By.XPATH, "//button[text()='?']").click()
    a.synced(host, "local changes")

    if shots is not None:
        shots.mkdir(parents=True, exist_ok=True)
        a.js("document.activeElement.blur(); window.scrollTo(0, 0)")
        a.driver.save_screenshot(str(shots / "web-demo-tab1.png"))
        b.js("document.activeElement.blur(); window.scrollTo(0, 0)")
        b.driver.save_screenshot(str(shots / "web-demo-tab2.png"))

    # the host goes away; changes meanwhile; back: both tabs resume with the patches they missed
    snapshots = [a.stats()["snapshots"], b.stats()["snapshots"]]
    host.close()
    for tab in (a, b):
        tab.until("return document.getElementById('app').dataset.vorlikStatus !== 'open'", "the drop")
    host.change(lambda app: app.add("Added while away"))
    host.change(reorder(lambda order: order.reverse()))
    host.open()
    for tab in (a, b):
        tab.until("return document.getElementById('app').dataset.vorlikStatus === 'open'", "the reconnection")
        tab.synced(host, "after the reconnection")
    check([a.stats()["snapshots"], b.stats()["snapshots"]] == snapshots, "resumed with patches, no snapshot")

    # a malformed frame: shown as an error, the tab asks for a snapshot and stays usable
    errors = a.stats()["errors"]
    check(host.send_to_all(b"\x00\x00\x00\x02{}\x00") == 2, "both tabs connected")
    a.until("return !document.getElementById('error').hidden", "the error shown")
    shown = a.find("#error-text").text
    check(shown.startswith("VorlikError: ") and a.stats()["errors"] > errors, f"error shown: {shown!r}")
    a.synced(host, "after the malformed frame")
    rev = host.rev
    a.find("#items").find_element(By.XPATH, "//button[text()='Shuffle']").click()
    a.synced(host, "usable after the malformed frame", after=rev)
    b.synced(host, "B after the malformed frame")
    b.driver.close()  # the big list is timed in one tab
    a.synced(host, "one tab left")
    return {"sort_moves": sort_moves, "error_shown": shown}


def big_list(host: Host, tab: Tab, rows: int, frames: int) -> dict[str, object]:
    """A list of `rows` rows: DOM moves of keyed reorders and the time per frame."""
    host.change(replace([f"Row {i:04d}" for i in range(rows)]))
    tab.synced(host, "the big list")
    tab.js("""
      const client = window.vorlikClient, receive = client.receive.bind(client);
      window.__frames = [];
      window.__moved = 0;
      new MutationObserver((records) => {
        for (const r of records) for (const n of r.addedNodes) if (n.isConnected && window.__known.has(n)) window.__moved += 1;
        for (const li of document.querySelectorAll('#items > li')) window.__known.add(li);
      }).observe(document.getElementById('items'), { childList: true });
      window.__known = new Set(document.querySelectorAll('#items > li'));
      client.receive = (frame, options) => {
        const started = performance.now();
        const kind = receive(frame, options);
        document.body.offsetHeight; // style and layout of the change
        window.__frames.push([client.stats.lastFrameMs, performance.now() - started, client.stats.lastTreeMs]);
        return kind;
      };
      client.checking = false;
    """)
    rng = random.Random(28)

    def step(
        change: Callable[[list[str]], None] | None, text_edit: bool = False
    ) -> tuple[int, int, float, float, float]:
        before_moves, before_observed = tab.moves(), tab.js("return window.__moved")
        count = tab.js("return window.__frames.length")
        if text_edit:
            host.change(lambda app: setattr(app.items[app.order[rows // 2]], "text", f"edited {rng.random():.6f}"))
        else:
            host.change(reorder(change))
        tab.until(f"return window.__frames.length > {count}", "a timed frame")
        tab.synced(host, "a timed frame", check=False)
        js_ms, total_ms, tree_ms = tab.js("return window.__frames.at(-1)")
        return tab.moves() - before_moves, tab.js("return window.__moved") - before_observed, js_ms, total_ms, tree_ms

    def first_to_last(order: list[str]) -> None:
        order.append(order.pop(0))

    def random_moves(order: list[str]) -> None:
        for _ in range(10):
            order.insert(rng.randrange(len(order)), order.pop(rng.randrange(len(order))))

    kinds: dict[str, Callable[[list[str]], None] | None] = {
        "first to last": first_to_last,
        "last to first": lambda order: order.insert(0, order.pop()),
        "reversal": lambda order: order.reverse(),
        "10 random moves": random_moves,
        "edit one row's text": None,
    }
    result: dict[str, object] = {}
    for name, change in kinds.items():
        samples = [step(change, text_edit=change is None) for _ in range(frames)]
        moves = [s[0] for s in samples]
        observed = [s[1] for s in samples]
        check(moves == observed, f"{name}: the client's count {moves} and the observer's {observed} agree")
        if name in ("first to last", "last to first"):
            check(set(moves) == {1}, f"{name}: {moves} moves")
        if name == "reversal":
            check(set(moves) == {rows - 1}, f"{name}: {moves} moves")
        if name == "10 random moves":
            check(max(moves) <= 10, f"{name}: {moves} moves")
        result[name] = {
            "moves": moves[0] if len(set(moves)) == 1 else moves,
            "client_ms_median": round(statistics.median(s[2] for s in samples), 2),
            "of_which_tree_copy_ms": round(statistics.median(s[4] for s in samples), 2),
            "with_layout_ms_median": round(statistics.median(s[3] for s in samples), 2),
            "with_layout_ms_max": round(max(s[3] for s in samples), 2),
        }
    tab.js("window.vorlikClient.checking = true")
    tab.synced(host, "the big list, checked at the end")
    return result


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--frames", type=int, default=5, help="timed frames per kind of update")
    parser.add_argument("--rows", type=int, default=1000)
    parser.add_argument("--screenshots", type=Path, default=None, help="write the README's pictures here")
    parser.add_argument("--json", action="store_true", help="print the measurements as JSON")
    args = parser.parse_args(argv)
    started = time.monotonic()
    host = Host(TEXTS)
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in (
        "--headless=new",
        "--no-sandbox",
        "--disable-gpu",
        "--disable-dev-shm-usage",
        "--window-size=720,800",
        "--disable-background-timer-throttling",
        "--disable-renderer-backgrounding",
        "--disable-backgrounding-occluded-windows",
    ):
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        driver.set_page_load_timeout(60)
        url = f"http://127.0.0.1:{host.port}/?check"
        measured: dict[str, object] = {"browser": driver.capabilities.get("browserVersion")}
        measured.update(interact(driver, host, url, args.screenshots))
        first = Tab(driver, driver.window_handles[0])
        errors = first.stats()["errors"]
        measured["big list"] = big_list(host, first, args.rows, args.frames)
        check(first.stats()["errors"] == errors, f"errors in the big list: {first.stats()}")
    finally:
        driver.quit()
        host.stop()
    measured["seconds"] = round(time.monotonic() - started, 1)
    print(json.dumps(measured, indent=None if args.json else 2))
    print("browser check of the DOM client: ok")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
