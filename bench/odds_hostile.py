"""Hostile inputs to exact odds: each must be accepted or refused within the
budget's targets, measured alone in a fresh process on one core.

    python bench/odds_hostile.py [--check] [--rounds N] [--only SUBSTRING]
                                 [--cores N] [--cli PATH]

Each input runs in a new process pinned to `--cores` processors (default 1:
the targets hold on one core). An odds() or compare() input starts a new
interpreter, imports pipwerk_odds, notes the peak resident memory so far (the
interpreter's own), then times one call and notes the peak again: the figures
are the wall time of the call and the peak memory above the interpreter. A
command-line input (`pipwerk --odds ...`, the binary given by --cli or found
on PATH) is timed as a whole process, its peak memory whole. Each figure is
the median over the rounds.

Targets, checked with --check (exit 1 when any is missed):
- every input, accepted or refused, within 1 s and 256 MiB;
- a refusal the sizes known up front decide (a dice term, a set's size, the
  product of two known laws, a chain of sums) within 0.2 s;
- the verdict expected (accepted, or refused with the message expected).
"""

import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

TIME_LIMIT = 1.0  # seconds, every call
EARLY_LIMIT = 0.2  # seconds, refusals decided up front
MEMORY_LIMIT = 256  # MiB above the interpreter (a command: the whole process)

ACCEPT = "accept"
REFUSED = "too large for exact odds:"


def chain(head, step, n):
    return head + step * n


SET_10K = "{" + ", ".join(["4d1000"] * 10_000) + "}"
SET_30K = "{" + ", ".join(["4d1000"] * 30_000) + "}"
SET_50D = "{" + ", ".join(["50d1000"] * 10_000) + "}"
SUM_D6 = "+".join(["1d6"] * 10_000)
REAL_SET_40 = "{" + ", ".join(["1d1000/7"] * 40) + "} * 1d1000/3"
REAL_SET_100 = "{" + ", ".join(["1d1000/7"] * 100) + "} * 1d1000/3"
DISTINCT_SET = "{" + ", ".join(f"4d1000+{i}" for i in range(10_000)) + "}"
INT_PRODUCT = "(1d1000*1d1000)"
REAL_PRODUCT = "(1d1000/7*1d1000/3)"


def constants(n):
    return "{" + ", ".join(map(str, range(n))) + "}"


HUNDRED = constants(100)
SET_CHAIN = " + ".join([HUNDRED] * 30_000)

# (label, kind, input, expected: ACCEPT or the start of the refusal, early).
# kind "odds": odds(input); "compare": compare(*input); "cli": the
# command-line roller with the arguments `input`.
CASES = [
    # Sets and chains whose size alone decides.
    ("{4d1000 x10^4}", "odds", SET_10K, REFUSED + " 10000 set elements of 3997 outcomes each", True),
    ("{4d1000 x3*10^4}", "odds", SET_30K, REFUSED + " 30000 set elements of 3997 outcomes each", True),
    ("{50d1000 x10^4}", "odds", SET_50D, REFUSED + " 10000 set elements of 49951 outcomes each", True),
    ("{4d1000+i, i < 10^4}", "odds", DISTINCT_SET, REFUSED, False),
    ("1d1000/7 * 1d1000/3 * 1d12", "odds", "1d1000/7 * 1d1000/3 * 1d12", REFUSED, False),
    ("{1d1000/7 x40} * 1d1000/3", "odds", REAL_SET_40, REFUSED + " 40 set elements of", False),
    ("{1d1000/7 x100} * 1d1000/3", "odds", REAL_SET_100, REFUSED + " 100 set elements of", False),
    ("d100*d100*d100*d100*d100", "odds", "d100*d100*d100*d100*d100", REFUSED, False),
    ("1d1000/7 + 1d1000/3 + 1d1000/11 + 1d1000/13", "odds", "1d1000/7 + 1d1000/3 + 1d1000/11 + 1d1000/13",
     REFUSED, False),
    ("1d6+1d6+... x10^4", "odds", SUM_D6, REFUSED + " a chain of 9999 sums and differences growing to 50001", True),
    ("50d1000 * 50d1000", "odds", "50d1000 * 50d1000", REFUSED + " a product of 49951 by 49951", True),
    ("1d2147483647b2147483647", "odds", "1d2147483647b2147483647", REFUSED, True),
    # Large constant sets, and a long chain of small ones.
    ("{0, 1, ..., 499999}", "odds", constants(500_000), ACCEPT, False),
    ("{0, 1, ..., 10^6-1}", "odds", constants(1_000_000), REFUSED, True),
    ("{0, 1, ..., 10^6-1} * 2", "odds", constants(1_000_000) + " * 2", REFUSED, True),
    ("{0..99} + {0..99} + ... (30000 sets)", "odds", SET_CHAIN, REFUSED, True),
    # Terms that sizes refuse: nothing in proportion to their faces first.
    ("d100000000b1k3>3", "odds", "d100000000b1k3>3", REFUSED + " a dice term of 100000000 faces with a bonus", True),
    ("1d2000000000b2100000000>3", "odds", "1d2000000000b2100000000>3", ACCEPT, False),
    ("30d5000000b6000000", "odds", "30d5000000b6000000", REFUSED, True),
    ("2d3000000b4000000k1", "odds", "2d3000000b4000000k1", REFUSED + " a dice term of 3000000 faces keeping", True),
    # Work the sizes decide after work that would fit: refused before any.
    ("49d1000b850k48 - 49d1000b850k48", "odds", "49d1000b850k48 - 49d1000b850k48", REFUSED, True),
    ("49d1000b500k48 - 49d1000b500k48", "odds", "49d1000b500k48 - 49d1000b500k48",
     REFUSED + " a product of 47953 by 47953", True),
    ("compare(49d1000b850k48, same)", "compare", ("49d1000b850k48", "49d1000b850k48"), REFUSED, True),
    ("compare(49d1000b500k48, same + 1)", "compare", ("49d1000b500k48", "49d1000b500k48 + 1"), REFUSED, True),
    # Dice terms near the top of the budget: the heaviest accepted, alone
    # and in a comparison, and the heaviest, refused from their numbers.
    ("1d5000b6000", "odds", "1d5000b6000", ACCEPT, False),
    ("10#50d1000k25", "odds", "10#50d1000k25", ACCEPT, False),
    ("50d1000k25", "odds", "50d1000k25", ACCEPT, False),
    ("49d1000b50kl44", "odds", "49d1000b50kl44", ACCEPT, False),
    ("49d1000b3kl48", "odds", "49d1000b3kl48", ACCEPT, False),
    ("49d1000b1000k48", "odds", "49d1000b1000k48", ACCEPT, False),
    ("49d1000b500k48", "odds", "49d1000b500k48", ACCEPT, False),
    ("compare(40d1000b1000k35, 30d1000b900k29)", "compare", ("40d1000b1000k35", "30d1000b900k29"), ACCEPT, False),
    ("49d1000b800k48", "odds", "49d1000b800k48", REFUSED + " a dice term of 49 dice", True),
    ("49d1000b200kl48", "odds", "49d1000b200kl48", REFUSED + " a dice term of 49 dice", True),
    ("49d1000b900k48", "odds", "49d1000b900k48", REFUSED + " a dice term of 49 dice", True),
    ("compare(49d1000b500k48, 49d1000b950k48)", "compare", ("49d1000b500k48", "49d1000b950k48"), REFUSED, True),
    # Products: the largest accepted, alone and side by side in a set, the
    # first set of them refused, and a long chain that is accepted.
    ("1d1000 * 1d1000", "odds", "1d1000 * 1d1000", ACCEPT, False),
    ("{1d1000*1d1000, 1d999*1d998, 1d997*1d996}", "odds", "{1d1000*1d1000, 1d999*1d998, 1d997*1d996}",
     ACCEPT, False),
    ("{1d1000*1d1000, ..., 1d993*1d992} (5)", "odds",
     "{" + ", ".join(f"1d{1000 - 2 * i}*1d{999 - 2 * i}" for i in range(5)) + "}", ACCEPT, False),
    ("{1d1000*1d1000, ..., 1d985*1d984} (9)", "odds",
     "{" + ", ".join(f"1d{1000 - 2 * i}*1d{999 - 2 * i}" for i in range(9)) + "}", REFUSED, False),
    ("2d1000 * 1d1000 * 1d2", "odds", "2d1000 * 1d1000 * 1d2", REFUSED, False),
    ("1d6+1d6+... x2000", "odds", "+".join(["1d6"] * 2000), ACCEPT, False),
    # The same operation again and again after a large product.
    ("(1d1000*1d1000)*1 x20", "odds", chain(INT_PRODUCT, "*1", 20), ACCEPT, False),
    ("(1d1000*1d1000)*1 x40", "odds", chain(INT_PRODUCT, "*1", 40), REFUSED, False),
    ("(1d1000*1d1000)+0 x40", "odds", chain(INT_PRODUCT, "+0", 40), REFUSED, False),
    ("(1d1000*1d1000)-0 x40", "odds", chain(INT_PRODUCT, "-0", 40), REFUSED, False),
    ("(1d1000*1d1000)/1 x40", "odds", chain(INT_PRODUCT, "/1", 40), REFUSED, False),
    ("(1d1000*1d1000)*1.0 x40", "odds", chain(INT_PRODUCT, "*1.0", 40), REFUSED, False),
    ("(1d1000/7*1d1000/3)*1*1", "odds", chain(REAL_PRODUCT, "*1", 2), ACCEPT, False),
    ("(1d1000/7*1d1000/3)*1 x40", "odds", chain(REAL_PRODUCT, "*1", 40), REFUSED, False),
    ("(1d1000/7*1d1000/3)+0 x40", "odds", chain(REAL_PRODUCT, "+0", 40), REFUSED, False),
    ("(1d1000/7*1d1000/3)/1 x40", "odds", chain(REAL_PRODUCT, "/1", 40), REFUSED, False),
    # The command-line roller: the same engine, a whole process.
    ("cli --odds (1d1000*1d1000)*1*1*1", "cli", ["--odds", chain(INT_PRODUCT, "*1", 3)], ACCEPT, False),
    ("cli --odds --json 49d1000b850k48 --vs same", "cli",
     ["--odds", "--json", "49d1000b850k48", "--vs", "49d1000b850k48"], REFUSED, True),
    ("cli --odds --json 49d1000b500k48 --vs same+1", "cli",
     ["--odds", "--json", "49d1000b500k48", "--vs", "49d1000b500k48 + 1"], REFUSED, True),
]

CHILD = r"""
import json, os, sys, time
kind, given, cores = json.loads(sys.stdin.read())
os.sched_setaffinity(0, sorted(os.sched_getaffinity(0))[:cores])
import pipwerk_odds


def peak():
    # This process's own peak: ru_maxrss would start from its parent's.
    with open("/proc/self/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmHWM:"))


before = peak()
start = time.perf_counter()
cpu = time.process_time()
try:
    if kind == "compare":
        pipwerk_odds.compare(*given)
    else:
        pipwerk_odds.odds(given)
    verdict = "accept"
except ValueError as error:
    verdict = str(error)
wall = time.perf_counter() - start
cpu = time.process_time() - cpu
print(json.dumps({"wall": wall, "cpu": cpu, "mib": (peak() - before) / 1024, "verdict": verdict}))
"""


def run_python(kind, given, cores):
    done = subprocess.run([sys.executable, "-c", CHILD], input=json.dumps([kind, given, cores]), capture_output=True,
                          text=True, timeout=600)
    if done.returncode != 0:
        return {"wall": float("nan"), "cpu": float("nan"), "mib": float("nan"),
                "verdict": "crashed: " + done.stderr.strip()[-200:]}
    return json.loads(done.stdout)


def run_cli(cli, arguments, cores):
    """The whole process, pinned by taskset and measured by GNU time (whose
    own few MiB are the floor of the peak)."""
    cpus = ",".join(map(str, sorted(os.sched_getaffinity(0))[:cores]))
    with tempfile.NamedTemporaryFile("r") as peak:
        start = time.perf_counter()
        done = subprocess.run(["taskset", "-c", cpus, "/usr/bin/time", "-f", "%U %S %M", "-o", peak.name, cli, *arguments],
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=600)
        wall = time.perf_counter() - start
        user, system, kib = peak.read().split()[-3:]
    error = done.stderr.decode(errors="replace").strip()
    verdict = "accept" if done.returncode == 0 else error.removeprefix("pipwerk: ")
    return {"wall": wall, "cpu": float(user) + float(system), "mib": int(kib) / 1024, "verdict": verdict}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--check", action="store_true", help="exit 1 when a target is missed")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--only", default="")
    parser.add_argument("--cores", type=int, default=1, help="processors each input may use (default 1)")
    parser.add_argument("--cli", default=shutil.which("pipwerk"), help="the pipwerk binary (default: on PATH)")
    args = parser.parse_args()
    missed = []
    print(f"{'input':46} {'wall s':>8} {'cpu s':>7} {'MiB':>7}  verdict")
    for label, kind, given, expected, early in CASES:
        if args.only not in label:
            continue
        if kind == "cli" and not args.cli:
            print(f"{label:46} {'-':>8} {'-':>7} {'-':>7}  skipped: no pipwerk binary (--cli)")
            continue
        if kind == "cli":
            runs = [run_cli(args.cli, given, args.cores) for _ in range(args.rounds)]
        else:
            runs = [run_python(kind, given, args.cores) for _ in range(args.rounds)]
        wall = statistics.median(r["wall"] for r in runs)
        cpu = statistics.median(r["cpu"] for r in runs)
        mib = statistics.median(r["mib"] for r in runs)
        verdict = runs[0]["verdict"]
        shown = verdict if len(verdict) < 90 else verdict[:87] + "..."
        print(f"{label:46} {wall:8.3f} {cpu:7.3f} {mib:7.1f}  {shown}", flush=True)
        problems = []
        if not wall <= TIME_LIMIT:
            problems.append(f"{wall:.3f} s > {TIME_LIMIT} s")
        if early and expected != ACCEPT and not wall <= EARLY_LIMIT:
            problems.append(f"refused after {wall:.3f} s > {EARLY_LIMIT} s")
        if not mib <= MEMORY_LIMIT:
            problems.append(f"{mib:.0f} MiB > {MEMORY_LIMIT} MiB")
        if not all(r["verdict"] == verdict for r in runs):
            problems.append("the verdict differs between rounds")
        if expected == ACCEPT and verdict != ACCEPT:
            problems.append("refused, expected to be accepted")
        if expected != ACCEPT and not verdict.startswith(expected):
            problems.append(f"expected {expected!r}")
        missed += [f"{label}: {p}" for p in problems]
    if missed:
        print("\nmissed:\n  " + "\n  ".join(missed))
    if args.check and missed:
        sys.exit(1)


if __name__ == "__main__":
    main()
