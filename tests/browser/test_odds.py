"""Exact odds on the page against the Python odds module: every table row and
every CSV figure to the last bit, the statistics, the errors, refusals, and two
expressions compared."""

from __future__ import annotations

import csv
import itertools
import urllib.parse
from collections.abc import Iterator
from typing import Any

import pipwerk_odds
import pytest
from page_driver import odds_tables, open_page

# Single values, sets, reals, and rolls that can end in an error.
EXPRESSIONS = ["4d6k3", "2d20kl1+5", "3d6b6", "8d10>=7", "{1d4, 2d4k1}", "1d6/2", "1d6/(1d2-1)", "3#1d3"]


def check_tables(tables: list[dict[str, Any]], reference: Any) -> None:
    """Every figure is the odds module's own, to the last bit."""
    assert len(tables) == len(reference.elements)
    for table, element in zip(tables, reference.elements):
        assert [row["value"] for row in table["rows"]] == [value for value, _ in element.outcomes]
        for row, (value, probability) in zip(table["rows"], element.outcomes):
            assert row["p"] == [probability, element.at_least(value), element.at_most(value)], value
        assert {e["message"]: e["p"] for e in table["errors"]} == reference.errors


@pytest.mark.parametrize("expression", EXPRESSIONS)
def test_table_rows_and_statistics_match_the_odds_module(page: Any, base_url: str, expression: str) -> None:
    open_page(page, base_url, [expression])
    reference = pipwerk_odds.odds(expression)
    check_tables(odds_tables(page, 0), reference)
    for section, element in zip(page.locator("article.odds-block[data-index='0'] section").all(), reference.elements):
        shown = dict(zip(section.locator("dl.stats dt").all_text_contents(), section.locator("dl.stats dd").all_text_contents()))
        assert abs(float(shown["Mean"]) - element.mean) < 1e-4
        assert (float(shown["Median"]), float(shown["Mode"])) == (element.median, element.mode)
        # A statistic of the rolls that succeed never stands without the chance of failing.
        fails = section.locator(".fails")
        if reference.errors:
            (message, p), = reference.errors.items()
            assert fails.inner_text().startswith(f"Fails {p * 100:.2f} %: {message}.")
        else:
            assert fails.count() == 0
    page.wait_for_function("document.getElementById('odds-announcer').textContent !== ''")
    mean = float(page.locator("article.odds-block[data-index='0'] dl.stats dd").first.inner_text())
    failing = "".join(f", fails {p * 100:.2f} %: {m}" for m, p in reference.errors.items())
    assert page.locator("#odds-announcer").inner_text() == f"Odds ready. A, {reference.consumed}: mean {mean:g}{failing}"
    assert page.errors == []


@pytest.mark.parametrize(
    ("expression", "kind"),
    [("50d1000*50d1000", "refusal"), ("51d6", "error"), ("1d6 + 60d6", "error")],
)
def test_refusals_and_errors_are_shown(page: Any, base_url: str, expression: str, kind: str) -> None:
    open_page(page, base_url, [expression])
    with pytest.raises(ValueError) as raised:
        pipwerk_odds.odds(expression)
    shown = page.locator(f"article.odds-block[data-index='0'] .message.{kind}")
    assert shown.inner_text() == str(raised.value)
    assert shown.get_attribute("role") == "alert"


def test_a_tail_is_shown_and_nothing_parsed_is_said(page: Any, base_url: str) -> None:
    open_page(page, base_url, ["2d6 plus words", "words only"])
    assert "plus words" in page.locator("article.odds-block[data-index='0'] .message.tail").inner_text()
    assert page.locator("article.odds-block[data-index='1'] .message.error").count() == 1
    check_tables(odds_tables(page, 0), pipwerk_odds.odds("2d6 plus words"))


def reference_comparison(a: str, b: str) -> dict[str, float]:
    first, second = pipwerk_odds.odds(a), pipwerk_odds.odds(b)
    result = {"greater": 0.0, "equal": 0.0, "less": 0.0}
    for (x, p), (y, q) in itertools.product(first.outcomes, second.outcomes):
        result["greater" if x > y else "equal" if x == y else "less"] += p * q
    fails = [sum(odds.errors.values()) for odds in (first, second)]
    result["failure"] = fails[0] + fails[1] - fails[0] * fails[1]
    return result


@pytest.mark.parametrize(("a", "b"), [("2d6", "1d12"), ("4d6k3", "3d6"), ("1d20+5", "2d20kl1+8"), ("1d6/(1d2-1)", "1d4")])
def test_two_expressions_compared(page: Any, base_url: str, a: str, b: str) -> None:
    open_page(page, base_url, [a, b])
    reference = reference_comparison(a, b)
    for key, p in reference.items():
        figure = page.locator(f"#compare [data-compare='{key}'] dd")
        if key == "failure" and p == 0:
            assert figure.count() == 0
            continue
        assert abs(float(figure.get_attribute("data-p")) - p) < 1e-12, key
    check_tables(odds_tables(page, 1), pipwerk_odds.odds(b))
    # Both distributions are drawn on the one chart, each with its own fill.
    assert page.locator("#chart svg.histogram g.series").count() == 2
    assert page.locator("#chart .legend-entry").count() == 2


def test_no_comparison_with_a_set(page: Any, base_url: str) -> None:
    open_page(page, base_url, ["{1d6, 1d8}", "1d6"])
    assert page.locator("#compare").is_hidden()
    assert len(odds_tables(page, 0)) == 2


def test_no_comparison_for_one_or_three_expressions(page: Any, base_url: str) -> None:
    open_page(page, base_url, ["1d6"])
    assert page.locator("#compare").is_hidden()
    open_page(page, base_url, ["1d6", "1d8", "1d10"])
    assert page.locator("#compare").is_hidden()
    assert page.locator("#chart svg.histogram g.series").count() == 3


def download_csv(page: Any) -> Iterator[dict[str, str]]:
    """The rows of the exported CSV, read as they are needed."""
    with page.expect_download(timeout=300_000) as download:
        page.locator("#export-csv").click()
    with open(download.value.path(), encoding="utf-8", newline="") as handle:
        yield from csv.DictReader(handle)


def test_csv_export_holds_every_row_with_the_apis_figures(page: Any, base_url: str) -> None:
    expressions = ["1d6", "4d6k3", "{1d4, 1d6}", "1d6/(1d2-1)"]
    open_page(page, base_url, expressions)
    rows = list(download_csv(page))
    expected: list[tuple[Any, ...]] = []
    for expression in expressions:
        reference = pipwerk_odds.odds(expression)
        for index, element in enumerate(reference.elements):
            for value, p in element.outcomes:
                expected.append((expression, str(index + 1) if reference.is_set else "", value, p,
                                 element.at_least(value), element.at_most(value)))
        for message, p in reference.errors.items():
            expected.append((expression, "", "error: " + message, p, None, None))
    assert len(rows) == len(expected)
    for row, (expression, position, outcome, p, at_least, at_most) in zip(rows, expected):
        assert (row["expression"], row["element"]) == (expression, position)
        if isinstance(outcome, str):
            assert row["outcome"] == outcome and row["at_least"] == row["at_most"] == ""
        else:
            assert float(row["outcome"]) == outcome
            assert (float(row["at_least"]), float(row["at_most"])) == (at_least, at_most), row
        assert float(row["probability"]) == p
    # A certainty is written as one, not as the last bit short of it.
    assert rows[0]["at_least"] == rows[5]["at_most"] == "1"


def drawn_points(page: Any, series: int) -> int:
    """The bars of a series on the chart, or the points of its line."""
    return int(page.locator(f"#chart g.series[data-series='{series}']").evaluate(
        "g => g.querySelector('polyline')?.points.numberOfItems ?? g.querySelectorAll('rect').length"))


def test_long_odds_never_freeze_the_page(page: Any, base_url: str) -> None:
    # About two seconds of work in the worker: the page must go on rolling meanwhile.
    heavy = "50d1000k25 + 50d1000k25"
    page.goto(base_url + "#" + heavy.replace(" ", "%20") + "&1d6")
    page.wait_for_selector("body[data-odds='computing']")
    box = page.locator("input.expression-input").nth(1)
    box.press("Enter")
    page.wait_for_selector("#history li")
    assert page.locator("body").get_attribute("data-odds") == "computing"
    assert page.locator("#odds-status").inner_text().startswith("Computing exact odds…")
    page.wait_for_selector("body[data-odds='ready']", timeout=120_000)

    # The long table keeps only the rows in view in the document; scrolling brings
    # any row in, with the figures of the odds module.
    reference = pipwerk_odds.odds(heavy)
    block = page.locator("article.odds-block[data-index='0']")
    assert block.locator("table.odds-table").get_attribute("aria-rowcount") == str(len(reference.outcomes) + 1)
    assert 0 < len(odds_tables(page, 0)[0]["rows"]) < 500
    scroller = block.locator(".table-scroll")
    outcomes = reference.outcomes
    for fraction in [0.0, 0.37, 0.5, 0.999, 1.0]:
        scroller.evaluate(f"s => {{ s.scrollTop = (s.scrollHeight - s.clientHeight) * {fraction}; }}")
        page.wait_for_timeout(100)
        visible = scroller.evaluate(
            """s => { const top = s.getBoundingClientRect().top + 40, bottom = s.getBoundingClientRect().bottom;
                      return [...s.querySelectorAll('tbody tr[data-value]')].filter(r => {
                        const box = r.getBoundingClientRect(); return box.top >= top && box.bottom <= bottom; })
                        .map(r => [Number(r.dataset.value), Number(r.cells[1].dataset.p), Number(r.getAttribute('aria-rowindex'))]); }"""
        )
        assert len(visible) >= 5, fraction
        for value, p, index in visible:
            assert (value, p) == outcomes[index - 2]
        # The rows in view are the ones the scroll position reaches.
        position = scroller.evaluate("s => s.scrollTop / (s.scrollHeight - s.clientHeight)")
        assert abs(visible[0][2] - 2 - position * (len(outcomes) - len(visible))) <= 2, (fraction, visible[0])
    # The chart gathers the long distribution into bins: far fewer points than values.
    assert 0 < drawn_points(page, 0) <= 1280 / 3 < len(outcomes) / 10


# The largest laws the engine returns: a quarter of a million values, and a set
# of four laws of 2^19 values each (2^21 in all, the engine's limit).
@pytest.mark.parametrize(("expression", "law", "count"), [
    ("d1000*d1000", "d1000*d1000", 1),
    ("4#(d512*1024+d32*32+d32)", "d512*1024+d32*32+d32", 4),
])
def test_the_largest_laws_render_whole(page: Any, base_url: str, expression: str, law: str, count: int) -> None:
    page.goto(base_url + "#" + urllib.parse.quote(expression, safe=""))
    page.wait_for_selector("body[data-odds='ready']", timeout=300_000)
    reference = pipwerk_odds.odds(law)  # every element of the set has this law
    outcomes = reference.outcomes
    assert page.locator("#odds-announcer").inner_text().startswith("Odds ready.")
    block = page.locator("article.odds-block[data-index='0']")
    assert block.locator("table.odds-table").evaluate_all("ts => ts.map(t => t.getAttribute('aria-rowcount'))") == [str(len(outcomes) + 1)] * count
    assert page.locator("#chart g.series").count() == count
    for view in ["equal", "atLeast", "atMost"]:
        page.check(f"input[name='view'][value='{view}']")
        assert 0 < drawn_points(page, 0) <= 1280 / 3
    rows = download_csv(page)
    for element in range(count):
        for index, (value, p) in enumerate(outcomes):
            row = next(rows)
            assert (float(row["outcome"]), float(row["probability"])) == (value, p)
            if index % 65536 == 0 or index == len(outcomes) - 1:
                assert row["element"] == (str(element + 1) if count > 1 else "")
                assert (float(row["at_least"]), float(row["at_most"])) == (reference.at_least(value), reference.at_most(value))
    assert next(rows, None) is None
    assert page.errors == []
