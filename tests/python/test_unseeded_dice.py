"""Dice without a seed: successive rolls must be independent of each other.

The statistic is Pearson's chi-square over the 20 x 20 cells of pairs of
successive 1d20 rolls, the pairs taken without overlap ((r0, r1), (r2, r3), ...)
so that for fair, independent dice it follows chi-square with 399 degrees of
freedom. Each test also shows that the statistic rejects the clock seeding
this library used to have, reimplemented here, on clock readings taken back
to back as the rolls under test were: the test is known to catch that fault.
"""

import math
import os
import shutil
import subprocess
import time

import pytest

np = pytest.importorskip("numpy")
pipwerk = pytest.importorskip("pipwerk")

FACES = 20
ROLLS = 400_000
GAMMA = 0x9E3779B97F4A7C15


def critical_value(probability=1e-6, degrees=FACES * FACES - 1):
    """The chi-square a fair generator exceeds with the given probability.

    Wilson-Hilferty: k (1 - 2/(9k) + z sqrt(2/(9k)))^3, with z the normal
    quantile found by bisection on erfc. For 10^-6 and 399 degrees it is
    548.08; the exact quantile is 547.95.
    """
    lo, hi = 0.0, 10.0
    for _ in range(100):
        z = (lo + hi) / 2
        lo, hi = (z, hi) if math.erfc(z / math.sqrt(2)) / 2 > probability else (lo, z)
    c = 2 / (9 * degrees)
    return degrees * (1 - c + lo * math.sqrt(c)) ** 3


CRITICAL = critical_value()


def pair_chi_square(rolls):
    rolls = np.asarray(rolls, dtype=np.int64)
    pairs = rolls[: len(rolls) // 2 * 2].reshape(-1, 2)
    assert pairs.min() >= 1 and pairs.max() <= FACES
    cells = np.bincount((pairs[:, 0] - 1) * FACES + (pairs[:, 1] - 1), minlength=FACES * FACES)
    expected = len(pairs) / (FACES * FACES)
    return float(((cells - expected) ** 2 / expected).sum())


def old_first_d20(readings, pid):
    """The first 1d20 under the old clock seeding: x = T + P * gamma, s0 = x * gamma | 1, unmixed."""
    with np.errstate(over="ignore"):
        x = np.asarray(readings, dtype=np.uint64) + np.uint64(pid) * np.uint64(GAMMA)
        s0 = (x * np.uint64(GAMMA)) | np.uint64(1)
        m = s0 * np.uint64(5)
        out = ((m << np.uint64(7)) | (m >> np.uint64(57))) * np.uint64(9)
    return (out % np.uint64(FACES)).astype(np.int64) + 1


def test_critical_value_is_the_one_in_a_million_point():
    # Exact quantiles of chi-square with 399 degrees of freedom, to within
    # the approximation's error.
    for probability, exact in [(1e-6, 547.95), (1e-3, 492.02), (0.05, 446.57)]:
        assert critical_value(probability) == pytest.approx(exact, abs=0.3)


def test_successive_module_rolls_are_independent():
    roll, clock = pipwerk.roll, time.time_ns
    readings, rolls = [], []
    for _ in range(ROLLS):
        readings.append(clock())
        rolls.append(roll("1d20").values[0])
    assert pair_chi_square(rolls) < CRITICAL
    # The clock read beside each call, through the old seeding: rejected.
    assert pair_chi_square(old_first_d20(readings, os.getpid())) > CRITICAL


def test_successive_cli_rolls_are_independent():
    cli = os.environ.get("PIPWERK_CLI") or shutil.which("pipwerk")
    if not cli:
        pytest.skip("pipwerk executable not found")
    with subprocess.Popen([cli, "--summary", "-n", str(ROLLS), "1d20"], stdout=subprocess.PIPE) as proc:
        out, _ = proc.communicate(timeout=120)
    assert proc.returncode == 0
    rolls = [int(line) for line in out.split()]
    assert len(rolls) == ROLLS
    assert pair_chi_square(rolls) < CRITICAL
    # The CLI's rolls come back to back; so do these readings of the clock,
    # and through the old seeding they are rejected.
    clock = time.time_ns
    readings = [clock() for _ in range(ROLLS)]
    assert pair_chi_square(old_first_d20(readings, proc.pid)) > CRITICAL
