"""Reading and driving the page the way a person does: typing into the boxes,
pressing Enter, and reading back what the page shows."""

from __future__ import annotations

import urllib.parse
from typing import Any


def open_page(page: Any, base_url: str, expressions: list[str] | None = None) -> None:
    fragment = "" if not expressions else "#" + "&".join(urllib.parse.quote(e, safe="") for e in expressions)
    page.goto(base_url + fragment)
    wait_ready(page)


def wait_ready(page: Any) -> None:
    page.wait_for_selector("body[data-engine='ready']")
    page.wait_for_selector("body[data-odds='ready']")


def roll(page: Any, index: int, expression: str) -> dict[str, Any]:
    """Types an expression into box `index`, presses Enter, and reads the roll shown."""
    box = page.locator("input.expression-input").nth(index)
    box.fill(expression)
    before = page.evaluate("Number(document.body.dataset.rolls ?? 0)")
    box.press("Enter")
    page.wait_for_function(f"Number(document.body.dataset.rolls) > {before}")
    return read_roll(page)


def read_roll(page: Any) -> dict[str, Any]:
    panel = page.locator("#roll-result")
    seed_text = panel.locator(".roll-seed").inner_text()
    dice = [
        [{"value": int(d.get_attribute("data-value")), "marks": set((d.get_attribute("data-marks") or "").split())}
         for d in term.locator("li.die").all()]
        for term in panel.locator("ul.dice").all()
    ]
    full = panel.locator(".roll-full")
    error = panel.locator(".message.error")
    return {
        "seed": int(seed_text.removeprefix("seed ")),
        "full": full.inner_text() if full.count() else None,
        "summary": panel.locator(".roll-summary").inner_text() if full.count() else None,
        "error": error.inner_text() if error.count() else None,
        "dice": dice,
    }


def odds_tables(page: Any, index: int) -> list[dict[str, Any]]:
    """The rows of every element table of expression `index`: outcomes and errors."""
    block = page.locator(f"article.odds-block[data-index='{index}']")
    tables = []
    for table in block.locator("table.odds-table").all():
        rows = table.evaluate(
            """t => [...t.tBodies[0].rows].map(r => ({
                value: Number(r.dataset.value),
                p: [...r.cells].slice(1).map(c => Number(c.dataset.p)),
                text: [...r.cells].map(c => c.textContent)}))"""
        )
        errors = table.evaluate(
            """t => t.tBodies.length < 2 ? [] : [...t.tBodies[1].rows].map(r => ({
                message: r.dataset.error, p: Number(r.cells[1].dataset.p)}))"""
        )
        tables.append({"rows": rows, "errors": errors})
    return tables
