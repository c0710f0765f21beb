#!/usr/bin/env bash
# The npm package as a user gets it: `npm pack` of js/ (with its built .wasm)
# checked (README.md and LICENSE in it, no file executable), installed offline
# into an empty project, and the examples of its README run there: as ES
# modules, and a block that calls require() as CommonJS.
#   bash tools/check_npm_package.sh OUT_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rm -rf "$1"
mkdir -p "$1/project"
out=$(cd "$1" && pwd)
[ -f "$root/js/pipwerk.wasm" ] || { echo "js/pipwerk.wasm is missing: run npm run build in js/ first" >&2; exit 1; }
# The version is the project's one, from pyproject.toml.
want=$(sed -n 's/^version = "\(.*\)"$/\1/p' "$root/pyproject.toml")
have=$(node -p "require('$root/js/package.json').version")
[ "$want" = "$have" ] || { echo "js/package.json has version $have, pyproject.toml $want" >&2; exit 1; }

tarball=$(cd "$root/js" && npm pack --pack-destination "$out" 2>/dev/null | tail -n 1)
listing=$(tar -tvzf "$out/$tarball")
echo "packed $tarball:"
echo "$listing"
for file in README.md LICENSE pipwerk.wasm index.js browser.js init.js index.d.ts; do
  grep -q " package/$file\$" <<<"$listing" || { echo "$tarball has no $file" >&2; exit 1; }
done
if grep -v '^-rw-r--r-- ' <<<"$listing" | grep .; then
  echo "$tarball: every file must be mode 644 (rw-r--r--)" >&2
  exit 1
fi

cd "$out/project"
echo '{"name": "pipwerk-consumer", "version": "1.0.0", "private": true}' > package.json
npm install --offline --no-audit --no-fund --silent "$out/$tarball"
# Each ```js block of the package's README, as the file a user would paste it into.
awk -v dir="$out/project" '
  /^```js$/ { n++; body = ""; inside = 1; next }
  /^```$/ && inside { ext = body ~ /require\(/ ? "cjs" : "mjs"; f = dir "/readme_" n "." ext; printf "%s", body > f; close(f); inside = 0; next }
  inside { body = body $0 "\n" }
' "$root/js/README.md"
examples=(readme_*)
[ "${#examples[@]}" -ge 2 ] && [ -f "${examples[0]}" ] || { echo "js/README.md: no js examples found" >&2; exit 1; }
for example in "${examples[@]}"; do
  node "$example"
  echo "ran the README's $example in the installed package"
done
