"""Repeated calls leave nothing behind: Python objects, type references and memory stay flat."""

import gc
import sys

import pytest

from flatness import STATM, allocated_blocks_growth, resident_growth
from pipwerk import ParseOutput, RollResult, parse, roll

LONG = "3#10d10k5 + {1, 2, 3} " + "x" * 100  # texts well beyond any small-string buffer


def exercise():
    result = roll(LONG, seed=5)
    repr(result), str(result), result.values, result.detail, result.summary, result.consumed, result.tail, result.is_set
    output = parse(LONG)
    repr(output), str(output), output.consumed, output.tail, output.success
    roll("d6 \u00a0 \u0301 \0", show_detail=False)
    for call in (lambda: roll("1/0"), lambda: roll("d6", seed=-1), lambda: roll("d6", seed=1.5),
                 lambda: roll(b"x"), lambda: roll("d6", show_detail=None), lambda: roll("d6", x=1),
                 lambda: parse(), lambda: RollResult()):
        try:
            call()
        except (ValueError, TypeError, OverflowError):
            pass


def test_instances_release_their_class():
    gc.collect()
    before = sys.getrefcount(RollResult), sys.getrefcount(ParseOutput)
    kept = [roll("d6") for _ in range(100)] + [parse("d6") for _ in range(100)]
    assert sys.getrefcount(RollResult) == before[0] + 100
    assert sys.getrefcount(ParseOutput) == before[1] + 100
    del kept
    assert (sys.getrefcount(RollResult), sys.getrefcount(ParseOutput)) == before


def test_python_objects_stay_flat():
    assert allocated_blocks_growth(exercise, warmup=200, rounds=3000) < 100


@pytest.mark.skipif(not STATM.exists(), reason="needs /proc/self/statm")
def test_resident_memory_stays_flat():
    # A leak of the C++ texts (hundreds of bytes a call) would add tens of megabytes.
    assert resident_growth(exercise, warmup=2000, rounds=30000) < 4 * 1024 * 1024


def fresh(text):
    """A str object of its own, not shared with constants or interned texts."""
    return "".join(list(text))


@pytest.mark.parametrize("call", [lambda e: roll(e, seed=1), parse], ids=["roll", "parse"])
@pytest.mark.parametrize("text", ["2d6 + 3 tail", "1,1,1", "\u00e9 d6", "4d6k3"])
def test_results_hold_one_reference_to_the_expression(call, text):
    expression = fresh(text)
    before = sys.getrefcount(expression)
    kept = [call(expression) for _ in range(10)]
    assert sys.getrefcount(expression) == before + 10
    del kept
    assert sys.getrefcount(expression) == before


@pytest.mark.parametrize(
    "call, error",
    [
        (lambda e: roll(e, seed=1), ValueError),
        (lambda e: roll(e, seed=-1), OverflowError),
        (lambda e: roll(e, seed=1.5), TypeError),
        (lambda e: roll(e, show_detail=1), TypeError),
        (lambda e: roll(e, seed=1, x=2), TypeError),
        (lambda e: roll("1/0", seed=e), TypeError),
    ],
    ids=["engine-error", "seed-range", "seed-type", "show-detail-type", "unknown-keyword", "expression-as-seed"],
)
def test_failed_calls_leave_the_expressions_count_as_it_was(call, error):
    # The call borrows the caller's str: a failure after reading it must
    # neither drop a reference it never took nor keep one.
    expression = fresh("1/0 + d6")
    before = sys.getrefcount(expression)
    for _ in range(10):
        with pytest.raises(error):
            call(expression)
    assert sys.getrefcount(expression) == before


@pytest.mark.parametrize("call", [lambda e: roll(e, seed=1), parse], ids=["roll", "parse"])
def test_texts_outlive_the_callers_expression(call):
    # The result keeps the expression alive: its texts still read right after
    # the caller drops its own reference and unrelated strings reuse memory.
    expression = fresh("1d6 + 2 and then some words é")
    result = call(expression)
    del expression
    gc.collect()
    noise = [fresh("x" * 29) for _ in range(1000)]
    assert (result.consumed, result.tail) == ("1d6 + 2", "and then some words é")
    del noise


class Text(str):
    pass


def test_str_subclass_expression_is_copied_not_kept():
    # A subclass instance can carry attributes and so join a reference cycle
    # the result could not report to the collector; the result keeps a plain copy.
    expression = Text("2d6 rest")
    before = sys.getrefcount(expression)
    output, result = parse(expression), roll(expression, seed=2)
    assert sys.getrefcount(expression) == before
    assert type(output.tail) is str and output.tail == "rest"
    assert type(result.consumed) is str and result.consumed == "2d6"
