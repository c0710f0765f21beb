#!/usr/bin/env bash
# The npm package as a user gets it: `npm pack` of js/ (with its built .wasm),
# installed offline into an empty project, and an example run there.
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
echo "packed $tarball: $(tar -tzf "$out/$tarball" | tr '\n' ' ')"
cd "$out/project"
echo '{"name": "pipwerk-consumer", "version": "1.0.0", "private": true, "type": "module"}' > package.json
npm install --offline --no-audit --no-fund --silent "$out/$tarball"
cat > example.js <<'JS'
import { roll, odds, PipwerkError } from 'pipwerk';
const rolled = roll('4d6k3', { seed: 42 });
if (rolled.full !== '[1* + 4 + 6 + 4] = 14') throw new Error(`rolled ${rolled.full}`);
const p = odds('2d6').atLeast(7);
if (Math.abs(p - 21 / 36) > 1e-15) throw new Error(`P(2d6 >= 7) = ${p}`);
try {
  roll('60d6');
  throw new Error('60d6 rolled');
} catch (error) {
  if (!(error instanceof PipwerkError)) throw error;
}
console.log(`installed pipwerk rolls ${rolled.full}; P(2d6 >= 7) = ${p}`);
JS
node example.js
