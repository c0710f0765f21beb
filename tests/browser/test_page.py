"""The page as a whole: the share link reproduces the page and its rolls, the odds
and the link follow the typing, the first load stays small and never leaves the
server, the layout holds at phone and desktop widths, and screenshots of both are
saved as artifacts."""

from __future__ import annotations

import pathlib
import urllib.parse
from typing import Any

import pytest
import pipwerk
import pipwerk_odds
from conftest import DESKTOP, PHONE
from page_driver import odds_tables, open_page, read_roll, roll, wait_ready
from test_odds import check_tables

FIRST_LOAD_BUDGET = 500_000


def fragment(page: Any) -> str:
    return urllib.parse.urlsplit(page.url).fragment


def test_the_share_link_replays_the_rolls(context: Any, page: Any, base_url: str) -> None:
    open_page(page, base_url)
    a = roll(page, 0, "4d6k3")
    page.locator("#add-expression").click()
    b = roll(page, 1, "2d20kl1+5")
    wait_ready(page)
    link = page.url
    assert fragment(page) == f"4d6k3@{a['seed']}&2d20kl1%2B5@{b['seed']}"
    tables = [odds_tables(page, i) for i in range(2)]
    page.locator("#copy-link").click()
    page.wait_for_function("document.getElementById('link-status').textContent !== ''")
    assert page.locator("#link-status").inner_text() == f"Copied, replaying the last roll of A, B: {link}"

    fresh = context.new_page()
    fresh.goto(link)
    wait_ready(fresh)
    assert fresh.locator("input.expression-input").evaluate_all("xs => xs.map(x => x.value)") == ["4d6k3", "2d20kl1+5"]
    assert [odds_tables(fresh, i) for i in range(2)] == tables
    # The same rolls, dice and all: the last one in the panel, both in the history.
    assert read_roll(fresh) == b
    history = fresh.locator("#history li").all_inner_texts()
    assert [f"{shown['full']} seed {shown['seed']}" in item for item, shown in zip(history, [b, a])] == [True, True]

    # A box's seed leaves the link while its text is not what was rolled.
    box = fresh.locator("input.expression-input").first
    box.fill("4d6k4")
    wait_ready(fresh)
    assert fragment(fresh) == f"4d6k4&2d20kl1%2B5@{b['seed']}"
    box.fill("4d6k3")
    wait_ready(fresh)
    assert fragment(fresh) == f"4d6k3@{a['seed']}&2d20kl1%2B5@{b['seed']}"


def test_editing_the_fragment_reloads_the_expressions_and_rolls(page: Any, base_url: str) -> None:
    open_page(page, base_url, ["1d6"])
    page.evaluate("location.hash = '#2d8&' + encodeURIComponent('{1d4, 1d4}') + '@99'")
    page.wait_for_function("document.querySelectorAll('article.odds-block').length === 2")
    wait_ready(page)
    assert page.locator("input.expression-input").evaluate_all("xs => xs.map(x => x.value)") == ["2d8", "{1d4, 1d4}"]
    assert len(odds_tables(page, 1)) == 2
    page.wait_for_selector("#roll-result .roll-full")
    shown = read_roll(page)
    assert (shown["seed"], shown["full"]) == (99, pipwerk.roll("{1d4, 1d4}", seed=99).full)


def test_seeds_stay_with_their_boxes_when_one_is_removed(page: Any, base_url: str) -> None:
    open_page(page, base_url, ["1d6", "1d8", "1d10"])
    c = roll(page, 2, "1d10")
    page.get_by_role("button", name="Remove expression B").click()
    wait_ready(page)
    assert fragment(page) == f"1d6&1d10@{c['seed']}"
    assert page.locator("article.odds-block").count() == 2


def test_odds_and_link_follow_the_typing(page: Any, base_url: str) -> None:
    open_page(page, base_url, ["1d4"])
    # Every expression whose odds ever reach the page.
    page.evaluate("""() => { window.drawn = [];
        new MutationObserver(() => document.querySelectorAll('article.odds-block h3 code').forEach(
          c => window.drawn.push(c.textContent))).observe(document.getElementById('odds-blocks'), { childList: true }); }""")
    box = page.locator("input.expression-input").first
    box.fill("")
    box.press_sequentially("3d6", delay=40)
    wait_ready(page)
    assert fragment(page) == "3d6"
    check_tables(odds_tables(page, 0), pipwerk_odds.odds("3d6"))
    # Odds that take seconds, replaced before they are ready, never show.
    heavy = "50d1000k25 + 50d1000k25"
    box.fill(heavy)
    page.wait_for_selector("body[data-odds='computing']")
    box.fill("2d6")
    wait_ready(page)
    check_tables(odds_tables(page, 0), pipwerk_odds.odds("2d6"))
    drawn = page.evaluate("window.drawn")
    assert heavy not in drawn and "2d6" in drawn
    assert fragment(page) == "2d6"


def test_an_example_fills_the_box_last_typed_in(page: Any, base_url: str) -> None:
    open_page(page, base_url, ["1d6", "1d8"])
    page.locator("input.expression-input").nth(1).focus()
    page.get_by_role("button", name="3d6b6").click()
    wait_ready(page)
    assert page.locator("input.expression-input").evaluate_all("xs => xs.map(x => x.value)") == ["1d6", "3d6b6"]
    assert fragment(page) == "1d6&3d6b6"
    check_tables(odds_tables(page, 1), pipwerk_odds.odds("3d6b6"))


def test_a_link_with_more_expressions_than_boxes_says_what_it_leaves_out(page: Any, base_url: str) -> None:
    expressions = [f"1d{faces}" for faces in range(2, 12)]
    open_page(page, base_url, expressions)
    assert page.locator("input.expression-input").evaluate_all("xs => xs.map(x => x.value)") == expressions[:8]
    note = page.locator("#overflow-note")
    assert note.is_visible() and note.inner_text().endswith("Left out: 1d10, 1d11.")


def test_opened_from_a_file_it_says_how_to_serve_it(page: Any, built_page: dict[str, Any]) -> None:
    page.goto((pathlib.Path(built_page["outdir"]) / "index.html").as_uri())
    note = page.locator("#file-note")
    assert note.is_visible() and "python3 -m http.server" in note.inner_text()


def test_first_load_is_small_and_stays_on_the_server(browser: Any, base_url: str, built_page: dict[str, Any]) -> None:
    context = browser.new_context(viewport=DESKTOP)
    page = context.new_page()
    responses: list[Any] = []
    page.on("response", lambda response: responses.append(response))
    open_page(page, base_url, ["4d6k3"])
    sizes = {response.url: len(response.body()) for response in responses}
    context.close()
    origin = urllib.parse.urlsplit(base_url).netloc
    assert all(urllib.parse.urlsplit(url).netloc == origin for url in sizes), sorted(sizes)
    assert not any("/on_demand/" in url for url in sizes), sorted(sizes)
    # The build's count of the first load, which bench/wasm_bench.mjs reports, is what the browser fetches.
    fetched = {urllib.parse.urlsplit(url).path.removeprefix("/"): size for url, size in sizes.items()}
    assert fetched == built_page["firstLoad"]["files"]
    total = sum(sizes.values())
    print(f"first load: {len(sizes)} files, {total} bytes")
    assert total <= FIRST_LOAD_BUDGET, sorted(sizes.items(), key=lambda item: -item[1])


@pytest.mark.parametrize(("name", "viewport"), [("desktop", DESKTOP), ("phone", PHONE)])
def test_layout_fits_and_screenshots(browser: Any, base_url: str, artifacts: pathlib.Path, name: str, viewport: dict[str, int]) -> None:
    context = browser.new_context(viewport=viewport, device_scale_factor=1 if name == "desktop" else 2)
    page = context.new_page()
    # A replay link, and a quarter of a million outcomes.
    page.goto(base_url + "#d1000*d1000@1234")
    page.wait_for_selector("body[data-odds='ready']", timeout=120_000)
    page.locator("#copy-link").click()
    page.wait_for_function("document.getElementById('link-status').textContent !== ''")
    # Nothing wider than the screen: no sideways scrolling of the page.
    assert page.evaluate("document.documentElement.scrollWidth") <= viewport["width"]
    for box in page.locator("input.expression-input, button").all():
        if box.is_visible():
            assert box.bounding_box()["width"] >= 24 and box.bounding_box()["height"] >= 24
    page.screenshot(path=artifacts / f"web-{name}.png", full_page=True)
    context.close()
