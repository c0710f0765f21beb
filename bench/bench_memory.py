"""Resident memory stays flat over a million calls.

    python bench/bench_memory.py [--check] [--calls N]

Runs a mix of calls (rolls with and without detail, sets, errors raised as
ValueError, unparsed input, parse) and compares the resident set size after
10^4 calls with the size after --calls (default 10^6). A leak of even one
byte per call would show as about 1 MB.
"""

import argparse
import gc
import os
import sys

import pipwerk

LIMIT = 1 << 20  # bytes
PAGE = os.sysconf("SC_PAGE_SIZE")


def rss_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * PAGE


def one_call(i):
    kind = i % 8
    if kind == 0:
        return pipwerk.roll("4d6k3", seed=i)
    if kind == 1:
        return pipwerk.roll("3#4d6k3", show_detail=False, seed=i)
    if kind == 2:
        return pipwerk.roll("{d6, d8, 5} * 2 + 10d10>=7", seed=i).values
    if kind == 3:
        try:
            pipwerk.roll("1 + 1/0")
        except ValueError as error:
            return error
    if kind == 4:
        return pipwerk.roll("d20 + (d4+ test", seed=i)
    if kind == 5:
        try:
            pipwerk.roll("60d6")
        except ValueError as error:
            return error
    if kind == 6:
        return repr(pipwerk.roll("2d20kl1 + 1d4 - 1"))
    return pipwerk.parse("d20 + (d4+ test")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="exit 1 when memory grew by more than 1 MiB")
    parser.add_argument("--calls", type=int, default=10**6)
    args = parser.parse_args()

    warm = 10**4
    for i in range(warm):
        one_call(i)
    gc.collect()
    before = rss_bytes()
    for i in range(warm, args.calls):
        one_call(i)
    gc.collect()
    after = rss_bytes()

    growth = after - before
    ok = growth <= LIMIT
    print(f"RSS after {warm} calls: {before / 2**20:.2f} MiB")
    print(f"RSS after {args.calls} calls: {after / 2**20:.2f} MiB")
    print(f"{'PASS' if ok else 'FAIL'}  growth {growth / 2**10:.0f} KiB (target <= {LIMIT // 2**10} KiB)")
    if args.check and not ok:
        sys.exit(1)


if __name__ == "__main__":
    main()
