"""Repeated odds and sample calls leave nothing behind: objects, class
references and memory stay flat, also on every error path."""

import gc
import sys

import pytest

from flatness import STATM, allocated_blocks_growth, resident_growth
from pipwerk_odds import Comparison, Odds, compare, odds, sample


def exercise():
    o = odds("2d6 + 1d4 tail")
    repr(o), o.consumed, o.tail, o.outcomes, o.errors, o.mean, o.stdev, o.variance, o.min, o.max
    o.median, o.mode, o.pmf(7), o.cdf(7), o.at_least(7), o.at_most(7), o.quantiles(10), o.histogram(width=60)
    s = odds("3#d6 + 1d6 / (1d2 - 1)")
    for element in s.elements:
        repr(element), element.outcomes, element.errors, element.histogram(ascii=True)
    sample("4d6k3", 50, 7), sample("{d6, d8}", 20, 1), sample("abc", 3)
    c = compare("1d20 + 5", "2d10")
    repr(c), c.greater, c.equal, c.less, c.failure, c.unordered
    for call in (lambda: odds("1/0"), lambda: odds("2d5000b5000"), lambda: odds(b"d6"),
                 lambda: odds("abc").mean, lambda: s.mean, lambda: s.pmf(1), lambda: o.quantiles(0),
                 lambda: o.pmf("x"), lambda: o.histogram(width=5), lambda: sample("1d6/(1d2-1)", 50, 0),
                 lambda: sample("d6", 2**40), lambda: sample("d6", -1), lambda: sample("d6", 1, seed=-1),
                 lambda: sample("d6", 1.5), lambda: Odds(), lambda: compare("{1, 2}", "d6"),
                 lambda: compare("abc", "d6"), lambda: compare("d6"), lambda: Comparison()):
        try:
            call()
        except (ValueError, TypeError, OverflowError):
            pass


def test_instances_release_their_class():
    gc.collect()
    before = sys.getrefcount(Odds)
    kept = [odds("d6") for _ in range(50)] + list(odds("4#d6").elements)
    assert sys.getrefcount(Odds) == before + 54
    del kept
    assert sys.getrefcount(Odds) == before
    before = sys.getrefcount(Comparison)
    contests = [compare("d6", "d8") for _ in range(20)]
    assert sys.getrefcount(Comparison) == before + 20
    del contests
    assert sys.getrefcount(Comparison) == before


def test_python_objects_stay_flat():
    assert allocated_blocks_growth(exercise, warmup=100, rounds=1500) < 100


def test_elements_keep_the_shared_record_alive():
    elements = odds("{1d6, 2d6}").elements  # the set's own object is gone at once
    gc.collect()
    assert [e.max for e in elements] == [6.0, 12.0]
    assert elements[1].errors == {}


@pytest.mark.skipif(not STATM.exists(), reason="needs /proc/self/statm")
def test_resident_memory_stays_flat():
    # The engine's records live outside Python's allocator: a lost record of
    # a few kilobytes a call would add tens of megabytes here.
    def engine_records():
        odds("20d6k10 + 1d8").elements[0].outcomes
        odds("{2d6, 1d6 / (1d2 - 1)}").elements
        sample("3#4d6k3", 100, 5)

    assert resident_growth(engine_records, warmup=1000, rounds=10000) < 4 * 1024 * 1024
