"""Repeated calls leave nothing behind: Python objects, type references and memory stay flat."""

import gc
import sys
from pathlib import Path

import pytest

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
    for _ in range(200):
        exercise()
    gc.collect()
    before = sys.getallocatedblocks()
    for _ in range(3000):
        exercise()
    gc.collect()
    assert sys.getallocatedblocks() - before < 100


STATM = Path("/proc/self/statm")


def resident_bytes():
    import os

    return int(STATM.read_text().split()[1]) * os.sysconf("SC_PAGE_SIZE")


@pytest.mark.skipif(not STATM.exists(), reason="needs /proc/self/statm")
def test_resident_memory_stays_flat():
    # A leak of the C++ texts (hundreds of bytes a call) would add tens of megabytes.
    for _ in range(2000):
        exercise()
    before = resident_bytes()
    for _ in range(30000):
        exercise()
    assert resident_bytes() - before < 4 * 1024 * 1024
