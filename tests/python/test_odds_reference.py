"""Exact odds of large dice terms against icepool, an independent exact engine.

icepool computes each distribution in exact integer counts by its own pool
algorithms; its fractions, converted to float, must match pipwerk_odds to
1e-12 relative, value by value, with nothing missing or extra.
"""

import math
from fractions import Fraction

import icepool
import pytest
from icepool import d

import pipwerk_odds

TOLERANCE = 1e-12


def keep_high(faces, count, keep):
    return d(faces).pool(count).highest(keep).sum()


def keep_low(faces, count, keep):
    return d(faces).pool(count).lowest(keep).sum()


def successes(faces, count, keep, test):
    """Dice kept from the top that pass `test`, counted."""
    return d(faces).pool(count).highest(keep).keep_outcomes(test).size()


# (expression, icepool equivalent); the equivalents are written out by hand.
CASES = [
    # keep highest and lowest, up to 50 dice
    ("50d6k25", lambda: keep_high(6, 50, 25)),
    ("50d20kl10", lambda: keep_low(20, 50, 10)),
    ("20d100k5", lambda: keep_high(100, 20, 5)),
    ("4d6k3", lambda: keep_high(6, 4, 3)),
    ("6d10k3", lambda: keep_high(10, 6, 3)),
    ("20d20k10", lambda: keep_high(20, 20, 10)),
    ("5d8kl4", lambda: keep_low(8, 5, 4)),
    ("50d2k49", lambda: keep_high(2, 50, 49)),
    ("2d1000kl1", lambda: d(1000).lowest(2, 1)),  # the pool form recurses too deep in icepool
    ("7d12k1", lambda: keep_high(12, 7, 1)),
    # success counts, with and without keep, "!=" not monotone in the face
    ("10d10>=7", lambda: 10 @ (d(10) >= 7)),
    ("20d6k10>4", lambda: successes(6, 20, 10, lambda x: x > 4)),
    ("30d10k15!=3", lambda: successes(10, 30, 15, lambda x: x != 3)),
    ("12d8<3", lambda: 12 @ (d(8) < 3)),
    ("50d20<=1", lambda: 50 @ (d(20) <= 1)),
    ("9d6kl4>=5", lambda: d(6).pool(9).lowest(4).keep_outcomes(lambda x: x >= 5).size()),
    # plain sums
    ("8d6", lambda: 8 @ d(6)),
    ("50d8", lambda: 50 @ d(8)),
    ("3d1000", lambda: 3 @ d(1000)),
    ("1d2", lambda: d(2)),
    # arithmetic on independent terms
    ("2d20kl1 + 1d4 - 1", lambda: keep_low(20, 2, 1) + d(4) - 1),
    ("3d6 * 2 - 1d8", lambda: (3 @ d(6)) * 2 - d(8)),
    ("-2d4 + 4d6k3", lambda: -(2 @ d(4)) + keep_high(6, 4, 3)),
    ("1d6 * 1d6 - (1d4 - 2) * 3", lambda: d(6) * d(6) - (d(4) - 2) * 3),
    ("(1d10 + 1d10) * (5d4k2 - 3)", lambda: (d(10) + d(10)) * (keep_high(4, 5, 2) - 3)),
]


def as_floats(die):
    """icepool's exact distribution as {value: probability}, converted to float."""
    denominator = die.denominator()
    return {float(value): float(Fraction(count, denominator)) for value, count in die.items() if count}


def assert_same_distribution(got_pairs, want):
    got = dict(got_pairs)
    assert len(got) == len(got_pairs), "values repeat"
    assert [v for v, _ in got_pairs] == sorted(got), "values not ascending"
    assert got.keys() == want.keys()
    worst = max(abs(got[v] - p) / p for v, p in want.items())
    assert worst <= TOLERANCE, f"worst relative error {worst:.3g}"


@pytest.mark.parametrize("expression, reference", CASES, ids=[c[0] for c in CASES])
def test_matches_icepool(expression, reference):
    result = pipwerk_odds.odds(expression)
    assert result.errors == {}
    assert_same_distribution(result.outcomes, as_floats(reference()))
    assert abs(math.fsum(p for _, p in result.outcomes) - 1) <= TOLERANCE


# Sets: each element is the exact marginal of its own dice, and a scalar
# operand reaches every element with the same draw (marginals unaffected).
SET_CASES = [
    ("3#4d6k3", [lambda: keep_high(6, 4, 3)] * 3),
    ("{2d6, 1d8 * 2, 5}", [lambda: 2 @ d(6), lambda: d(8) * 2, lambda: icepool.Die([5])]),
    ("{1d6, 1d8} + 1d4", [lambda: d(6) + d(4), lambda: d(8) + d(4)]),
    ("{1d6, 3d6k2} - {1d4, 10}", [lambda: d(6) - d(4), lambda: keep_high(6, 3, 2) - 10]),
]


@pytest.mark.parametrize("expression, references", SET_CASES, ids=[c[0] for c in SET_CASES])
def test_set_elements_match_icepool(expression, references):
    result = pipwerk_odds.odds(expression)
    assert result.is_set and len(result.elements) == len(references)
    for element, reference in zip(result.elements, references):
        assert_same_distribution(element.outcomes, as_floats(reference()))
