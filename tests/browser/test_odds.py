"""Exact odds on the page against the Python odds module: every table row, the
statistics, the errors, refusals, two expressions compared, and the CSV."""

from __future__ import annotations

import csv
import io
import itertools
from typing import Any

import pipwerk_odds
import pytest
from page_driver import odds_tables, open_page, wait_ready

TOLERANCE = 1e-12

# Single values, sets, reals, and rolls that can end in an error.
EXPRESSIONS = ["4d6k3", "2d20kl1+5", "3d6b6", "8d10>=7", "{1d4, 2d4k1}", "1d6/2", "1d6/(1d2-1)", "3#1d3"]


def close(x: float, y: float) -> bool:
    return abs(x - y) <= TOLERANCE


def check_tables(tables: list[dict[str, Any]], reference: Any) -> None:
    assert len(tables) == len(reference.elements)
    for table, element in zip(tables, reference.elements):
        assert [row["value"] for row in table["rows"]] == [value for value, _ in element.outcomes]
        for row, (value, probability) in zip(table["rows"], element.outcomes):
            equal, at_least, at_most = row["p"]
            assert close(equal, probability), (value, equal, probability)
            assert close(at_least, element.at_least(value)), value
            assert close(at_most, element.at_most(value)), value
        assert {e["message"]: e["p"] for e in table["errors"]}.keys() == reference.errors.keys()
        for error in table["errors"]:
            assert close(error["p"], reference.errors[error["message"]])


@pytest.mark.parametrize("expression", EXPRESSIONS)
def test_table_rows_match_the_odds_module(page: Any, base_url: str, expression: str) -> None:
    open_page(page, base_url, [expression])
    reference = pipwerk_odds.odds(expression)
    check_tables(odds_tables(page, 0), reference)
    stats = page.locator("article.odds-block[data-index='0'] dl.stats").first
    mean = float(stats.locator("div", has_text="Mean").locator("dd").inner_text())
    assert abs(mean - reference.elements[0].mean) < 1e-4
    page.wait_for_function("document.getElementById('odds-announcer').textContent !== ''")
    assert page.locator("#odds-announcer").inner_text() == f"Odds ready. A, {reference.consumed}: mean {mean:g}"
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


def test_csv_export_holds_every_row(page: Any, base_url: str) -> None:
    expressions = ["4d6k3", "{1d4, 1d6}", "1d6/(1d2-1)"]
    open_page(page, base_url, expressions)
    with page.expect_download() as download:
        page.locator("#export-csv").click()
    text = pathlib_text(download.value.path())
    rows = list(csv.DictReader(io.StringIO(text, newline="")))
    expected = []
    for expression in expressions:
        reference = pipwerk_odds.odds(expression)
        for index, element in enumerate(reference.elements):
            for value, p in element.outcomes:
                expected.append((expression, str(index + 1) if reference.is_set else "", value, p,
                                 element.at_least(value), element.at_most(value)))
        for message, p in reference.errors.items():
            expected.append((expression, "", "error: " + message, p, None, None))
    assert len(rows) == len(expected)
    for row, (expression, element, outcome, p, at_least, at_most) in zip(rows, expected):
        assert (row["expression"], row["element"]) == (expression, element)
        if isinstance(outcome, str):
            assert row["outcome"] == outcome and row["at_least"] == row["at_most"] == ""
        else:
            assert float(row["outcome"]) == outcome
            assert close(float(row["at_least"]), at_least) and close(float(row["at_most"]), at_most)
        assert close(float(row["probability"]), p)


def pathlib_text(path: Any) -> str:
    with open(path, encoding="utf-8", newline="") as handle:
        return handle.read()


def test_expressions_change_and_the_odds_follow(page: Any, base_url: str) -> None:
    open_page(page, base_url, ["1d4"])
    box = page.locator("input.expression-input").first
    box.fill("3d6")
    box.press("Enter")
    page.wait_for_function("document.querySelector('article.odds-block code').textContent === '3d6'")
    wait_ready(page)
    check_tables(odds_tables(page, 0), pipwerk_odds.odds("3d6"))


def test_long_odds_never_freeze_the_page(page: Any, base_url: str) -> None:
    # About two seconds of work in the worker: the page must go on rolling meanwhile.
    heavy = "50d1000k25 + 50d1000k25"
    page.goto(base_url + "#" + heavy.replace(" ", "%20") + "&1d6")
    page.wait_for_selector("body[data-odds='computing']")
    box = page.locator("input.expression-input").nth(1)
    box.press("Enter")
    page.wait_for_selector("#history li")
    assert page.locator("body").get_attribute("data-odds") == "computing"
    assert page.locator("#odds-status").inner_text() == "Computing exact odds…"
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
            assert (value, p) == (outcomes[index - 2][0], pytest.approx(outcomes[index - 2][1], abs=TOLERANCE))
        # The rows in view are the ones the scroll position reaches.
        position = scroller.evaluate("s => s.scrollTop / (s.scrollHeight - s.clientHeight)")
        assert abs(visible[0][2] - 2 - position * (len(outcomes) - len(visible))) <= 2, (fraction, visible[0])
    # The chart draws the long distribution as one outline, not one bar per value.
    assert page.locator("#chart g.series[data-series='0'] rect").count() == 0
    assert page.locator("#chart g.series[data-series='0'] polyline").count() == 1
