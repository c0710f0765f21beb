"""docs/CONTRIBUTING.md lists the steps tools/run_tests.sh runs, in its order.

The script names each step with `step "TITLE"`; the page's numbered list
starts each item with the title in bold. A step added to the script, or one
renamed or dropped, fails here until the page says so.
"""

import re
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
SCRIPT = ROOT / "tools" / "run_tests.sh"
PAGE = ROOT / "docs" / "CONTRIBUTING.md"
SECTION = "### What `bash .ci/run` does"

STEP_CALL = re.compile(r'^\s*step "(?P<title>[^"]+)"\s*$', re.MULTILINE)
LIST_ITEM = re.compile(r"^\s*\d+\.\s+\*\*(?P<title>[^*]+)\*\*", re.MULTILINE)
SHELL_VARIABLE = re.compile(r"\$\{[^}]+\}|\$\w+")


def script_steps(script: str) -> list[str]:
    return [m["title"] for m in STEP_CALL.finditer(script)]


def documented_steps(page: str) -> list[str]:
    start = page.index(SECTION) + len(SECTION)
    following = page.find("\n#", start)
    section = page[start:] if following < 0 else page[start:following]
    return [m["title"] for m in LIST_ITEM.finditer(section)]


def title_pattern(title: str) -> re.Pattern[str]:
    # A title made from a variable ("on CPython $version") stands for any text there.
    parts = SHELL_VARIABLE.split(title)
    return re.compile(".+".join(re.escape(part) for part in parts) + r"\Z")


def mismatches(script: str, page: str) -> list[str]:
    run, shown = script_steps(script), documented_steps(page)
    problems = [
        f"step {i + 1}: the script runs {r!r}, the page says {s!r}"
        for i, (r, s) in enumerate(zip(run, shown))
        if not title_pattern(r).match(s)
    ]
    problems += [f"step {i + 1}: {r!r} is not on the page" for i, r in enumerate(run[len(shown):], len(shown))]
    problems += [f"step {i + 1}: {s!r} is not in the script" for i, s in enumerate(shown[len(run):], len(run))]
    return problems


def test_contributing_lists_the_steps_of_the_test_script():
    script = SCRIPT.read_text(encoding="utf-8")
    assert len(script_steps(script)) >= 5, "the script's steps were not found: is `step \"...\"` still its form?"
    assert mismatches(script, PAGE.read_text(encoding="utf-8")) == []


SCRIPT_SAMPLE = 'step "Build"\nfor v in 1 2; do\n  step "Suites on CPython $version"\ndone\nstep "Fuzzing"\n'


@pytest.mark.parametrize(
    "items, problems",
    [
        (["Build", "Suites on CPython X.Y.Z", "Fuzzing"], []),
        (["Build", "Suites on CPython 3.12.1", "Fuzzing"], []),
        (["Build", "Fuzzing"], ["the script runs 'Suites on CPython $version', the page says 'Fuzzing'",
                                "'Fuzzing' is not on the page"]),
        (["Build", "Suites on CPython X.Y.Z", "Fuzzing", "Deploy"], ["'Deploy' is not in the script"]),
        (["Build", "Suites on CPython", "Fuzzing"], ["the page says 'Suites on CPython'"]),
        (["Build", "Suites on CPython X.Y.Z", "Fuzzing now"], ["the page says 'Fuzzing now'"]),
    ],
)
def test_a_drifted_list_is_caught(items, problems):
    page = SECTION + "\n\nIntro.\n\n" + "".join(f"{i}. **{t}**: what it does.\n" for i, t in enumerate(items, 1))
    page += "\n## Next section\n\n1. **Not a step**\n"
    found = mismatches(SCRIPT_SAMPLE, page)
    assert len(found) == len(problems)
    for line, expected in zip(found, problems):
        assert expected in line
