"""The JavaScript face in a browser: headless Chromium, driven by Selenium, opens browser.html
from a server on 127.0.0.1, which loads the client files as a page does (vorlik.wasm fetched and
compiled while it downloads, then fetched whole under another type) and runs every conformance
vector through them.

    .venv/bin/python wasm/test/browser.py [CLIENT_DIR [VECTORS]]

Needs Debian's chromium and chromium-driver, and Selenium (pip); exits 1 on any failure."""

import functools
import http.server
import json
import sys
import threading
from pathlib import Path

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.support.ui import WebDriverWait

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent.parent


class Handler(http.server.SimpleHTTPRequestHandler):
    """The test folder, with the client under client/ and again under whole/ (served as plain
    bytes), and the vectors at /vectors.jsonl."""

    client: Path
    vectors: Path

    def translate_path(self, path: str) -> str:
        path = path.split("?", 1)[0]
        for prefix in ("/client/", "/whole/"):
            if path.startswith(prefix):
                return str(self.client / path[len(prefix) :])
        if path == "/vectors.jsonl":
            return str(self.vectors)
        return super().translate_path(path)

    def guess_type(self, path: str) -> str:
        if self.path.startswith("/whole/"):
            return "application/octet-stream"
        return {".mjs": "text/javascript", ".wasm": "application/wasm"}.get(Path(path).suffix) or super().guess_type(
            path
        )

    def log_message(self, format: str, *args: object) -> None:
        pass


def main(argv: list[str]) -> int:
    client = Path(argv[1]) if len(argv) > 1 else ROOT / "build" / "wasm" / "client"
    vectors = Path(argv[2]) if len(argv) > 2 else ROOT.parent / "shared" / "conformance" / "public.jsonl"
    handler = type("Bound", (Handler,), {"client": client, "vectors": vectors})
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(handler, directory=str(HERE)))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    options = webdriver.ChromeOptions()
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage"):
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        driver.set_page_load_timeout(60)
        driver.get(f"http://127.0.0.1:{server.server_address[1]}/browser.html")
        WebDriverWait(driver, 120).until(lambda d: d.title == "done")
        result = json.loads(driver.find_element("id", "result").text)
    finally:
        driver.quit()
        server.shutdown()
    print(f"browser: {driver.capabilities.get('browserVersion', '?')}, {json.dumps(result)[:400]}")
    expected_vectors = vectors.is_file()
    good = (
        not result.get("error")
        and result.get("shared") is True
        and result.get("fetchedWhole") is True
        and "cannot load the WebAssembly module from" in result.get("missing", "")
        and (result["vectors"] > 3000 if expected_vectors else True)
        and result["failures"] == []
    )
    print("browser check: " + ("ok" if good else "FAILED"))
    return 0 if good else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
