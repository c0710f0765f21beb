#!/usr/bin/env bash
# Builds the libFuzzer targets with clang++-19 (ASan + UBSan + coverage):
#   fuzz_roll        arbitrary bytes through Parser::parse and pipwerk::roll;
#   fuzz_text_forms  the quoted and float text forms of the Python reprs;
#   fuzz_odds        arbitrary bytes through pipwerk::odds, small inputs
#                    checked against the evaluator on every draw sequence;
#   fuzz_trace       arbitrary bytes through pipwerk::trace, checked against
#                    roll and the rules every trace's tree keeps;
# then
#   1. runs every saved input in fuzz/regressions/ once through each target;
#   2. fuzzes for a bounded time in total (half for fuzz_roll, the rest
#      shared by the others),
#      seeded from fuzz/corpus/ (read only: new units go to a temporary
#      directory, dropped at the end).
# Prints the number of executions. Exits non-zero on any finding; a crashing
# input is left in the artifact directory printed at the end.
#
# usage: tools/fuzz.sh [SECONDS]        (default 120; or FUZZ_SECONDS)
# env:   FUZZ_BUILD_DIR (default build/fuzz), FUZZ_JOBS (build jobs, default 2),
#        FUZZ_MAX_LEN (default 4096), CXX (default clang++-19)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-${FUZZ_SECONDS:-120}}
build=${FUZZ_BUILD_DIR:-$root/build/fuzz}
max_len=${FUZZ_MAX_LEN:-4096}
cxx=${CXX:-clang++-19}

case $seconds in
  '' | *[!0-9]*) echo "fuzz.sh: SECONDS must be a whole number, got '$seconds'" >&2; exit 2 ;;
esac

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPIPWERK_BUILD_FUZZ=ON -DPIPWERK_BUILD_TESTS=OFF -DPIPWERK_BUILD_CLI=OFF -DPIPWERK_BUILD_PYTHON=OFF >/dev/null
cmake --build "$build" -j "${FUZZ_JOBS:-2}" --target fuzz_roll fuzz_text_forms fuzz_odds fuzz_trace
targets=(fuzz_roll fuzz_text_forms fuzz_odds fuzz_trace)

artifacts=$build/artifacts
mkdir -p "$artifacts"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
common=(-max_len="$max_len" -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$artifacts/")

finding() {  # log file, message
  tail -n 60 "$1" >&2
  echo "fuzz.sh: $2; inputs in $artifacts" >&2
  ls -l "$artifacts" >&2 || true
  exit 1
}

# 1. Saved inputs, each once through every target.
shopt -s nullglob
regressions=("$root"/fuzz/regressions/*)
if [ "${#regressions[@]}" -gt 0 ]; then
  for t in "${targets[@]}"; do
    "$build/fuzz/$t" "${common[@]}" "${regressions[@]}" >"$work/$t.regressions.log" 2>&1 ||
      finding "$work/$t.regressions.log" "$t fails on a saved regression input"
  done
  echo "regressions: ${#regressions[@]} input(s) pass through ${#targets[@]} targets"
fi

# 2. Bounded fuzzing: new units into a temporary corpus, the seeds read only.
total=0
for t in "${targets[@]}"; do
  others=$((${#targets[@]} - 1))
  if [ "$t" = fuzz_roll ]; then share=$((seconds - others * (seconds / (2 * others)))); else share=$((seconds / (2 * others))); fi
  [ "$share" -gt 0 ] || continue
  mkdir -p "$work/$t.corpus"
  status=0
  "$build/fuzz/$t" "${common[@]}" -max_total_time="$share" -print_final_stats=1 \
    -dict="$root/fuzz/roll.dict" "$work/$t.corpus" "$root/fuzz/corpus" >"$work/$t.log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$t.log" | tail -n 1)
  echo "$t: ${runs:-?} executions in ${share}s"
  total=$((total + ${runs:-0}))
  if [ "$status" -ne 0 ] || grep -qE '^==[0-9]+==ERROR|^SUMMARY: |deadly signal|Test unit written' "$work/$t.log"; then
    finding "$work/$t.log" "$t found a fault (exit $status)"
  fi
done
echo "executions: $total in ${seconds}s; no findings"
