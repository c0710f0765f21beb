"""The npm package bundled by esbuild (Debian's), as a web developer's app would
have it: packed, installed offline, bundled for the browser, and run in Chromium.
Both ways of placing the .wasm: docs/web.md's example (the file loader's URL
handed to init) and the package's own new URL('./pipwerk.wasm', import.meta.url)
with the .wasm copied beside the bundle."""

from __future__ import annotations

import functools
import http.server
import json
import os
import pathlib
import re
import shutil
import subprocess
import threading
from collections.abc import Iterator
from typing import Any

import pytest
from conftest import ROOT, StaticFiles

CI = os.environ.get("CI", "").strip().lower() not in ("", "0", "false")
MARK = "<!-- example: skip (bundled by esbuild and run in Chromium by tests/browser/test_bundle.py) -->"
EXPECTED = "[1* + 4 + 6 + 4] = 14"
APPS = {
    "init": None,  # docs/web.md's example
    "default": (
        "import { roll } from 'pipwerk';\n"
        "document.body.textContent = roll('4d6k3', { seed: 42 }).full;\n"
    ),
}


def docs_example() -> str:
    text = (ROOT / "docs" / "web.md").read_text(encoding="utf-8")
    found = re.search(re.escape(MARK) + r"\n```js\n(.*?)```\n", text, re.S)
    assert found, f"docs/web.md has no js block after {MARK}"
    return found.group(1)


@pytest.fixture(scope="module")
def installed(tmp_path_factory: pytest.TempPathFactory) -> pathlib.Path:
    missing = [tool for tool in ("npm", "esbuild") if shutil.which(tool) is None]
    if missing:
        message = f"{' and '.join(missing)} not found (Debian's npm and esbuild packages)"
        if CI:
            pytest.fail(message, pytrace=False)
        pytest.skip(message)
    work = tmp_path_factory.mktemp("bundle")
    packed = subprocess.run(["npm", "pack", "--pack-destination", str(work)], cwd=ROOT / "js",
                            capture_output=True, text=True, check=True).stdout.split()[-1]
    (work / "package.json").write_text(json.dumps({"name": "app", "private": True, "type": "module"}))
    subprocess.run(["npm", "install", "--offline", "--no-audit", "--no-fund", "--silent", str(work / packed)],
                   cwd=work, check=True)
    return work


@pytest.fixture(scope="module")
def served(installed: pathlib.Path) -> Iterator[str]:
    handler = functools.partial(StaticFiles, directory=str(installed))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    yield f"http://127.0.0.1:{server.server_address[1]}"
    server.shutdown()
    server.server_close()


@pytest.mark.parametrize("app", list(APPS))
def test_an_esbuild_bundle_rolls_in_chromium(installed: pathlib.Path, served: str, context: Any, app: str) -> None:
    source = installed / f"{app}.js"
    source.write_text(APPS[app] or docs_example(), encoding="utf-8")
    out = installed / "dist" / app
    built = subprocess.run(["esbuild", source.name, "--bundle", "--format=esm", "--loader:.wasm=file", f"--outdir={out}"],
                           cwd=installed, capture_output=True, text=True)
    assert built.returncode == 0, built.stderr
    bundle = (out / f"{app}.js").read_text(encoding="utf-8")
    assert "node:" not in bundle, "the browser's bundle names a Node module"
    if app == "default":
        shutil.copy(installed / "node_modules" / "pipwerk" / "pipwerk.wasm", out)
    (out / "index.html").write_text(f'<!doctype html><script type="module" src="{app}.js"></script>')
    page = context.new_page()
    errors: list[str] = []
    page.on("pageerror", lambda error: errors.append(str(error)))
    page.goto(f"{served}/dist/{app}/index.html")
    page.wait_for_function("document.body && document.body.textContent !== ''")
    assert errors == []
    assert page.evaluate("document.body.textContent") == EXPECTED
