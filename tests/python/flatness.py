"""Growth of Python's allocated blocks and of resident memory over repeated
calls, for the leak tests of both modules."""

import gc
import os
import sys
from pathlib import Path

STATM = Path("/proc/self/statm")


def resident_bytes():
    return int(STATM.read_text().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def allocated_blocks_growth(exercise, warmup, rounds):
    """Blocks still allocated after `rounds` calls, once `warmup` calls have filled the caches."""
    for _ in range(warmup):
        exercise()
    gc.collect()
    before = sys.getallocatedblocks()
    for _ in range(rounds):
        exercise()
    gc.collect()
    return sys.getallocatedblocks() - before


def resident_growth(exercise, warmup, rounds):
    """Bytes of resident memory gained over `rounds` calls after `warmup` calls."""
    for _ in range(warmup):
        exercise()
    before = resident_bytes()
    for _ in range(rounds):
        exercise()
    return resident_bytes() - before
