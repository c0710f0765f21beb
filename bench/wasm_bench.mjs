// WebAssembly against the native core, measured in the same run:
//   node bench/wasm_bench.mjs [--check] [--native BUILD_DIR]
// - a roll through the JavaScript package (js/) against the native core's
//   roll_into, per call, on alloc_bench's basket (target: at most 3x), and
//   beside it the engine's call alone (pw_roll, no JavaScript result);
// - exact odds of 20d20k10 and 50d100k25 against the native odds_bench, CPU
//   time per call (native: both threads' CPU, i.e. the work of one thread;
//   target: at most 4x);
// - the first load of the page's production build (tools/build_page.mjs, made
//   afresh in a temporary directory): what opening it fetches, uncompressed
//   (target: at most 500 KB); the views of on_demand/ load when first used.
// Native figures come from BUILD_DIR/bench/{alloc_bench,odds_bench} (a Release
// build with -DPIPWERK_BUILD_BENCH=ON; default build/bench). Figures are
// medians; the native and wasm rolls are measured in alternating passes so
// that load from other processes falls on both alike, and the wasm figures are
// taken after a warm-up, once V8 has optimised the module's hot functions.
import { execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '..');
const args = process.argv.slice(2);
const check = args.includes('--check');
const nativeAt = args.indexOf('--native');
const nativeDir = resolve(nativeAt >= 0 ? args[nativeAt + 1] : join(root, 'build', 'bench'));

const { roll, odds } = await import(join(root, 'js', 'index.js'));
const { exports } = await import(join(root, 'js', 'src', 'instance.js'));
const { putExpression } = await import(join(root, 'js', 'src', 'abi.js'));

const BASKET = ['4d6k3', '1d20+5', '3#4d6k3', '{d6, d8, 5} * 2', '10d10>=7', '2d20kl1 + 1d4 - 1',
  '{1, 2, 3} * 3#1d8', '{1, 2} + {10, 20, 30}', '-{d6, d8} * 2 + 1',
  '(2d6 + 3) * 2 - 1d4 + {1, 2, 3} * 3#1d8 + 4d6b6k3>=4 - 10%'];
const ODDS = ['20d20k10', '50d100k25'];
const PASSES = 5;
const ROLLS = 20000;
let failed = false;
const row = (cells) => console.log(cells.map((c, i) => (i === 0 ? String(c).padEnd(64) : String(c).padStart(12))).join(''));
const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];

// ns per call of roll_into(expression) with the detail, from one alloc_bench run.
function nativeRolls() {
  const out = execFileSync(join(nativeDir, 'bench', 'alloc_bench'), [String(ROLLS)], { encoding: 'utf8' });
  const figures = new Map();
  for (const line of out.split('\n')) {
    const m = /^roll_into\("(.*)"\)\s+\d+\s+([\d.]+)/.exec(line);
    if (m) figures.set(m[1], Number(m[2]));
  }
  for (const e of BASKET) if (!figures.has(e)) throw new Error(`alloc_bench printed no roll_into("${e}") row`);
  return figures;
}

let sink = 0;
// The engine's call alone, the expression already in its memory: what the
// package adds on top is the JavaScript result object and its strings.
function engineRoll(expression) {
  const length = putExpression(expression);
  const rounds = [];
  for (let r = 0; r < 3; r++) {
    const start = process.hrtime.bigint();
    for (let i = 0; i < ROLLS; i++) sink += exports.pw_roll(length, 42, 0, 1);
    rounds.push(Number(process.hrtime.bigint() - start) / ROLLS);
  }
  return median(rounds);
}

function wasmRoll(expression) {
  const options = { seed: 42 };
  const rounds = [];
  for (let r = 0; r < 3; r++) {
    const start = process.hrtime.bigint();
    for (let i = 0; i < ROLLS; i++) sink += roll(expression, options).full.length;
    rounds.push(Number(process.hrtime.bigint() - start) / ROLLS);
  }
  return median(rounds);
}

// Exact odds, CPU milliseconds per call. First, before the rolls: process CPU
// time counts V8's background threads too, which collect the rolls' garbage.
const nativeOdds = new Map();
{
  const out = execFileSync(join(nativeDir, 'bench', 'odds_bench'), ['7', ...ODDS], { encoding: 'utf8' });
  for (const line of out.split('\n')) {
    const [name, cpu] = line.trim().split(/\s+/);
    if (ODDS.includes(name)) nativeOdds.set(name, Number(cpu));
  }
  for (const e of ODDS) if (!nativeOdds.has(e)) throw new Error(`odds_bench printed no row for ${e}`);
}
console.log('exact odds: CPU ms per call, median of 7 batches of about 20 ms');
row(['expression', 'native ms', 'wasm ms', 'ratio']);
for (const e of ODDS) {
  // Warm-up: V8 runs a module's functions on its baseline compiler until they
  // are hot and optimises them on a background thread, so these figures are
  // the optimised code's, as in a page that has computed odds for a while.
  // Half a second, not a count of calls: 200 calls of 20d20k10 are over
  // before the optimised code is ready.
  const warm = Date.now();
  for (let i = 0; i < 200 || Date.now() - warm < 500; i++) sink += odds(e).outcomes.length;
  // Each figure is the mean of a batch of calls lasting about 20 ms: a single
  // call of 20d20k10 is a tenth of a millisecond, too short for the process
  // clock, which also counts V8's own threads (compiler, collector).
  const once = performance.now();
  sink += odds(e).outcomes.length;
  const batch = Math.max(1, Math.ceil(20 / Math.max(performance.now() - once, 1e-3)));
  const times = [];
  for (let i = 0; i < 7; i++) {
    const start = process.cpuUsage();
    for (let j = 0; j < batch; j++) sink += odds(e).outcomes.length;
    const used = process.cpuUsage(start);
    times.push((used.user + used.system) / 1000 / batch);
  }
  const w = median(times);
  const n = nativeOdds.get(e);
  row([e, n.toFixed(3), w.toFixed(3), `${(w / n).toFixed(2)}x`]);
  if (w / n > 4) {
    console.log(`MISSED: odds of ${e} in wasm cost ${(w / n).toFixed(2)}x native (target 4x)`);
    failed = true;
  }
}

// Warm-up: the engine's functions reach the optimising compiler.
for (const e of BASKET) for (let i = 0; i < 20000; i++) sink += roll(e, { seed: i }).values.length;

const native = new Map(BASKET.map((e) => [e, []]));
const wasm = new Map(BASKET.map((e) => [e, []]));
const engine = new Map(BASKET.map((e) => [e, []]));
for (let pass = 0; pass < PASSES; pass++) {
  const figures = nativeRolls();
  for (const e of BASKET) {
    native.get(e).push(figures.get(e));
    wasm.get(e).push(wasmRoll(e));
    engine.get(e).push(engineRoll(e));
  }
}

console.log(`\nrolls: median ns per call of ${PASSES} alternating passes (native roll_into, with detail)`);
row(['expression', 'native ns', 'roll() ns', 'ratio', 'engine ns', 'ratio']);
let nativeTotal = 0;
let wasmTotal = 0;
let engineTotal = 0;
for (const e of BASKET) {
  const n = median(native.get(e));
  const w = median(wasm.get(e));
  const g = median(engine.get(e));
  nativeTotal += n;
  wasmTotal += w;
  engineTotal += g;
  row([e, n.toFixed(0), w.toFixed(0), `${(w / n).toFixed(2)}x`, g.toFixed(0), `${(g / n).toFixed(2)}x`]);
}
const rollRatio = wasmTotal / nativeTotal;
row(['the basket (sum of medians)', nativeTotal.toFixed(0), wasmTotal.toFixed(0), `${rollRatio.toFixed(2)}x`,
  engineTotal.toFixed(0), `${(engineTotal / nativeTotal).toFixed(2)}x`]);
if (rollRatio > 3) {
  console.log(`MISSED: a roll in wasm costs ${rollRatio.toFixed(2)}x the native roll_into (target 3x)`);
  failed = true;
}

// The first load: everything the built page fetches before it can roll.
const { buildPage } = await import(join(root, 'tools', 'build_page.mjs'));
const pageDir = mkdtempSync(join(tmpdir(), 'pipwerk-bench-page-'));
try {
  const { bytes, files } = buildPage(pageDir).firstLoad;
  const kb = (n) => `${(n / 1000).toFixed(1)} KB`;
  const script = Object.entries(files).filter(([f]) => f.endsWith('.js')).reduce((sum, [, n]) => sum + n, 0);
  console.log(`\nfirst load of the built page: ${kb(bytes)} in ${Object.keys(files).length} files (the .wasm ${kb(files['pipwerk.wasm'])},`
    + ` JavaScript ${kb(script)}, HTML, CSS and icon ${kb(bytes - files['pipwerk.wasm'] - script)}); target 500 KB`);
  if (bytes > 500_000) {
    console.log('MISSED: the first load is over 500 KB');
    failed = true;
  }
} catch (error) {
  console.log(`MISSED: the page did not build (${error.message})`);
  failed = true;
} finally {
  rmSync(pageDir, { recursive: true, force: true });
}
if (sink === 0) console.log('(no output)');
if (check && failed) process.exit(1);
