"""Repeated odds and sample calls leave nothing behind: objects, class
references and memory stay flat, also on every error path."""

import gc
import sys

from pipwerk_odds import Odds, odds, sample


def exercise():
    o = odds("2d6 + 1d4 tail")
    repr(o), o.consumed, o.tail, o.outcomes, o.errors, o.mean, o.stdev, o.variance, o.min, o.max
    o.median, o.mode, o.pmf(7), o.cdf(7), o.at_least(7), o.at_most(7), o.quantiles(10), o.histogram(width=40)
    s = odds("3#d6 + 1d6 / (1d2 - 1)")
    for element in s.elements:
        repr(element), element.outcomes, element.errors, element.histogram(ascii=True)
    sample("4d6k3", 50, 7), sample("{d6, d8}", 20, 1), sample("abc", 3)
    for call in (lambda: odds("1/0"), lambda: odds("50d1000 * 50d1000"), lambda: odds(b"d6"),
                 lambda: odds("abc").mean, lambda: s.mean, lambda: s.pmf(1), lambda: o.quantiles(0),
                 lambda: o.pmf("x"), lambda: o.histogram(width=5), lambda: sample("1d6/(1d2-1)", 50, 0),
                 lambda: sample("d6", 2**40), lambda: sample("d6", -1), lambda: sample("d6", 1, seed=-1),
                 lambda: sample("d6", 1.5), lambda: Odds()):
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


def test_python_objects_stay_flat():
    for _ in range(100):
        exercise()
    gc.collect()
    before = sys.getallocatedblocks()
    for _ in range(1500):
        exercise()
    gc.collect()
    assert sys.getallocatedblocks() - before < 100


def test_elements_keep_the_shared_record_alive():
    elements = odds("{1d6, 2d6}").elements  # the set's own object is gone at once
    gc.collect()
    assert [e.max for e in elements] == [6.0, 12.0]
    assert elements[1].errors == {}
