"""Statistics of pipwerk_odds against exact fractions.

The mean and variance must hold every digit the outcomes' doubles carry,
however far from zero or however large and cancelling the outcomes are; the
median, quantiles and mode follow their documented definitions with no
tolerance, checked in exact rational arithmetic over the outcomes given.
"""

import itertools
import math
from fractions import Fraction

import pytest

from pipwerk_odds import odds

RELATIVE = 1e-12
BIG = "1" + "0" * 300 + ".0"  # BIG * BIG overflows to infinity


def law_of(outcomes):
    """The outcomes as exact fractions (value, probability), NaN left out."""
    return [(Fraction(v), Fraction(p)) for v, p in outcomes if not math.isnan(v)]


def exact_moments(law):
    total = sum(p for _, p in law)
    mean = sum(v * p for v, p in law) / total
    variance = sum((v - mean) ** 2 * p for v, p in law) / total
    return mean, variance


def close(got, want):
    return abs(Fraction(got) - want) <= RELATIVE * abs(want) or (want == 0 and got == 0)


def dice_law(values):
    """The law of equally likely rolls, as fractions."""
    counts = {}
    for v in values:
        counts[v] = counts.get(v, 0) + 1
    n = len(values)
    return [(Fraction(v), Fraction(c, n)) for v, c in sorted(counts.items())]


# (expression, the exact law from the dice themselves, or None to take the
# outcomes' own doubles as the exact law)
MOMENT_CASES = [
    ("9007199254740992 + 2d6*2",
     dice_law([2**53 + 2 * (a + b) for a, b in itertools.product(range(1, 7), repeat=2)])),
    ("4611686018427387904 + 1d6*1024", dice_law([2**62 + 1024 * a for a in range(1, 7)])),
    ("-4611686018427387904 - 3d4*4096",
     dice_law([-(2**62) - 4096 * sum(r) for r in itertools.product(range(1, 5), repeat=3)])),
    ("(1d4) * -9223372036854775807 / (1d3 - 2)+(-1.25 / (0.2))", None),
    ("1d1000 * 9.2e18 - 1d1000 * 9.2e18 + 1d6", None),
    ("4d6k3", None),
    ("1d3b3kl1", None),
    (f"1{'0' * 150}.0 + 1d6 * 1{'0' * 134}.0", None),  # 1e150 + 1d6 * 1e134
]


@pytest.mark.parametrize("expression, exact", MOMENT_CASES, ids=[c[0] for c in MOMENT_CASES])
def test_mean_and_variance_are_exact(expression, exact):
    o = odds(expression)
    law = exact if exact is not None else law_of(o.outcomes)
    if exact is not None:
        # The outcomes themselves are those of the dice.
        assert [v for v, _ in o.outcomes] == [float(v) for v, _ in exact]
    mean, variance = exact_moments(law)
    assert close(o.mean, mean), (o.mean, float(mean))
    assert close(o.variance, variance), (o.variance, float(variance))
    assert close(o.stdev**2, variance) or math.isclose(o.stdev**2, float(variance), rel_tol=4e-16)


def exact_quantile(law, q):
    """The smallest v with P(<= v) >= q * P(success), exactly."""
    total = sum(p for _, p in law)
    below = Fraction(0)
    for v, p in law:
        below += p
        if below >= q * total:
            return v
    return law[-1][0]


QUANTILE_CASES = ["1d3b3kl1", "1d2", "2d6", "4d6k3", "1d4/(1d2-1)", "3d6b6kl2", "10d10>=7", "1d20 - 1d20",
                  "50d6", "1d6 * 0.1 + 1d3 * 0.2", "6#1d2"]


@pytest.mark.parametrize("expression", QUANTILE_CASES)
def test_median_quantiles_and_mode_follow_their_definitions(expression):
    for element in odds(expression).elements:
        law = law_of(element.outcomes)
        assert element.median == exact_quantile(law, Fraction(1, 2))
        for n in (2, 3, 4, 7, 10, 100):
            want = [float(exact_quantile(law, Fraction(i, n))) for i in range(1, n)]
            assert element.quantiles(n) == want, n
        # The most likely value, the smallest of equals, probabilities as stored.
        top = max(p for _, p in element.outcomes)
        assert element.mode == min(v for v, p in element.outcomes if p == top)


def test_a_median_a_hair_past_the_half():
    # P(<= 1) = (1 - 3**-50) / 2, short of a half: the median is 2.
    assert odds("1d3b3kl1").median == 2.0
    # Exactly a half below and above: the smaller value.
    assert odds("1d2").median == 1.0
    assert odds("1d4").quantiles(4) == [1.0, 2.0, 3.0]


def test_nan_outcomes_read_sensibly():
    # 0 - 0, inf - 0, 0 - inf and inf - inf: -inf, 0, inf and NaN, each a quarter.
    o = odds(f"(1d2 - 1) * {BIG} * {BIG} - (1d2 - 1) * {BIG} * {BIG}")
    assert o.tail == ""
    values = [v for v, _ in o.outcomes]
    assert values[:3] == [-math.inf, 0.0, math.inf] and math.isnan(values[3])
    assert math.isnan(o.mean) and math.isnan(o.variance) and math.isnan(o.stdev)
    assert (o.min, o.max) == (-math.inf, math.inf)
    assert o.median == 0.0
    assert o.quantiles(4) == [-math.inf, 0.0, math.inf]
    assert math.isnan(o.quantiles(8)[-1])  # past P(<= inf) = 3/4: the NaN, ordered last
    assert "nan" in repr(o).lower()
