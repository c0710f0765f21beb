#!/usr/bin/env bash
# Reproduces every benchmark figure:
#   bash bench/run_all.sh [--check]
# Needs a Python with pipwerk installed (PYTHON, default python3), icepool for
# the odds comparison (skipped without it), node and Debian's esbuild for the
# page's build, playwright and Debian's chromium for the page, and, for the C++
# micro-benchmark, cmake, ninja and g++. With --check, exits 1 when any
# target is missed (after running everything).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
python=${PYTHON:-python3}
build=${PIPWERK_BENCH_DIR:-$root/build/bench}
check=()
[ "${1:-}" = "--check" ] && check=(--check)

if ! "$python" -c "import pipwerk" 2>/dev/null; then
  echo "run_all.sh: $python cannot import pipwerk; pip install $root first (or set PYTHON)" >&2
  exit 2
fi

status=0
step() { printf '\n==== %s ====\n' "$*"; }

step "C++ core: allocations and time per call (alloc_bench)"
if cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPIPWERK_BUILD_BENCH=ON \
     -DPIPWERK_BUILD_TESTS=OFF -DPIPWERK_BUILD_CLI=OFF -DPIPWERK_BUILD_PYTHON=OFF >/dev/null &&
   cmake --build "$build" -j 2 --target alloc_bench >/dev/null; then
  "$build/bench/alloc_bench" || status=1
else
  echo "alloc_bench did not build" >&2
  status=1
fi

step "Python calls against a baseline (bench_calls.py)"
"$python" "$root/bench/bench_calls.py" "${check[@]}" || status=1

step "Scaling with input size (bench_scaling.py)"
"$python" "$root/bench/bench_scaling.py" "${check[@]}" || status=1

step "Memory over a million calls (bench_memory.py)"
"$python" "$root/bench/bench_memory.py" "${check[@]}" || status=1

step "A trace against a roll of the same input (bench_trace.py)"
"$python" "$root/bench/bench_trace.py" "${check[@]}" || status=1

step "A trace's memory against a roll's, each in a fresh process (bench_trace_memory.py)"
"$python" "$root/bench/bench_trace_memory.py" "${check[@]}" || status=1

step "Exact odds against icepool, sampling against a loop (bench_odds.py)"
"$python" "$root/bench/bench_odds.py" "${check[@]}" || status=1

step "Hostile inputs to exact odds: time and memory of each, in a fresh process (odds_hostile.py)"
"$python" "$root/bench/odds_hostile.py" "${check[@]}" || status=1

step "WebAssembly against the native core (wasm_bench.mjs)"
if [ ! -f "$root/js/pipwerk.wasm" ] || ! command -v node >/dev/null; then
  echo "needs node and js/pipwerk.wasm (npm run build in js/)" >&2
  status=1
elif cmake --build "$build" -j 2 --target alloc_bench odds_bench >/dev/null; then
  node "$root/bench/wasm_bench.mjs" "${check[@]}" --native "$build" || status=1
else
  echo "alloc_bench or odds_bench did not build" >&2
  status=1
fi

step "The web page at the engine's limits, in Chromium (page_bench.py)"
if ! "$python" -c "import playwright" 2>/dev/null || ! command -v "${PIPWERK_CHROMIUM:-/usr/bin/chromium}" >/dev/null; then
  echo "needs playwright in $python and Debian's chromium" >&2
  status=1
else
  "$python" "$root/bench/page_bench.py" "${check[@]}" || status=1
fi

exit "$status"
