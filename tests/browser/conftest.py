"""The page under headless Chromium: its production build (tools/build_page.mjs,
made afresh from the sources) served from a static server on 127.0.0.1, the
system's chromium driven by Playwright, and the Python modules as the reference
the page is checked against."""

from __future__ import annotations

import functools
import http.server
import json
import os
import pathlib
import shutil
import subprocess
import threading
from collections.abc import Iterator
from typing import Any

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
CHROMIUM = os.environ.get("PIPWERK_CHROMIUM", "/usr/bin/chromium")
ARTIFACTS = pathlib.Path(os.environ.get("PIPWERK_BROWSER_ARTIFACTS", ROOT / "build" / "browser"))
DESKTOP = {"width": 1280, "height": 900}
PHONE = {"width": 390, "height": 844}


class StaticFiles(http.server.SimpleHTTPRequestHandler):
    # The types a browser insists on: modules need a JavaScript type, and streaming
    # compilation needs application/wasm.
    extensions_map = {
        **http.server.SimpleHTTPRequestHandler.extensions_map,
        ".js": "text/javascript",
        ".mjs": "text/javascript",
        ".wasm": "application/wasm",
        ".css": "text/css",
        ".html": "text/html",
        ".svg": "image/svg+xml",
    }

    def log_message(self, format: str, *args: Any) -> None:
        pass


@pytest.fixture(scope="session")
def built_page(tmp_path_factory: pytest.TempPathFactory) -> dict[str, Any]:
    """The page as tools/build_page.mjs builds it: its directory and its first load."""
    out = tmp_path_factory.mktemp("page")
    built = subprocess.run(["node", str(ROOT / "tools" / "build_page.mjs"), str(out), "--json"],
                           capture_output=True, text=True)
    if built.returncode != 0:
        pytest.fail(f"the page did not build: {built.stderr.strip()}", pytrace=False)
    page: dict[str, Any] = json.loads(built.stdout)
    return page


@pytest.fixture(scope="session")
def base_url(built_page: dict[str, Any]) -> Iterator[str]:
    handler = functools.partial(StaticFiles, directory=built_page["outdir"])
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    yield f"http://127.0.0.1:{server.server_address[1]}/index.html"
    server.shutdown()
    server.server_close()


@pytest.fixture(scope="session")
def browser() -> Iterator[Any]:
    if shutil.which(CHROMIUM) is None:
        pytest.fail(f"{CHROMIUM} is missing: install Debian's chromium package")
    from playwright.sync_api import sync_playwright

    with sync_playwright() as playwright:
        launched = playwright.chromium.launch(executable_path=CHROMIUM)
        yield launched
        launched.close()


@pytest.fixture
def context(browser: Any) -> Iterator[Any]:
    made = browser.new_context(viewport=DESKTOP, accept_downloads=True)
    made.set_default_timeout(30_000)
    yield made
    made.close()


@pytest.fixture
def page(context: Any) -> Any:
    made = context.new_page()
    errors: list[str] = []
    made.on("pageerror", lambda error: errors.append(str(error)))
    made.errors = errors
    return made


@pytest.fixture(scope="session")
def artifacts() -> pathlib.Path:
    ARTIFACTS.mkdir(parents=True, exist_ok=True)
    return ARTIFACTS
