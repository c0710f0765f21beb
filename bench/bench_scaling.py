"""How roll() and parse() grow with the size of their input.

    python bench/bench_scaling.py [--check] [--max-bytes N]

Each shape of input is run at four sizes, ten times apart; the script prints
the median time of each size and the ratio to the size before it. Linear work
gives ratios near 10 and a flat time per unit (term or byte); the target is
<= 15 for every tenfold step. A step whose working set outgrows a cache
level shows a one-off rise of the time per unit that is not algorithmic:
the step after it returns to about 10x.
"""

import argparse
import statistics
import sys
import time

import pipwerk

LIMIT = 15.0


def repeat_to(unit, size):
    return unit * max(1, size // len(unit))


# name -> (function name, sizes, builder of the input for one size)
TERMS = [10**3, 10**4, 10**5, 10**6]
BYTES = [10**4, 10**5, 10**6, 10**7]
SHAPES = {
    "sum of n dice terms d6+d6+...": ("roll", TERMS, lambda n: "+".join(["d6"] * n)),
    "sum of n constants 1+1+...": ("roll", TERMS, lambda n: "+".join(["1"] * n)),
    "set of n items {1,1,...} * 2": ("roll", TERMS, lambda n: "{" + ",".join(["1"] * n) + "} * 2"),
    "two sets of n items {1,...} + {1,...}": ("roll", TERMS, lambda n: "+".join(["{" + ",".join(["1"] * n) + "}"] * 2)),
    "n sets of two items {1,1}+{1,1}+...": ("roll", TERMS, lambda n: "+".join(["{1,1}"] * n)),
    "bytes of '1d6 + ' (roll)": ("roll", BYTES, lambda b: repeat_to("1d6 + ", b) + "1"),
    "bytes of '1d6 + ' (parse)": ("parse", BYTES, lambda b: repeat_to("1d6 + ", b) + "1"),
    "bytes of junk tail '1d6 x...'": ("roll", BYTES, lambda b: "1d6 " + "x" * b),
    "bytes of unclosed '((((...'": ("parse", BYTES, lambda b: "(" * b),
    "bytes of nesting '((1))' ": ("parse", BYTES, lambda b: "(" * (b // 2) + "1" + ")" * (b // 2)),
    "bytes of digits '111...'": ("roll", BYTES, lambda b: "1" * b),
    "bytes of spaces '   ...1'": ("roll", BYTES, lambda b: " " * b + "1"),
    "bytes of commas '1,1,1...'": ("parse", BYTES, lambda b: repeat_to("1,", b)),
}


def time_sizes(fn, texts, budget):
    """Median seconds per call for each text, the sizes timed in turns.

    Each round times every size once, so a burst of load from elsewhere on the
    machine lands on all sizes alike instead of skewing one ratio. A sample
    is a batch of calls lasting about a millisecond, at least one call.
    """
    batches = []
    for text in texts:
        fn(text)  # warm up: first touch of memory
        start = time.perf_counter()
        fn(text)
        batches.append(max(1, int(1e-3 / max(time.perf_counter() - start, 1e-9))))
    samples = [[] for _ in texts]
    spent = 0.0
    while len(samples[0]) < 5 or spent < budget:
        for i, text in enumerate(texts):
            start = time.perf_counter()
            for _ in range(batches[i]):
                fn(text)
            elapsed = time.perf_counter() - start
            samples[i].append(elapsed / batches[i])
            spent += elapsed
    return [statistics.median(s) for s in samples]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="exit 1 when a ratio exceeds the limit")
    parser.add_argument("--max-size", type=int, default=10**7, help="skip sizes (terms or bytes) above this")
    parser.add_argument("--budget", type=float, default=0.3, help="seconds of calls per size (default 0.3)")
    args = parser.parse_args()

    functions = {"roll": lambda text: pipwerk.roll(text, seed=42), "parse": pipwerk.parse}
    missed = 0
    print(f"{'input':<34} {'size':>9} {'ms':>10} {'ns/unit':>8} {'ratio':>7}")
    for name, (function, sizes, build) in SHAPES.items():
        sizes = [size for size in sizes if size <= args.max_size]
        medians = time_sizes(functions[function], [build(size) for size in sizes], args.budget * len(sizes))
        previous = None
        for size, seconds in zip(sizes, medians):
            ratio = "" if previous is None else f"{seconds / previous:6.1f}x"
            bad = previous is not None and seconds / previous > LIMIT
            missed += bad
            per_unit = seconds * 1e9 / size
            print(f"{name:<34} {size:>9} {seconds * 1e3:10.3f} {per_unit:8.1f} {ratio:>7}{'  FAIL' if bad else ''}")
            previous = seconds
    print()
    print(f"{'FAIL' if missed else 'PASS'}  every tenfold step <= {LIMIT}x ({missed} over)")
    if args.check and missed:
        sys.exit(1)


if __name__ == "__main__":
    main()
