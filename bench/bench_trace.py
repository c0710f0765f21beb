"""Cost of one pipwerk_trace.trace() call against pipwerk.roll() on the same input, same run.

    python bench/bench_trace.py [--check] [--rounds N]

For every expression of bench_calls.py's basket (and its 58-character line),
roll(e, seed=42) and trace(e, seed=42) are timed with timeit over a direct
call, back to back in every round, so both share the machine's load; the
ratio is taken per round and the median of those is reported, beside the
medians in ns per call. Also shown, not held to a target: trace(...).result,
which makes the RollResult through pipwerk.roll on first access, and
to_dict() of a trace.

Target: trace costs at most TRACE_LIMIT times roll for every expression of
the basket.
"""

import argparse
import statistics
import sys
import timeit
from pathlib import Path

import pipwerk
import pipwerk_trace

sys.path.insert(0, str(Path(__file__).parent))
from bench_calls import BASKET, LINE  # noqa: E402

TRACE_LIMIT = 2.5


def timers(expr):
    env = {"roll": pipwerk.roll, "trace": pipwerk_trace.trace, "e": expr}
    made = pipwerk_trace.trace(expr, seed=42)
    return {
        "roll": timeit.Timer("roll(e, seed=42)", globals=env),
        "trace": timeit.Timer("trace(e, seed=42)", globals=env),
        "trace+result": timeit.Timer("trace(e, seed=42).result", globals=env),
        "to_dict": timeit.Timer("t.to_dict()", globals={"t": made}),
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="exit 1 when a target is missed")
    parser.add_argument("--rounds", type=int, default=15, help="samples per case (default 15)")
    parser.add_argument("--sample-seconds", type=float, default=0.03, help="length of one sample (default 0.03)")
    args = parser.parse_args()

    expressions = BASKET + [LINE]
    cases = {expr: timers(expr) for expr in expressions}
    numbers = {}
    for expr, ts in cases.items():
        for name, timer in ts.items():
            calls, elapsed = timer.autorange()
            numbers[(expr, name)] = max(1, int(calls * args.sample_seconds / max(elapsed, 1e-9)))
    samples = {(expr, name): [] for expr, ts in cases.items() for name in ts}
    for _ in range(args.rounds):
        for expr, ts in cases.items():
            for name, timer in ts.items():
                n = numbers[(expr, name)]
                samples[(expr, name)].append(timer.timeit(n) / n * 1e9)

    print(f"{'expression':<40} {'roll ns':>8} {'trace ns':>9} {'trace/roll':>10} {'+result':>8} {'to_dict ns':>10}")
    missed = 0
    worst = (0.0, "")
    for expr in expressions:
        roll_ns, trace_ns = samples[(expr, "roll")], samples[(expr, "trace")]
        ratio = statistics.median(t / r for r, t in zip(roll_ns, trace_ns))
        with_result = statistics.median(t / r for r, t in zip(roll_ns, samples[(expr, "trace+result")]))
        label = expr if len(expr) <= 40 else expr[:37] + "..."
        print(f"{label:<40} {statistics.median(roll_ns):8.0f} {statistics.median(trace_ns):9.0f} "
              f"{ratio:9.2f}x {with_result:7.2f}x {statistics.median(samples[(expr, 'to_dict')]):10.0f}")
        if expr in BASKET:
            worst = max(worst, (ratio, expr))
    ok = worst[0] <= TRACE_LIMIT
    missed += not ok
    print()
    print(f"{'PASS' if ok else 'FAIL'}  basket maximum: trace(\"{worst[1]}\") {worst[0]:.2f}x roll "
          f"(target <= {TRACE_LIMIT}x)")
    if args.check and missed:
        sys.exit(1)


if __name__ == "__main__":
    main()
