#!/usr/bin/env bash
# Runs every test of the project from a clean tree:
#   1. the C++ suites, plain (Release) and under AddressSanitizer + UBSan;
#   2. cmake --install of the Release build, and a consumer project
#      (tests/consumer) built against the installed package, by CMake and
#      by pkg-config, and run;
#   3. the Python package built by `pip install .` into a fresh virtual
#      environment, then its pytest suites (module, CLI, the CLI in a
#      pseudo-terminal, adversarial inputs);
#   4. valgrind memcheck of the C++ tests and the CLI (skipped without valgrind);
#   5. bounded fuzzing of the engine (FUZZ_SECONDS, default 120; skipped
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

step "Installed package and a consumer project"
rm -rf "$out/install" "$out/consumer"
cmake --install "$out/plain" --prefix "$out/install" >/dev/null
cmake -S "$root/tests/consumer" -B "$out/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$out/install" >/dev/null
cmake --build "$out/consumer"
"$out/consumer/consumer"
pc_dir=$(dirname "$(find "$out/install" -name pipwerk.pc)")
pc_flags=$(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags --libs pipwerk)
# shellcheck disable=SC2086  # the flags are words
"${CXX:-c++}" "$root/tests/consumer/main.cpp" $pc_flags -o "$out/consumer/consumer_pkg_config"
"$out/consumer/consumer_pkg_config" >/dev/null

step "Python package in a fresh virtual environment"
rm -rf "$out/venv"
"$python" -m venv "$out/venv"
"$out/venv/bin/python" -m pip install -q --upgrade pip
"$out/venv/bin/python" -m pip install -q pytest hypothesis numpy mypy pexpect==4.9.0
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
