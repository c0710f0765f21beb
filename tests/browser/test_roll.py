"""Rolling on the page: the texts must be those of the native engine for the seed
the page shows, and every die must carry the marks its detail text gives it."""

from __future__ import annotations

import re
from typing import Any

import pipwerk
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
    "{1d6, 2d8k1} * 2",
    "3#4d6k3",
    "1d20 + 3 and some words",
]


def native_marks(detail: str) -> list[list[dict[str, Any]]]:
    """The dice of a detail text read on the Python side: "[...]" plain terms,
    where "*" is dropped, and "<...>" comparison terms, where "*" is a failure;
    "!" earned a bonus die, and in a plain term the bonus dice are the last ones,
    one per "!"."""
    terms = []
    for plain, compared in re.findall(r"\[([^\[\]]*)\]|<([^<>]*)>", detail):
        texts = (plain or compared).split(" + ")
        added = sum(text.endswith("!") for text in texts) if plain else 0
        dice = []
        for position, text in enumerate(texts):
            marks = set()
            if "*" in text:
                marks.add("failure" if compared else "dropped")
            elif compared:
                marks.add("success")
            if text.endswith("!"):
                marks.add("earned-bonus")
            if position >= len(texts) - added:
                marks.add("bonus-die")
            dice.append({"value": int(text.rstrip("*!")), "marks": marks})
        terms.append(dice)
    return terms


@pytest.mark.parametrize("expression", EXPRESSIONS)
def test_a_roll_shows_the_native_texts_and_dice(page: Any, base_url: str, expression: str) -> None:
    open_page(page, base_url)
    shown = roll(page, 0, expression)
    native = pipwerk.roll(expression, seed=shown["seed"])
    assert shown["full"] == native.full
    assert shown["summary"] == native.summary
    assert shown["dice"] == native_marks(native.detail)
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
