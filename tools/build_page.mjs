// The web page's production build: web/ bundled by esbuild (Debian's), minified,
// as ES modules split into chunks, into one directory that holds the whole page:
//   node tools/build_page.mjs [OUTDIR] [--json]
// OUTDIR defaults to $PIPWERK_PAGE_DIR, else web/dist; it is emptied first.
// `npm run build` in js/ runs this after building js/pipwerk.wasm. ESBUILD names
// the esbuild program (default: esbuild on PATH). The last line printed is the
// first load (with --json, the whole result as JSON).
//
// The entry points keep their names and places, because the page names them:
// index.html loads main.js and style.css, main.js starts its worker from
// new URL("./odds_worker.js", import.meta.url), and a view of on_demand/
// fetches its style sheet beside itself. Code they share goes into chunks named
// by content hash, beside main.js, and so does pipwerk.wasm: the package fetches
// it from new URL("./pipwerk.wasm", import.meta.url), the chunk's own place.
import { execFileSync } from 'node:child_process';
import { copyFileSync, mkdirSync, mkdtempSync, readdirSync, readFileSync, rmSync, statSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, relative, resolve, sep } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '..');
const web = join(root, 'web');
const wasm = join(root, 'js', 'pipwerk.wasm');
const COPIED = ['index.html', 'icon.svg'];
const ON_DEMAND = 'on_demand';

function entryPoints() {
  const lazy = readdirSync(join(web, ON_DEMAND)).filter((f) => /\.(js|css)$/.test(f)).map((f) => `${ON_DEMAND}/${f}`);
  return ['main.js', 'odds_worker.js', 'style.css', ...lazy];
}

function inside(outer, inner) {
  const path = relative(outer, inner);
  return path === '' || (!path.startsWith('..') && !path.startsWith(sep));
}

function esbuild(args) {
  const program = process.env.ESBUILD ?? 'esbuild';
  try {
    execFileSync(program, args, { cwd: web, stdio: ['ignore', 'ignore', 'pipe'], encoding: 'utf8' });
  } catch (error) {
    if (error.code === 'ENOENT') throw new Error(`${program} not found: install Debian's esbuild package, or set ESBUILD`);
    throw new Error(`esbuild failed:\n${error.stderr ?? error.message}`);
  }
}

// What opening the page fetches: index.html, its icon and style sheet, the
// engine's .wasm, and main.js and the worker it starts at once, with every chunk
// they import, statically or dynamically, except the views of on_demand/, which
// load when first used. Sizes in bytes, by path in the output directory.
function firstLoad(outdir, metafile) {
  const outputs = new Map(Object.entries(metafile.outputs).map(([path, output]) =>
    [relative(outdir, resolve(web, path)).split(sep).join('/'), output]));
  const files = new Set([...COPIED, 'style.css', 'pipwerk.wasm']);
  const pending = ['main.js', 'odds_worker.js'];
  while (pending.length > 0) {
    const file = pending.pop();
    if (files.has(file) || file.startsWith(`${ON_DEMAND}/`)) continue;
    files.add(file);
    for (const { path } of outputs.get(file).imports) pending.push(relative(outdir, resolve(web, path)).split(sep).join('/'));
  }
  const sizes = Object.fromEntries([...files].sort().map((file) => [file, statSync(join(outdir, file)).size]));
  return { bytes: Object.values(sizes).reduce((a, b) => a + b, 0), files: sizes };
}

export function buildPage(outdir = process.env.PIPWERK_PAGE_DIR ?? join(web, 'dist')) {
  outdir = resolve(outdir);
  if (inside(outdir, web) || inside(outdir, join(root, 'js'))) throw new Error(`${outdir} holds the sources: give another directory`);
  try {
    statSync(wasm);
  } catch {
    throw new Error(`${wasm} is missing: build it first (cd js && npm run build)`);
  }
  rmSync(outdir, { recursive: true, force: true });
  mkdirSync(outdir, { recursive: true });
  const scratch = mkdtempSync(join(tmpdir(), 'pipwerk-page-'));
  const meta = join(scratch, 'meta.json');
  try {
    esbuild([...entryPoints(), '--bundle', '--splitting', '--format=esm', '--target=es2022', '--minify',
      '--charset=utf8', '--sourcemap', `--outdir=${outdir}`, '--outbase=.', '--entry-names=[dir]/[name]',
      '--chunk-names=[name]-[hash]', `--metafile=${meta}`, '--log-level=warning']);
    for (const file of COPIED) copyFileSync(join(web, file), join(outdir, file));
    copyFileSync(wasm, join(outdir, 'pipwerk.wasm'));
    return { outdir, firstLoad: firstLoad(outdir, JSON.parse(readFileSync(meta, 'utf8'))) };
  } finally {
    rmSync(scratch, { recursive: true, force: true });
  }
}

const kb = (bytes) => `${(bytes / 1000).toFixed(1)} KB`;

if (process.argv[1] && import.meta.url === pathToFileURL(resolve(process.argv[1])).href) {
  const args = process.argv.slice(2);
  try {
    const built = buildPage(args.find((arg) => !arg.startsWith('--')));
    if (args.includes('--json')) {
      console.log(JSON.stringify(built));
    } else {
      const { bytes, files } = built.firstLoad;
      const shown = relative(process.cwd(), built.outdir);
      console.log(`the page: ${shown === '' ? '.' : shown.startsWith('..') ? built.outdir : shown}`);
      console.log(`first load: ${kb(bytes)} in ${Object.keys(files).length} files: `
        + Object.entries(files).map(([file, size]) => `${file} ${kb(size)}`).join(', '));
    }
  } catch (error) {
    console.error(`build_page: ${error.message}`);
    process.exit(1);
  }
}
