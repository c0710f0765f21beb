#!/usr/bin/env bash
# Runs every test of the project from a clean tree:
#   1. the C++ suites, plain (Release) and under AddressSanitizer + UBSan;
#   2. the Python package built by `pip install .` into a fresh virtual
#      environment, then its pytest suites (module, CLI, adversarial inputs);
#   3. valgrind memcheck of the C++ tests and the CLI (skipped without valgrind);
#   4. bounded fuzzing of the engine (FUZZ_SECONDS, default 120; skipped
#      without clang++-19).
# Build products go to build/test (override with PIPWERK_TEST_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${PIPWERK_TEST_DIR:-$root/build/test}
jobs=$(nproc)
python=${PYTHON:-python3}

step() { printf '\n==== %s ====\n' "$*"; }

step "C++ tests (Release)"
cmake -S "$root" -B "$out/plain" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$out/plain" -j "$jobs"
ctest --test-dir "$out/plain" --output-on-failure -j "$jobs"

step "C++ tests (AddressSanitizer + UndefinedBehaviorSanitizer)"
cmake -S "$root" -B "$out/sanitized" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPIPWERK_SANITIZE=ON >/dev/null
cmake --build "$out/sanitized" -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$out/sanitized" --output-on-failure -j "$jobs"

step "Python package in a fresh virtual environment"
rm -rf "$out/venv"
"$python" -m venv "$out/venv"
"$out/venv/bin/python" -m pip install -q --upgrade pip
"$out/venv/bin/python" -m pip install -q pytest hypothesis numpy mypy icepool==2.1.3
"$out/venv/bin/python" -m pip install -q "$root"

step "Python tests"
cd "$root"
PATH="$out/venv/bin:$PATH" "$out/venv/bin/python" -m pytest -q tests/python

step "valgrind memcheck"
if command -v valgrind >/dev/null; then
  bash "$root/tools/memcheck.sh" "$out/plain"
else
  echo "valgrind is not installed: skipped"
fi

step "Fuzzing"
if command -v "${CXX_FUZZ:-clang++-19}" >/dev/null; then
  FUZZ_BUILD_DIR="$out/fuzz" CXX="${CXX_FUZZ:-clang++-19}" bash "$root/tools/fuzz.sh" "${FUZZ_SECONDS:-120}"
else
  echo "clang++-19 is not installed: skipped"
fi
