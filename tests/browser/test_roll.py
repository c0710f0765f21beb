"""Rolling on the page: the texts must be those of the native engine for the seed
the page shows, and every die must carry the marks its detail text gives it."""

from __future__ import annotations

import re
from typing import Any

import pipwerk
import pipwerk_trace
import pytest
from page_driver import open_page, read_roll, roll

# Expressions of every kind of term: keep, keep lowest, bonus, successes with and
# without keep, arithmetic, a set, a repetition, and a tail left unread.
EXPRESSIONS = [
    "4d6k3",
    "2d20kl1+5",
    "3d6b6",
    "4d6b5k3",
    "2d6b2",
    "8d10>=7",
    "5d10k3!=10",
    "6d6b5k3<4",
    "{1d6, 2d8k1} * 2",
    "3#4d6k3",
    "1d20 + 3 and some words",
]


def native_marks(expression: str, seed: int) -> list[list[dict[str, Any]]]:
    """The dice of every term of the native trace of the same roll, with the marks
    the page must show for them."""
    terms = []
    for term in pipwerk_trace.trace(expression, seed=seed).dice:
        dice = []
        for die in term.dice:
            marks = set()
            if not die.kept:
                marks.add("dropped")
            if die.bonus:
                marks.add("bonus-die")
            if die.earned_bonus:
                marks.add("earned-bonus")
            if die.success is not None and die.kept:  # a dropped die is never counted
                marks.add("success" if die.success else "failure")
            dice.append({"value": die.value, "marks": marks})
        terms.append(dice)
    return terms


def detail_marks(detail: str) -> list[list[tuple[int, str]]]:
    """The dice the detail text lists, with their markers ("*", "!"), term by term."""
    return [
        [(int(text.rstrip("*!")), text.lstrip("0123456789")) for text in (plain or compared).split(" + ")]
        for plain, compared in re.findall(r"\[([^\[\]]*)\]|<([^<>]*)>", detail)
    ]


def test_a_hint_for_another_rollers_notation(page: Any, base_url: str) -> None:
    open_page(page, base_url)
    shown = roll(page, 0, "2d20kh1+5")
    (hint,) = pipwerk_trace.trace("2d20kh1+5", seed=shown["seed"]).hints
    assert page.locator("#roll-result .hint-text").inner_text() == f"Hint: {hint}"


@pytest.mark.parametrize("expression", EXPRESSIONS)
def test_a_roll_shows_the_native_texts_and_dice(page: Any, base_url: str, expression: str) -> None:
    open_page(page, base_url)
    shown = roll(page, 0, expression)
    native = pipwerk.roll(expression, seed=shown["seed"])
    assert shown["full"] == native.full
    assert shown["summary"] == native.summary
    assert shown["dice"] == native_marks(expression, shown["seed"])
    # The marks agree with the detail text: it lists every die of a plain term and
    # the kept dice of a term with a comparison, "*" on dropped or failing dice.
    traced = pipwerk_trace.trace(expression, seed=shown["seed"]).dice
    listed = []
    for dice, term in zip(shown["dice"], traced):
        starred = "failure" if term.comparison is not None else "dropped"
        listed.append([
            (d["value"], ("*" if starred in d["marks"] else "") + ("!" if "earned-bonus" in d["marks"] else ""))
            for d in dice
            if term.comparison is None or "dropped" not in d["marks"]
        ])
    assert listed == detail_marks(native.detail)
    sources = page.locator("#roll-result .term-source").all_inner_texts()
    assert sources == [term.source for term in traced]
    tail = page.locator("#roll-result .message.tail")
    assert (tail.count() == 1) == (native.tail.strip() != "")
    assert page.errors == []


def test_kept_dice_add_up_to_the_total(page: Any, base_url: str) -> None:
    open_page(page, base_url)
    for keep in range(1, 6):
        shown = roll(page, 0, f"6d8k{keep}")
        (dice,) = shown["dice"]
        kept = [d["value"] for d in dice if "dropped" not in d["marks"]]
        assert len(dice) == 6 and len(kept) == keep
        assert sum(kept) == int(shown["summary"])
        # Keep takes the highest: no dropped die beats a kept one.
        dropped = [d["value"] for d in dice if "dropped" in d["marks"]]
        assert max(dropped, default=0) <= min(kept)


def test_a_counting_term_counts_its_marked_successes(page: Any, base_url: str) -> None:
    open_page(page, base_url)
    for expression in ["8d10k5>=7", "10d6<3", "6d6b5k4!=6"]:
        shown = roll(page, 0, expression)
        (dice,) = shown["dice"]
        assert sum("success" in d["marks"] for d in dice) == int(shown["summary"]), shown
        for d in dice:
            # Every kept die is a hit or a miss; a dropped one is neither.
            assert len({"success", "failure"} & d["marks"]) == (0 if "dropped" in d["marks"] else 1), shown


def test_dropped_dice_are_struck_through_not_only_coloured(page: Any, base_url: str) -> None:
    open_page(page, base_url)
    roll(page, 0, "10d6k1")
    faces = page.locator("#roll-result li.die.dropped .die-face")
    assert faces.count() == 9
    for face in faces.all():
        assert "line-through" in face.evaluate("f => getComputedStyle(f).textDecorationLine")
    labels = page.locator("#roll-result li.die.dropped").evaluate_all("ds => ds.map(d => d.getAttribute('aria-label'))")
    assert all(label.endswith(", dropped") for label in labels)


@pytest.mark.parametrize("expression", ["60d6", "1d1001", "11#1d6", "0d6"])
def test_an_engine_error_is_shown_with_its_message(page: Any, base_url: str, expression: str) -> None:
    open_page(page, base_url)
    shown = roll(page, 0, expression)
    with pytest.raises(ValueError) as raised:
        pipwerk.roll(expression, seed=shown["seed"])
    assert shown["error"] == str(raised.value)
    assert page.locator("#history li").first.inner_text().find(str(raised.value)) >= 0


def test_history_keeps_the_latest_rolls_newest_first(page: Any, base_url: str) -> None:
    open_page(page, base_url)
    rolled = [roll(page, 0, f"1d{faces}") for faces in range(2, 15)]
    items = page.locator("#history li").all_inner_texts()
    assert len(items) == 10
    for item, shown in zip(items, reversed(rolled)):
        assert shown["full"] in item and f"seed {shown['seed']}" in item


def test_keyboard_alone_rolls_and_is_announced(page: Any, base_url: str) -> None:
    open_page(page, base_url)
    page.keyboard.press("Tab")
    assert page.evaluate("document.activeElement.id") == "expression-0"
    page.keyboard.press("Control+A")
    page.keyboard.type("2d6+1")
    page.keyboard.press("Enter")
    page.wait_for_selector("#history li")
    page.keyboard.press("Tab")
    assert page.evaluate("document.activeElement.textContent") == "Roll"
    page.keyboard.press("Space")
    page.wait_for_function("document.querySelectorAll('#history li').length == 2")
    shown = read_roll(page)
    page.wait_for_function("document.getElementById('announcer').textContent.includes('rolled')")
    assert page.locator("#announcer").inner_text() == f"2d6+1 rolled {shown['summary']}"
    assert page.locator("#announcer").get_attribute("aria-live") == "polite"
