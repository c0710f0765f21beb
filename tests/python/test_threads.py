"""Calls from several threads at once give the same results as one after another."""

import sys
from concurrent.futures import ThreadPoolExecutor

import pytest

from pipwerk import parse, roll

CASES = [(expression, seed) for expression in ("4d6k3", "3#2d10 + {1, 2, 3}", "d20 > 10", "1/0", "x") for seed in range(40)]


def outcome(expression, seed):
    try:
        return repr(roll(expression, seed=seed)), repr(parse(expression))
    except ValueError as error:
        return "ValueError", str(error)


@pytest.fixture
def frequent_switches():
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    yield
    sys.setswitchinterval(interval)


@pytest.mark.usefixtures("frequent_switches")
def test_seeded_rolls_in_threads_match_serial_rolls():
    expected = [outcome(expression, seed) for expression, seed in CASES]

    def run(offset):
        order = [(i + offset) % len(CASES) for i in range(len(CASES))]
        return [(i, outcome(*CASES[i])) for i in order for _ in range(3)]

    with ThreadPoolExecutor(max_workers=8) as pool:
        results = list(pool.map(run, range(0, 8 * 25, 25)))
    assert all(got == expected[i] for batch in results for i, got in batch)
