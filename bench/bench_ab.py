"""Two builds of the module, call by call, in the same rounds.

    python bench/bench_ab.py BEFORE.so AFTER.so [--rounds N]

On a shared, noisy machine two runs of bench_calls.py cannot be compared:
the load moves between them. Here both extension files are loaded into one
interpreter (each under its own file, so both stay live) and every round
times the baseline `"4d6k3".split("k")`, then each case on the old build and
on the new one back to back. Figures are medians over the rounds, in ns per
call and as ratios to the baseline, beside each other.

Where a module's code lands in memory moves its timings by up to a tenth,
the same build against itself included, and that changes from process to
process. With --processes N the comparison runs in N fresh interpreters and
the figures are the medians of their medians.
"""

import argparse
import importlib.machinery
import json
import subprocess
import importlib.util
import statistics
import sys
import timeit


def load(path):
    loader = importlib.machinery.ExtensionFileLoader("pipwerk", path)
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader("pipwerk", loader))
    loader.exec_module(module)
    return module


def cases(builds, basket, line, without_detail):
    """(name, build, timer): the baseline first, then each call on every build."""
    yield 'baseline "4d6k3".split("k")', None, timeit.Timer('s.split("k")', globals={"s": "4d6k3"})
    # The empty expression: the call and the result object with no engine work.
    for expr in [""] + basket + [line]:
        for label, module in builds.items():
            yield f'roll("{expr}", seed=42)', label, timeit.Timer("roll(e, seed=42)", globals={"roll": module.roll, "e": expr})
    for expr in without_detail:
        for label, module in builds.items():
            yield (f'roll("{expr}", show_detail=False)', label,
                   timeit.Timer("roll(e, seed=42, show_detail=False)", globals={"roll": module.roll, "e": expr}))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--rounds", type=int, default=15, help="samples per case (default 15)")
    parser.add_argument("--calls", type=int, default=10000, help="calls per sample (default 10000)")
    parser.add_argument("--processes", type=int, default=1, help="fresh interpreters to run in (default 1)")
    parser.add_argument("--json", action="store_true", help=argparse.SUPPRESS)  # one process's medians
    args = parser.parse_args()
    if args.processes > 1:
        runs = [json.loads(subprocess.run(
            [sys.executable, __file__, args.before, args.after, "--rounds", str(args.rounds),
             "--calls", str(args.calls), "--json"], check=True, capture_output=True, text=True).stdout)
            for _ in range(args.processes)]
        report({key: statistics.median(run[key] for run in runs) for key in runs[0]}, args.processes)
        return

    builds = {"before": load(args.before), "after": load(args.after)}
    assert builds["before"].roll is not builds["after"].roll, "the two files must be two modules"
    # The basket is bench_calls.py's, which imports pipwerk: the old build serves when none is installed.
    sys.modules.setdefault("pipwerk", builds["before"])
    import bench_calls

    timers = list(cases(builds, bench_calls.BASKET, bench_calls.LINE, bench_calls.WITHOUT_DETAIL))
    samples = {(name, build): [] for name, build, _ in timers}
    for _ in range(args.rounds):
        for name, build, timer in timers:
            samples[(name, build)].append(timer.timeit(args.calls) / args.calls * 1e9)
    # Keyed "build|case", the baseline as "|baseline", so a run travels as JSON.
    medians = {f"{build or ''}|{name}": statistics.median(values) for (name, build), values in samples.items()}
    if args.json:
        print(json.dumps(medians))
    else:
        report(medians, 1)


def report(medians, processes):
    baseline_key = next(key for key in medians if key.startswith("|"))
    baseline = medians[baseline_key]
    print(f"baseline {baseline:.1f} ns/call" + (f", medians of {processes} processes" if processes > 1 else ""))
    print(f"{'case':<50} {'before':>8} {'after':>8} {'before':>8} {'after':>8}")
    for name in dict.fromkeys(key.split("|", 1)[1] for key in medians if key != baseline_key):
        old, new = medians[f"before|{name}"], medians[f"after|{name}"]
        print(f"{name:<50} {old:8.1f} {new:8.1f} {old / baseline:7.2f}x {new / baseline:7.2f}x")


if __name__ == "__main__":
    main()
