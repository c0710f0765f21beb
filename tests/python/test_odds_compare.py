"""pipwerk_odds.compare against brute force: every pair of rolls of two small
expressions, enumerated with exact fractions."""

import itertools
import math
from fractions import Fraction

import pytest

import pipwerk_odds
from pipwerk_odds import Comparison, compare, odds

RELATIVE = 1e-12


def rolls(faces_list, value):
    """The law of value(*dice) over every roll of the dice, as fractions."""
    law = {}
    total = math.prod(faces_list)
    for dice in itertools.product(*(range(1, f + 1) for f in faces_list)):
        v = value(*dice)
        law[v] = law.get(v, 0) + Fraction(1, total)
    return law


def contest(a, b):
    """(greater, equal, less, failure) of two laws; a value None is a failed roll."""
    g = e = l = f = Fraction(0)
    for (x, px), (y, py) in itertools.product(a.items(), b.items()):
        if x is None or y is None:
            f += px * py
        elif x > y:
            g += px * py
        elif x == y:
            e += px * py
        else:
            l += px * py
    return g, e, l, f


def divided(x, y):
    return None if y == 0 else Fraction(x, y)


# (a, b, the law of a, the law of b), both laws from the dice themselves.
CASES = [
    ("1d6", "1d6", rolls([6], lambda x: x), rolls([6], lambda x: x)),
    ("1d20+5", "2d10", rolls([20], lambda x: x + 5), rolls([10, 10], lambda x, y: x + y)),
    ("3d6k2", "1d8+1d4", rolls([6, 6, 6], lambda *d: sum(sorted(d)[1:])), rolls([8, 4], lambda x, y: x + y)),
    ("2d20kl1", "1d20", rolls([20, 20], min), rolls([20], lambda x: x)),
    ("1d6/(1d2-1)", "1d4", rolls([6, 2], lambda x, y: divided(x, y - 1)), rolls([4], lambda x: x)),
    ("1d4", "1d6/(1d3-1)", rolls([4], lambda x: x), rolls([6, 3], lambda x, y: divided(x, y - 1))),
    ("1d4*0.5", "1d2", rolls([4], lambda x: Fraction(x, 2)), rolls([2], lambda x: x)),
    ("5d2>=2", "1d6", rolls([2] * 5, lambda *d: sum(x >= 2 for x in d)), rolls([6], lambda x: x)),
    ("7", "1d10", {7: Fraction(1)}, rolls([10], lambda x: x)),
]


@pytest.mark.parametrize("a, b, law_a, law_b", CASES, ids=[f"{c[0]} vs {c[1]}" for c in CASES])
def test_compare_agrees_with_every_pair_of_rolls(a, b, law_a, law_b):
    got = compare(a, b)
    want = contest(law_a, law_b)
    for name, value in zip(("greater", "equal", "less", "failure"), want):
        assert math.isclose(getattr(got, name), value, rel_tol=RELATIVE, abs_tol=0), name
    assert got.unordered == 0.0
    swapped = compare(b, a)
    assert (swapped.greater, swapped.less) == (got.less, got.greater)


def test_compare_matches_the_two_odds():
    # Against the marginals odds() gives, paired exactly: a NaN on either side
    # is neither greater, equal nor less.
    big = "1" + "0" * 300 + ".0"
    infinities = f"(1d2 - 1) * {big} * {big} - (1d2 - 1) * {big} * {big}"
    for a, b in [(infinities, "1d3"), ("1d3", infinities), ("4d6k3", "3d6"), ("1d10 - 5", "1d4 * -1")]:
        got = compare(a, b)
        pa = [(v if not math.isnan(v) else None, Fraction(p)) for v, p in odds(a).outcomes]
        pb = [(v if not math.isnan(v) else None, Fraction(p)) for v, p in odds(b).outcomes]
        unordered = sum(p * q for (x, p), (y, q) in itertools.product(pa, pb) if x is None or y is None)
        pairs = [(x, y, p * q) for (x, p), (y, q) in itertools.product(pa, pb) if x is not None and y is not None]
        assert math.isclose(got.greater, sum(w for x, y, w in pairs if x > y), rel_tol=RELATIVE)
        assert math.isclose(got.less, sum(w for x, y, w in pairs if x < y), rel_tol=RELATIVE)
        assert math.isclose(got.equal, sum(w for x, y, w in pairs if x == y), rel_tol=RELATIVE, abs_tol=0)
        assert math.isclose(got.unordered, unordered, rel_tol=RELATIVE, abs_tol=0)
        assert math.isclose(got.greater + got.equal + got.less + got.failure + got.unordered, 1.0, rel_tol=1e-15)


def test_a_roll_that_always_fails_is_a_certain_failure():
    got = compare("51d6", "1d6")
    assert (got.greater, got.equal, got.less, got.failure) == (0.0, 0.0, 0.0, 1.0)


@pytest.mark.parametrize("a, b, message", [
    ("{1d6, 2}", "1d6", "cannot compare a set: {1d6, 2}"),
    ("1d6", "3#1d6", "cannot compare a set: 3#1d6"),
    ("abc", "1d6", 'cannot compare: nothing parsed in "abc"'),
    ("1d6", "50d1000 * 50d1000", "too large for exact odds: a product of 49951 by 49951 outcomes"),
])
def test_compare_refuses_what_gives_no_single_value(a, b, message):
    with pytest.raises(ValueError) as raised:
        compare(a, b)
    assert raised.value.args == (message,)


def test_the_result_is_small_typed_and_read_only():
    got = compare("1d6", "1d6")
    assert type(got) is Comparison
    assert repr(got).startswith("Comparison(greater=0.41666")
    with pytest.raises(AttributeError):
        got.greater = 1.0
    with pytest.raises(TypeError):
        Comparison()
    with pytest.raises(TypeError):
        compare("1d6")
    with pytest.raises(TypeError):
        compare(1, "1d6")
    assert compare(a="1d6", b="1d4").greater == compare("1d6", "1d4").greater
    assert compare.__text_signature__ == "(a, b)"
