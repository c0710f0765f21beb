"""sample(): row i is roll(expression, seed=seed + i mod 2**64).values, and the
values follow the exact distribution."""

import bisect
import math
import random
import tracemalloc
from array import array

import pytest

import pipwerk
import pipwerk_odds
from pipwerk_odds import sample

TOP = 2**64 - 1


def rolled_rows(expression, n, seed):
    return [pipwerk.roll(expression, seed=(seed + i) % 2**64).values for i in range(n)]


def bits(values):
    """Exact identity of floats, sign of zero included."""
    return [v.hex() for v in values]


# (expression, first seed): scalars, sets and set arithmetic, and seeds that
# wrap past 2**64 - 1 inside the run.
ROW_CASES = [
    ("4d6k3", 0),
    ("4d6k3", 42),
    ("10d10>=7", 12345),
    ("2d20kl1 + 1d4 - 1", TOP - 2),
    ("3#4d6k3", TOP - 5),
    ("{d6, d8, 5} * 2", TOP),
    ("{1, 2} + {10, 20, 30}", 7),
    ("1d6 / (1d4 + 1)", 99),
    ("-{1d6, 2} / (1d2 - 1)", TOP - 1),
    ("50% * 3d6 + 0.5", 3),
    ("5d6b6k3", 2**63),
    ("7", 5),
    ("4d6k3 and then text", 11),
]


@pytest.mark.parametrize("expression, seed", ROW_CASES)
def test_rows_equal_seeded_rolls(expression, seed):
    n = 12
    want = rolled_rows(expression, n, seed)
    got = sample(expression, n, seed)
    assert isinstance(got, array) and got.typecode == "d"
    width = len(want[0])
    assert len(got) == n * width
    assert bits(got) == bits([v for row in want for v in row])  # row-major


def test_long_runs_keep_the_row_contract():
    # Long runs are filled in stretches, partly without the interpreter lock;
    # rows across the whole run, every power-of-two boundary included, and
    # across the seed's wrap, are still the seeded rolls.
    expression, n, seed = "{d6, 2d6}", 200_003, 2**64 - 100_000
    got = sample(expression, n, seed)
    rows = sorted({0, n - 1, 99_999, 100_000, *range(0, n, 4096), *range(4095, n, 4096),
                   *random.sample(range(n), 200)})
    for i in rows:
        assert list(got[2 * i:2 * i + 2]) == pipwerk.roll(expression, seed=(seed + i) % 2**64).values, i


def test_seed_keyword_and_index_objects():
    class Seed:
        def __index__(self):
            return 77

    want = sample("3d6", 5, 77)
    assert sample(expression="3d6", n=5, seed=Seed()) == want
    assert sample("3d6", True, seed=77) == want[:1]


def fails(expression, seed):
    try:
        pipwerk.roll(expression, seed=seed)
    except ValueError:
        return True
    return False


@pytest.mark.parametrize("expression, width, seed", [("1d6 / (1d2 - 1)", 1, 0), ("1d6 / (1d2 - 1)", 1, 1000),
                                                     ("{1d6 / (1d3 - 1), 2}", 2, 5)])
def test_first_failing_row_raises_its_error(expression, width, seed):
    start = next(s for s in range(seed, seed + 100) if not fails(expression, s))
    failing = next(i for i in range(1, 200) if fails(expression, start + i))
    with pytest.raises(ValueError, match="^division by zero$"):
        sample(expression, failing + 1, start)
    assert bits(sample(expression, failing, start)) == bits(sum(rolled_rows(expression, failing, start), []))
    assert len(sample(expression, failing, start)) == failing * width


@pytest.mark.parametrize("expression, message", [
    ("51d6", "dice count exceeds maximum (51), max is 50"),
    ("{1, {2}}", "parse error: unexpected pipwerk level"),
    ("11#d6", "repeat count exceeds maximum (11), max is 10"),
])
def test_certain_errors_raise_the_roll_message(expression, message):
    with pytest.raises(ValueError) as caught:
        sample(expression, 3, 1)
    assert caught.value.args == (message,)


@pytest.mark.parametrize("expression, n", [("abc", 5), ("", 3), ("4d6k3", 0), ("1/0", 0)])
def test_empty_results(expression, n):
    assert sample(expression, n, 1) == array("d")


@pytest.mark.parametrize("expression, n", [
    ("d6", 2**28 + 1),
    ("d6", 10**30),
    ("3#d6", 2**27),            # within the row limit, beyond it in values
    ("{1, 2, 3, 4, 5}", 2**26),
])
def test_too_large_raises_before_allocating(expression, n):
    tracemalloc.start()
    try:
        with pytest.raises(ValueError, match="^sample too large"):
            sample(expression, n, 1)
        _, peak = tracemalloc.get_traced_memory()
    finally:
        tracemalloc.stop()
    assert peak < 1 << 20


def test_largest_allowed_row_count_is_accepted_in_principle():
    # The limit counts values, not rows: a scalar may take 2**28 rows. Checked
    # without allocating 2 GiB: the failing first row shows the limit passed.
    with pytest.raises(ValueError, match="^division by zero$"):
        sample("1/0", 2**28, 1)


@pytest.mark.parametrize("args, kwargs, error, message", [
    ((b"d6", 1), {}, TypeError, "argument 'expression': 'bytes' object cannot be converted to 'PyString'"),
    (("d6", 1.5), {}, TypeError, "argument 'n': 'float' object cannot be interpreted as an integer"),
    (("d6", "3"), {}, TypeError, "argument 'n': 'str' object cannot be interpreted as an integer"),
    (("d6", -1), {}, ValueError, "n must be at least 0"),
    (("d6", 1, 1.0), {}, TypeError, "argument 'seed': 'float' object cannot be interpreted as an integer"),
    (("d6", 1, -1), {}, OverflowError, None),
    (("d6", 1, 2**64), {}, OverflowError, None),
    (("d6",), {}, TypeError, "sample() missing 1 required positional argument: 'n'"),
    ((), {}, TypeError, "sample() missing 2 required positional arguments: 'expression' and 'n'"),
    (("d6", 1, 2, 3), {}, TypeError, "sample() takes from 2 to 3 positional arguments but 4 were given"),
    (("d6", 1), {"x": 1}, TypeError, "sample() got an unexpected keyword argument 'x'"),
    (("d6", 1), {"n": 1}, TypeError, "sample() got multiple values for argument 'n'"),
    (("\ud800", 1), {}, UnicodeEncodeError, None),
])
def test_argument_errors(args, kwargs, error, message):
    with pytest.raises(error) as caught:
        sample(*args, **kwargs)
    if message is not None:
        assert str(caught.value) == message


def test_unseeded_runs_differ():
    runs = {tuple(sample("1d1000", 8)) for _ in range(5)}
    assert len(runs) == 5


# ---- the values against the exact distribution

def chi_square_upper_tail(x, df):
    """P(X >= x) for X chi-square with df degrees of freedom: the regularized
    upper incomplete gamma Q(df/2, x/2), by its series below a + 1 and its
    continued fraction (modified Lentz) above."""
    a, z = df / 2, x / 2
    if z <= 0:
        return 1.0
    log_front = a * math.log(z) - z - math.lgamma(a)
    if z < a + 1:
        term = total = 1 / a
        k = a
        while abs(term) > abs(total) * 1e-16:
            k += 1
            term *= z / k
            total += term
        return 1 - total * math.exp(log_front)
    tiny = 1e-300
    b = z + 1 - a
    c, dd = 1 / tiny, 1 / b
    h = dd
    for i in range(1, 10_000):
        an = -i * (i - a)
        b += 2
        dd = an * dd + b
        dd = tiny if abs(dd) < tiny else dd
        c = b + an / c
        c = tiny if abs(c) < tiny else c
        dd = 1 / dd
        h *= dd * c
        if abs(dd * c - 1) < 1e-16:
            break
    return h * math.exp(log_front)


def chi_square_critical(df, alpha):
    """The x with P(X >= x) = alpha, by bisection on the exact tail."""
    lo, hi = 0.0, df + 100 * math.sqrt(df) + 100
    for _ in range(200):
        mid = (lo + hi) / 2
        lo, hi = (mid, hi) if chi_square_upper_tail(mid, df) > alpha else (lo, mid)
    return (lo + hi) / 2


ALPHA = 1e-6  # a correct engine fails less than once in a million runs


def normal_upper_critical(alpha):
    """The z with erfc(z / sqrt 2) = alpha: the two-sided normal cut."""
    lo, hi = 0.0, 40.0
    for _ in range(200):
        mid = (lo + hi) / 2
        lo, hi = (mid, hi) if math.erfc(mid / math.sqrt(2)) > alpha else (lo, mid)
    return (lo + hi) / 2


@pytest.mark.parametrize("df, known", [
    (1, normal_upper_critical(ALPHA) ** 2),  # a squared standard normal
    (2, -2 * math.log(ALPHA)),               # an exponential of mean 2
    (4, None),                               # Q(2, x/2) = e^(-x/2) (1 + x/2)
])
def test_critical_value_helper(df, known):
    x = chi_square_critical(df, ALPHA)
    if known is not None:
        assert x == pytest.approx(known, rel=1e-9)
    if df == 4:
        assert math.exp(-x / 2) * (1 + x / 2) == pytest.approx(ALPHA, rel=1e-9)


def merged_cells(outcomes, n, minimum=20.0):
    """Adjacent values pooled, from the lowest up, until every cell expects at
    least `minimum` rolls; a short last cell joins the one before. Gives the
    upper edges of the cells and their expected counts. Twenty rather than the
    textbook five keeps the chi-square law close to the statistic's true law
    out in the tail where the threshold sits."""
    edges, expected, pending = [], [], 0.0
    for value, p in outcomes:
        pending += p * n
        if pending >= minimum:
            edges.append(value)
            expected.append(pending)
            pending = 0.0
    if pending:
        expected[-1] += pending
        edges[-1] = outcomes[-1][0]
    return edges, expected


def chi_square(values, outcomes):
    edges, expected = merged_cells(outcomes, len(values))
    observed = [0] * len(edges)
    for v in values:
        observed[bisect.bisect_left(edges, v)] += 1
    statistic = sum((o - e) ** 2 / e for o, e in zip(observed, expected))
    return statistic, len(edges) - 1


SAMPLED = ["4d6k3", "2d20kl1 + 1d4 - 1", "10d10>=7", "6d10k3", "5d6b6"]


@pytest.mark.parametrize("expression", SAMPLED)
def test_sample_follows_the_exact_distribution(expression):
    seed = random.getrandbits(64)
    values = sample(expression, 10**5, seed)
    statistic, df = chi_square(values, pipwerk_odds.odds(expression).outcomes)
    assert statistic < chi_square_critical(df, ALPHA), f"seed {seed}: chi-square {statistic:.1f} on {df} df"


def shifted(outcomes, source, target, mass):
    """The distribution with `mass` of probability moved from one value to another."""
    return [(v, p - mass if v == source else p + mass if v == target else p) for v, p in outcomes]


# (expression, a wrong distribution for it): plainly wrong ones, and one only
# 1% of the probability away from the truth.
IMPOSTORS = [
    ("4d6k3", lambda: pipwerk_odds.odds("3d6 + 1").outcomes),
    ("10d10>=7", lambda: pipwerk_odds.odds("10d10>7").outcomes),
    ("2d20kl1 + 1d4 - 1", lambda: pipwerk_odds.odds("2d20kl1 + 1d4").outcomes),
    ("4d6k3", lambda: shifted(pipwerk_odds.odds("4d6k3").outcomes, 12.0, 13.0, 0.01)),
]


@pytest.mark.parametrize("expression, impostor", IMPOSTORS)
def test_the_chi_square_rejects_a_wrong_distribution(expression, impostor):
    # The same test against a wrong distribution must fail, or it could not
    # catch a wrong engine either.
    values = sample(expression, 10**5, 2024)
    statistic, df = chi_square(values, impostor())
    assert statistic > chi_square_critical(df, ALPHA)


def test_set_columns_follow_their_element():
    width, n = 3, 30_000
    values = sample("{1d6, 2d6, 1d6 + 1d8}", n, random.getrandbits(64))
    elements = pipwerk_odds.odds("{1d6, 2d6, 1d6 + 1d8}").elements
    for column, element in enumerate(elements):
        statistic, df = chi_square(values[column::width], element.outcomes)
        assert statistic < chi_square_critical(df, ALPHA)
