"""The page as a whole: the share link reproduces the page, the first load stays
small and never leaves the server, the layout holds at phone and desktop widths,
and screenshots of both are saved as artifacts."""

from __future__ import annotations

import pathlib
import urllib.parse
from typing import Any

import pytest
from conftest import DESKTOP, PHONE
from page_driver import odds_tables, open_page, roll, wait_ready

FIRST_LOAD_BUDGET = 500_000


def test_the_share_link_round_trips(context: Any, page: Any, base_url: str) -> None:
    open_page(page, base_url)
    roll(page, 0, "4d6k3")
    page.locator("#add-expression").click()
    roll(page, 1, "2d20kl1+5")
    wait_ready(page)
    link = page.url
    assert urllib.parse.urlsplit(link).fragment == "4d6k3&2d20kl1%2B5"
    tables = [odds_tables(page, i) for i in range(2)]

    page.locator("#copy-link").click()
    page.wait_for_function("document.getElementById('link-status').textContent !== ''")

    fresh = context.new_page()
    fresh.goto(link)
    wait_ready(fresh)
    assert fresh.locator("input.expression-input").evaluate_all("xs => xs.map(x => x.value)") == ["4d6k3", "2d20kl1+5"]
    assert [odds_tables(fresh, i) for i in range(2)] == tables
    assert fresh.locator("#compare").is_visible()


def test_editing_the_fragment_reloads_the_expressions(page: Any, base_url: str) -> None:
    open_page(page, base_url, ["1d6"])
    page.evaluate("location.hash = '#2d8&' + encodeURIComponent('{1d4, 1d4}')")
    page.wait_for_function("document.querySelectorAll('article.odds-block').length === 2")
    wait_ready(page)
    assert page.locator("input.expression-input").evaluate_all("xs => xs.map(x => x.value)") == ["2d8", "{1d4, 1d4}"]
    assert len(odds_tables(page, 1)) == 2


def test_removing_an_expression_updates_the_link(page: Any, base_url: str) -> None:
    open_page(page, base_url, ["1d6", "1d8", "1d10"])
    page.get_by_role("button", name="Remove expression B").click()
    wait_ready(page)
    assert urllib.parse.urlsplit(page.url).fragment == "1d6&1d10"
    assert page.locator("article.odds-block").count() == 2


def test_first_load_is_small_and_stays_on_the_server(browser: Any, base_url: str) -> None:
    context = browser.new_context(viewport=DESKTOP)
    page = context.new_page()
    responses: list[Any] = []
    page.on("response", lambda response: responses.append(response))
    open_page(page, base_url, ["4d6k3"])
    sizes = {response.url: len(response.body()) for response in responses}
    context.close()
    origin = urllib.parse.urlsplit(base_url).netloc
    assert all(urllib.parse.urlsplit(url).netloc == origin for url in sizes), sorted(sizes)
    assert any(url.endswith(".wasm") for url in sizes)
    total = sum(sizes.values())
    print(f"first load: {len(sizes)} files, {total} bytes")
    assert total <= FIRST_LOAD_BUDGET, sorted(sizes.items(), key=lambda item: -item[1])


@pytest.mark.parametrize(("name", "viewport"), [("desktop", DESKTOP), ("phone", PHONE)])
def test_layout_fits_and_screenshots(browser: Any, base_url: str, artifacts: pathlib.Path, name: str, viewport: dict[str, int]) -> None:
    context = browser.new_context(viewport=viewport, device_scale_factor=1 if name == "desktop" else 2)
    page = context.new_page()
    open_page(page, base_url, ["4d6k3", "2d20kl1+5"])
    roll(page, 1, "2d20kl1+5")
    roll(page, 0, "4d6k3")
    wait_ready(page)
    # Nothing wider than the screen: no sideways scrolling of the page.
    assert page.evaluate("document.documentElement.scrollWidth") <= viewport["width"]
    for box in page.locator("input.expression-input, button").all():
        if box.is_visible():
            assert box.bounding_box()["width"] >= 24 and box.bounding_box()["height"] >= 24
    page.screenshot(path=artifacts / f"web-{name}.png", full_page=True)
    context.close()
