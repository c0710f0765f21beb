"""The web page's production build at the engine's limits, in headless Chromium.

    python bench/page_bench.py [--check] [--runs N]

For the largest laws the engine returns (d1000*d1000, a quarter of a million
outcomes, and a set of four laws of 2^19 outcomes, 2^21 in all), measures in a
fresh page: the seconds until the odds are on the page, the seconds to write
the CSV, and the longest task of the page's main thread (from Chromium's trace)
while it loads, while the chart changes view and range, and while the CSV is
written. A task is timed twice: on the wall clock, what a user waits, and on
the thread's own clock, which leaves out the time other processes hold the
processor (on a busy machine the two differ several times over). Target: at
most 100 ms of the thread's time per task. Medians of N runs.
Needs playwright (pinned in tools/constraints.txt), Debian's chromium
(PIPWERK_CHROMIUM, default /usr/bin/chromium), js/pipwerk.wasm, and node with
Debian's esbuild for the page's build (tools/build_page.mjs, made afresh in a
temporary directory).
"""

from __future__ import annotations

import argparse
import functools
import http.server
import json
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
from typing import Any

from playwright.sync_api import sync_playwright

ROOT = pathlib.Path(__file__).resolve().parents[1]
CHROMIUM = os.environ.get("PIPWERK_CHROMIUM", "/usr/bin/chromium")
CASES = ["d1000*d1000", "4#(d512*1024+d32*32+d32)"]
TARGET_MS = 100
TRACE = pathlib.Path(tempfile.gettempdir()) / "pipwerk-page-bench-trace.json"


class StaticFiles(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map, ".js": "text/javascript", ".wasm": "application/wasm"}

    def log_message(self, format: str, *args: object) -> None:
        pass


def longest_task(browser: Any) -> tuple[float, float]:
    """Stops the trace; the longest task of the page's main thread, in wall and thread milliseconds."""
    browser.stop_tracing()
    events = json.loads(TRACE.read_text())["traceEvents"]
    # The page's renderer, not the browser's own pages.
    page = {frame["processId"] for e in events if e.get("name") in ("TracingStartedInBrowser", "FrameCommittedInBrowser")
            for frame in e["args"]["data"].get("frames", [e["args"]["data"]]) if "processId" in frame}
    main = {(e["pid"], e["tid"]) for e in events
            if e.get("name") == "thread_name" and e["args"]["name"] == "CrRendererMain" and e["pid"] in page}
    tasks = [e for e in events if e.get("name") == "RunTask" and (e["pid"], e["tid"]) in main]
    return max((e.get("dur", 0) / 1000 for e in tasks), default=0.0), max((e.get("tdur", 0) / 1000 for e in tasks), default=0.0)


def one_run(browser: Any, base: str, expression: str) -> dict[str, float]:
    context = browser.new_context(viewport={"width": 1280, "height": 900}, accept_downloads=True)
    page = context.new_page()
    trace = {"page": page, "path": TRACE, "categories": ["devtools.timeline", "disabled-by-default-devtools.timeline"]}
    browser.start_tracing(**trace)
    started = time.perf_counter()
    page.goto(base + "#" + urllib.parse.quote(expression, safe=""))
    page.wait_for_selector("body[data-odds='ready']", timeout=600_000)
    figures = {"ready": time.perf_counter() - started}
    figures["load wall"], figures["load thread"] = longest_task(browser)
    browser.start_tracing(**trace)
    for view in ["atLeast", "atMost", "equal"]:
        page.check(f"input[name='view'][value='{view}']")
    if page.locator("#show-all").is_visible():
        page.locator("#show-all").check()
    figures["chart wall"], figures["chart thread"] = longest_task(browser)
    browser.start_tracing(**trace)
    started = time.perf_counter()
    with page.expect_download(timeout=600_000) as download:
        page.locator("#export-csv").click()
    download.value.path()
    figures["csv"] = time.perf_counter() - started
    figures["csv wall"], figures["csv thread"] = longest_task(browser)
    context.close()
    return figures


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="exit 1 when a target is missed")
    parser.add_argument("--runs", type=int, default=3, help="runs per case (default 3)")
    args = parser.parse_args()
    page_dir = tempfile.mkdtemp(prefix="pipwerk-bench-page-")
    subprocess.run(["node", str(ROOT / "tools" / "build_page.mjs"), page_dir], check=True, stdout=subprocess.DEVNULL)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(StaticFiles, directory=page_dir))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = f"http://127.0.0.1:{server.server_address[1]}/index.html"
    missed = 0
    print(f"{'expression':<26} {'odds ready':>10} {'CSV':>7}   longest main-thread task, thread (wall) ms:"
          f" {'load':>10} {'chart':>10} {'CSV':>10}")
    with sync_playwright() as playwright:
        browser = playwright.chromium.launch(executable_path=CHROMIUM)
        for expression in CASES:
            runs = [one_run(browser, base, expression) for _ in range(args.runs)]
            median = {key: statistics.median(run[key] for run in runs) for key in runs[0]}
            phases = ("load", "chart", "csv")
            shown = " ".join(f"{median[f'{p} thread']:4.0f} ({median[f'{p} wall']:3.0f})".rjust(10) for p in phases)
            print(f"{expression:<26} {median['ready']:9.2f}s {median['csv']:6.2f}s   {'':42}{shown}")
            missed += max(median[f"{p} thread"] for p in phases) > TARGET_MS
        browser.close()
    server.shutdown()
    shutil.rmtree(page_dir)
    print(f"\n{'PASS' if not missed else 'FAIL'}  longest main-thread task at most {TARGET_MS} ms of thread time"
          f" (medians of {args.runs} runs)")
    return 1 if args.check and missed else 0


if __name__ == "__main__":
    sys.exit(main())
