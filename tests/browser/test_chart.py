"""The chart against the Python odds module: a numeric axis to scale, the P(=),
P(≥) and P(≤) views, the default range of each law's body with "show all", and
series told apart by pattern as well as colour, with a choice beyond eight."""

from __future__ import annotations

from typing import Any

import pipwerk_odds
import pytest
from page_driver import open_page


def bars(page: Any, series: int = 0) -> list[dict[str, float]]:
    """The bars of a series: centre on the screen, and the probability drawn."""
    return page.locator(f"#chart g.series[data-series='{series}'] rect").evaluate_all(
        "rs => rs.map(r => { const b = r.getBoundingClientRect(); return { x: b.x + b.width / 2, p: Number(r.dataset.p) }; })")


def test_the_x_axis_is_numeric_and_to_scale(page: Any, base_url: str) -> None:
    open_page(page, base_url, ["1d2*1d5"])
    values = [value for value, _ in pipwerk_odds.odds("1d2*1d5").outcomes]
    assert values == [1, 2, 3, 4, 5, 6, 8, 10]
    drawn = bars(page)
    assert len(drawn) == len(values)
    unit = (drawn[-1]["x"] - drawn[0]["x"]) / (values[-1] - values[0])
    for bar, value in zip(drawn, values):
        assert abs(bar["x"] - drawn[0]["x"] - unit * (value - values[0])) < 0.5, value


@pytest.mark.parametrize(("view", "reader"), [("equal", "pmf"), ("atLeast", "at_least"), ("atMost", "at_most")])
def test_each_view_draws_the_laws_figures(page: Any, base_url: str, view: str, reader: str) -> None:
    open_page(page, base_url, ["2d6", "1d6/(1d2-1)"])
    page.check(f"input[name='view'][value='{view}']")
    for series, expression in enumerate(["2d6", "1d6/(1d2-1)"]):
        reference = pipwerk_odds.odds(expression)
        heights = [bar["p"] for bar in bars(page, series)]
        assert heights == [getattr(reference, reader)(value) for value in range(1, 13) if getattr(reference, reader)(value) > 0]


def test_a_long_tail_is_left_out_until_asked_for(page: Any, base_url: str) -> None:
    open_page(page, base_url, ["3d6b6"])
    reference = pipwerk_odds.odds("3d6b6")
    cuts = reference.quantiles(2000)
    chart = page.locator("#chart svg.histogram")
    assert f"from {cuts[0]:g} to {cuts[-1]:g}" in chart.get_attribute("aria-label")
    assert "the middle 99.9 %" in page.locator("#chart .chart-note").inner_text()
    show_all = page.get_by_label("Show all values (3 to 300)")
    show_all.check()
    assert "from 3 to 300" in chart.get_attribute("aria-label")
    assert page.locator("#chart .chart-note").count() == 0  # every value fits a column
    # The table stays whole either way.
    assert page.locator("article.odds-block table tbody tr[data-value]").count() == len(reference.outcomes)


def test_no_range_note_when_the_body_is_every_value(page: Any, base_url: str) -> None:
    open_page(page, base_url, ["4d6k3"])
    assert page.locator("#chart .chart-note").count() == 0
    assert page.locator("label.show-all").is_hidden()


def styles(page: Any) -> tuple[list[tuple[str, ...]], list[tuple[str, ...]]]:
    """The fill, colour and dash of every legend swatch, and of every series drawn."""
    swatches = page.locator("#chart .legend .swatch").evaluate_all(
        "ss => ss.map(s => [s.querySelector('rect').getAttribute('fill'), s.querySelector('line').getAttribute('stroke'),"
        " s.querySelector('line').getAttribute('stroke-dasharray')])")
    drawn = page.locator("#chart g.series").evaluate_all(
        "gs => gs.map(g => { const r = g.querySelector('rect'), l = g.querySelector('polyline');"
        " return r ? [r.getAttribute('fill'), r.getAttribute('stroke'), null] : [null, l.getAttribute('stroke'), l.getAttribute('stroke-dasharray')]; })")
    return [tuple(s) for s in swatches], [tuple(d) for d in drawn]


@pytest.mark.parametrize("expression", [
    "{1d2, 1d3, 1d4, 1d5, 1d6, 1d7, 1d8, 1d9}",                             # bars
    "{50d100k25, 50d100k25+1, 50d100k25+2, 50d100k25+3, 50d100k25+4, 50d100k25+5, 50d100k25+6, 50d100k25+7}",  # lines
])
def test_eight_series_differ_in_pattern_and_colour_as_their_swatches_do(page: Any, base_url: str, expression: str) -> None:
    open_page(page, base_url, [expression])
    swatches, drawn = styles(page)
    assert len(swatches) == len(drawn) == 8
    for column in range(3):
        assert len({swatch[column] for swatch in swatches}) == 8
    for swatch, series in zip(swatches, drawn):
        assert all(mine is None or mine == theirs for mine, theirs in zip(series, swatch)), (series, swatch)


def test_beyond_eight_series_a_choice_of_which_to_draw(page: Any, base_url: str) -> None:
    open_page(page, base_url, ["10#3d6", "2d6"])
    choice = page.locator("#series-choice input[type='checkbox']")
    assert choice.count() == 11
    assert choice.evaluate_all("bs => bs.map(b => b.checked)") == [True] * 8 + [False] * 3
    assert choice.evaluate_all("bs => bs.map(b => b.disabled)") == [False] * 8 + [True] * 3
    assert page.locator("#chart g.series").count() == 8
    page.get_by_role("checkbox", name="A element 1: 10#3d6").uncheck()
    page.get_by_role("checkbox", name="B: 2d6").check()
    legend = page.locator("#chart .legend-entry").all_inner_texts()
    assert len(legend) == 8 and legend[0].strip() == "A element 2: 10#3d6" and legend[-1].strip() == "B: 2d6"
    assert page.errors == []
