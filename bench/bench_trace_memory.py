"""Memory of one pipwerk_trace.trace() call against pipwerk.roll() on the same input.

    python bench/bench_trace_memory.py [--check] [--cli PATH] [--large]

Every figure comes from a fresh interpreter that builds the input, notes its
resident memory, makes the one call and reads the peak resident memory since
(Linux's VmHWM, reset through /proc/self/clear_refs after the input is
built): the figure is the peak above where the call began. For the trace it
then drops the result, collects, and notes how far the resident memory
stayed above where it began; so too after to_json() and to_dict() of a
trace of the 1 MB chain. Shapes, each at about 100 KB and 1 MB of text: a
chain `d6+d6+...`, and the same chain repeated `10#(d6+...)`, which
evaluates ten times as many nodes as it has.

With --cli, the command-line roller's `--json --trace` line on 1 MB of
`10#(d6+...)` (and 10 MB with --large): the bytes it writes, their ratio to
the input, and the roller's peak resident memory (from wait4).

Targets, checked with --check (exit 1 when any is missed):
- trace's peak at most TRACE_LIMIT times roll's on every shape and size;
- after the trace (and its to_json() or to_dict()) is dropped, resident
  memory within RETURN_LIMIT of where the call began.
"""

import argparse
import json
import os
import subprocess
import sys

TRACE_LIMIT = 8.0
RETURN_LIMIT = 64 << 20  # bytes

CHILD = r"""
import gc, json, sys

def status(field):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1]) * 1024
    raise LookupError(field)

kind, body, terms, call = sys.argv[1:]
chain = "+".join([body] * int(terms))
expression = chain if kind == "chain" else f"10#({chain})"
import pipwerk, pipwerk_trace
pipwerk.roll("1"); pipwerk_trace.trace("1", seed=1)
gc.collect()
with open("/proc/self/clear_refs", "w") as f:
    f.write("5")  # VmHWM starts again from the resident size now
before = status("VmRSS")
made = (pipwerk.roll if call == "roll" else pipwerk_trace.trace)(expression, seed=1)
peak = status("VmHWM") - before
if call in ("to_json", "to_dict"):
    getattr(made, call)()  # made and dropped at once
del made
gc.collect()
after = status("VmRSS") - before
print(json.dumps({"bytes": len(expression), "peak": peak, "after": after}))
"""


def measure(kind, terms, call):
    out = subprocess.run([sys.executable, "-c", CHILD, kind, "d6", str(terms), call], check=True,
                         capture_output=True, text=True).stdout
    return json.loads(out)


def cli_run(cli, terms):
    """Bytes written and the roller's peak resident memory, for 10#(d6+...)."""
    expression = "10#(" + "+".join(["d6"] * terms) + ")"
    proc = subprocess.Popen([cli, "--json", "--trace", "--seed", "1"], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE)
    proc.stdin.write(expression.encode())
    proc.stdin.close()
    written = 0
    while chunk := proc.stdout.read(1 << 20):
        written += len(chunk)
    _, status, usage = os.wait4(proc.pid, 0)
    proc.returncode = os.waitstatus_to_exitcode(status)
    return len(expression), written, usage.ru_maxrss * 1024, proc.returncode


def mib(n):
    return f"{n / 2**20:8.1f}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="exit 1 when a target is missed")
    parser.add_argument("--cli", help="the pipwerk command, to measure --json --trace")
    parser.add_argument("--large", action="store_true", help="with --cli: 10 MB as well as 1 MB")
    args = parser.parse_args()

    missed = 0
    print(f"{'input':<24} {'KB':>6} {'roll MiB':>8} {'trace MiB':>9} {'ratio':>6} {'left MiB':>8}")
    # d6 and + are three bytes a term: 34,000 terms is 100 KB.
    for kind in ("chain", "repeat"):
        for terms in (34_000, 340_000):
            roll = measure(kind, terms, "roll")
            trace = measure(kind, terms, "trace")
            ratio = trace["peak"] / max(roll["peak"], 1)
            ok = ratio <= TRACE_LIMIT and trace["after"] <= RETURN_LIMIT
            missed += not ok
            label = f"d6+ x{terms}" if kind == "chain" else f"10#(d6+ x{terms})"
            print(f"{label:<24} {trace['bytes'] // 1000:6d} {mib(roll['peak'])} {mib(trace['peak']):>9} "
                  f"{ratio:5.1f}x {mib(trace['after'])}  {'PASS' if ok else 'FAIL'}")
    for call in ("to_json", "to_dict"):
        made = measure("chain", 340_000, call)
        ok = made["after"] <= RETURN_LIMIT
        missed += not ok
        print(f"{'d6+ x340000, ' + call + '()':<24} {made['bytes'] // 1000:6d} {'':>8} {'':>9} {'':>6} "
              f"{mib(made['after'])}  {'PASS' if ok else 'FAIL'}")
    print(f"targets: trace peak <= {TRACE_LIMIT}x roll's; resident memory after the trace is dropped "
          f"<= {RETURN_LIMIT >> 20} MiB above where it began")

    if args.cli:
        print()
        print(f"{'--json --trace':<24} {'MB in':>6} {'MB out':>8} {'out/in':>7} {'peak MiB':>9}")
        for terms in (333_000, 3_330_000) if args.large else (333_000,):
            size, written, peak, code = cli_run(args.cli, terms)
            print(f"{f'10#(d6+ x{terms})':<24} {size / 1e6:6.1f} {written / 1e6:8.1f} {written / size:6.0f}x "
                  f"{mib(peak):>9}  exit {code}")
    if args.check and missed:
        sys.exit(1)


if __name__ == "__main__":
    main()
