"""Cost of one roll() and one parse() call, against a baseline of the same run.

    python bench/bench_calls.py [--check] [--rounds N]

Every case is timed with timeit over a direct call (no lambda), one round of
all cases after another, so the baseline `"4d6k3".split("k")` shares the
machine's load with every case. Figures are medians over the rounds, in ns
per call, and ratios to the baseline's median.

Short expressions are held to BASKET_LIMIT, the 58-character line of mixed
shapes to LINE_LIMIT. The long expression is held to the basket's limit per
character of input: the baseline reads 5 characters, the long line about 40
times as many, and no call can read a line of 200 characters in the time of
5 calls that read 5. The interpreter's own `LONG.split(" ")`, timed beside
it for scale, already costs about 12 times the baseline. A roll without the
detail text must cost less than the same roll with it.

Every short expression is also rolled without a seed, and its time is set
beside seeded calls: dice from the clock may cost at most 1.1 times dice
from a seed. The fair comparison gives each seeded call a fresh seed
(`seed=i` in a loop), since unseeded calls draw fresh dice every time: with
the one seed 42 every call draws the same dice, the branch predictor learns
them, and a pool of ten dice rolls up to twice as fast. Both loops run the
same `for i in range(n)`, and the two are timed back to back in every round.
"""

import argparse
import statistics
import sys
import time
import timeit

import pipwerk

BASKET = [
    "4d6k3",
    "1d20+5",
    "3#4d6k3",
    "{d6, d8, 5} * 2",
    "10d10>=7",
    "2d20kl1 + 1d4 - 1",
    "{1, 2, 3} * 3#1d8",
    "{1, 2} + {10, 20, 30}",
    "-{d6, d8} * 2 + 1",
]
# Rolled without the detail text as well.
WITHOUT_DETAIL = ["3#4d6k3"]

# Every kind of set arithmetic in one line of 58 characters.
LINE = "(2d6 + 3) * 2 - 1d4 + {1, 2, 3} * 3#1d8 + 4d6b6k3>=4 - 10%"

# A long character sheet line: about 200 characters of mixed dice, sets and arithmetic.
LONG = (
    "4d6k3 + 4d6k3 + 4d6k3 + 1d20+5 - 2d20kl1 + (1d8 + 2) * 2 + 3#4d6k3 + {d6, d8, 5} * 2"
    " + 10d10>=7 + 5d6b6k3 + 2d12 / 3 + 50% * 8 + (1d4 + 1d4 + 1d4) * 3 - 1d100 + 6d6kl2 - 7"
    " + (1d10 + 3) * 2 - 3d6k1"
)

TARGETS = [
    # (label, case name, maximum ratio to the baseline)
    ('roll("4d6k3", seed=42)', 'roll("4d6k3", seed=42)', 3.2),
    ('parse("4d6k3")', 'parse("4d6k3")', 2.5),
    (f'roll("{LINE}", seed=42)', f'roll("{LINE}", seed=42)', 15.0),
]
BASKET_LIMIT = 5.0
UNSEEDED_LIMIT = 1.1
BASELINE_TEXT = "4d6k3"


def cases():
    """(name, statement, globals): the baseline first."""
    yield 'baseline "4d6k3".split("k")', 's.split("k")', {"s": BASELINE_TEXT}
    yield f'(for scale) <{len(LONG)}-character expression>.split(" ")', 's.split(" ")', {"s": LONG}
    for expr in BASKET + [LINE, LONG]:
        name = expr if expr != LONG else f"<{len(LONG)}-character expression>"
        yield f'roll("{name}", seed=42)', "roll(e, seed=42)", {"roll": pipwerk.roll, "e": expr}
        yield f'parse("{name}")', "parse(e)", {"parse": pipwerk.parse, "e": expr}
    for expr in WITHOUT_DETAIL:
        yield f'roll("{expr}", show_detail=False)', "roll(e, seed=42, show_detail=False)", {"roll": pipwerk.roll, "e": expr}


def measure(rounds, target_seconds):
    timers = [(name, timeit.Timer(stmt, globals=env)) for name, stmt, env in cases()]
    # Calls per sample sized once per case so each sample lasts about target_seconds.
    numbers = {}
    for name, timer in timers:
        calls, elapsed = timer.autorange()
        numbers[name] = max(1, int(calls * target_seconds / max(elapsed, 1e-9)))
    samples = {name: [] for name, _ in timers}
    for _ in range(rounds):
        for name, timer in timers:
            samples[name].append(timer.timeit(numbers[name]) / numbers[name] * 1e9)
    return samples


def fresh_seeds(roll, expression, n):
    for i in range(n):
        roll(expression, seed=i)


def unseeded(roll, expression, n):
    for _ in range(n):
        roll(expression)


def measure_unseeded(rounds, target_seconds):
    """Per expression: samples of ns per call for fresh seeds and for no seed, in the same rounds."""
    calls = {}
    for expr in BASKET:
        start = time.perf_counter()
        unseeded(pipwerk.roll, expr, 1000)
        calls[expr] = max(1000, int(1000 * target_seconds / max(time.perf_counter() - start, 1e-9)))
    samples = {(expr, loop): [] for expr in BASKET for loop in (fresh_seeds, unseeded)}
    for _ in range(rounds):
        for expr in BASKET:
            for loop in (fresh_seeds, unseeded):
                start = time.perf_counter_ns()
                loop(pipwerk.roll, expr, calls[expr])
                samples[(expr, loop)].append((time.perf_counter_ns() - start) / calls[expr])
    return samples


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="exit 1 when a target is missed")
    parser.add_argument("--rounds", type=int, default=15, help="samples per case (default 15)")
    parser.add_argument("--sample-seconds", type=float, default=0.05, help="length of one sample (default 0.05)")
    args = parser.parse_args()

    assert pipwerk.parse(LONG).tail == "", "the long expression must parse whole"
    samples = measure(args.rounds, args.sample_seconds)
    pairs = measure_unseeded(args.rounds, args.sample_seconds)
    medians = {name: statistics.median(values) for name, values in samples.items()}
    baseline = next(iter(medians.values()))

    print(f"{'case':<48} {'ns/call':>9} {'ratio':>7}")
    for name, ns in medians.items():
        print(f"{name:<48} {ns:9.1f} {ns / baseline:6.2f}x")
    print()

    # The two loops are timed back to back in every round, so the ratio is
    # taken per round (the median of those), which the machine's load
    # changes far less than either time.
    print(f"{'unseeded beside seeded, ns/call':<30} {'seed=42':>9} {'seed=i':>9} {'unseeded':>9} {'/ seed=i':>9}")
    unseeded_ratios = {}
    for expr in BASKET:
        fresh, clock = pairs[(expr, fresh_seeds)], pairs[(expr, unseeded)]
        unseeded_ratios[expr] = statistics.median(u / s for s, u in zip(fresh, clock))
        constant = medians['roll("' + expr + '", seed=42)']
        print(f"{expr:<30} {constant:9.1f} {statistics.median(fresh):9.1f} "
              f"{statistics.median(clock):9.1f} {unseeded_ratios[expr]:8.2f}x")
    print()

    missed = 0
    checks = [(label, medians[name] / baseline, limit) for label, name, limit in TARGETS]
    worst = max(unseeded_ratios, key=unseeded_ratios.get)
    checks.append((f'unseeded maximum: roll("{worst}") against roll("{worst}", seed=i)', unseeded_ratios[worst],
                   UNSEEDED_LIMIT, "seeded"))
    short = [n for n in medians if n.startswith(("roll", "parse")) and "-character" not in n and LINE not in n]
    long = [n for n in medians if n.startswith(("roll", "parse")) and "-character" in n]
    worst = max(short, key=medians.get)
    checks.append((f"basket maximum, short expressions: {worst}", medians[worst] / baseline, BASKET_LIMIT))
    # Per character: the long line's time per character against the baseline's.
    per_character = len(BASELINE_TEXT) / len(LONG)
    worst = max(long, key=medians.get)
    checks.append((f"basket maximum, long expression: {worst}, per character", medians[worst] * per_character / baseline,
                   BASKET_LIMIT))
    # Without the detail: less than the same roll with it.
    for expr in WITHOUT_DETAIL:
        name = f'roll("{expr}", seed=42)'
        checks.append((f'roll("{expr}", show_detail=False) against {name}',
                       medians[f'roll("{expr}", show_detail=False)'] / medians[name], 1.0, "the detailed roll"))
    for label, ratio, limit, *unit in checks:
        ok = ratio <= limit
        missed += not ok
        against = unit[0] if unit else "baseline"
        print(f"{'PASS' if ok else 'FAIL'}  {label}: {ratio:.2f}x {against} (target <= {limit}x)")
    if args.check and missed:
        sys.exit(1)


if __name__ == "__main__":
    main()
