// Running out of memory, for real, in a child process: wasm memory capped
// (--wasm-max-mem-pages) so that a long text traps the engine, and the
// address space capped (prlimit --as) so that a fresh instance fits only once
// the trapped one is freed. While the child holds the trapped memory every
// call must fail with a PipwerkError that says so, never answer from the
// trapped instance; once it lets go, every call must answer right.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';

const CHILD = `
import * as pipwerk from './index.js';
import { exports } from './src/instance.js';
const CALLS = {
  roll: () => pipwerk.roll('4d6k3', { seed: 42 }).full,
  parse: () => pipwerk.parse('2d6 + x').tail,
  odds: () => pipwerk.odds('2d6').atLeast(7),
  reader: (made) => made.pmf(7),
  compare: () => pipwerk.compare('4d6k3', '3d6').greater,
  sample: () => Array.from(pipwerk.sample('3d6', 3, { seed: 5 })),
  trace: () => pipwerk.trace('4d6k3', { seed: 42 }).result.full,
};
const made = pipwerk.odds('2d6');
const answer = (call) => { try { return call(made); } catch (e) { return { error: e.constructor.name, message: e.message }; } };
const before = Object.fromEntries(Object.entries(CALLS).map(([name, call]) => [name, answer(call)]));
let trapped = exports.memory;
const trap = answer(() => pipwerk.roll('1d6 '.repeat(6e6)));
const held = Object.entries({ ...CALLS, again: CALLS.roll }).map(([name, call]) => [name, answer(call)]);
trapped = null;
const after = Object.fromEntries(Object.entries(CALLS).map(([name, call]) => [name, answer(call)]));
console.log(JSON.stringify({ before, trap, held, after }));
`;

const prlimit = spawnSync('prlimit', ['--version']).status === 0;

test('after the engine runs out of memory, calls fail clearly until a fresh one starts', { skip: !prlimit && 'no prlimit' }, () => {
  // 16 GB holds one instance's reservation of address space (about 10 GB), not two.
  const run = spawnSync('prlimit', ['--as=16000000000', process.execPath, '--wasm-max-mem-pages=512',
    '--input-type=module', '-e', CHILD], { cwd: new URL('..', import.meta.url), encoding: 'utf8' });
  assert.equal(run.status, 0, run.stderr);
  const { before, trap, held, after } = JSON.parse(run.stdout);
  assert.equal(before.roll, '[1* + 4 + 6 + 4] = 14');
  assert.equal(trap.error, 'PipwerkError');
  assert.match(trap.message, /^out of memory: the engine stopped/);
  for (const [name, answer] of held) {
    assert.equal(answer.error, 'PipwerkError', `${name} while the trapped memory is held: ${JSON.stringify(answer)}`);
    assert.match(answer.message, /^out of memory: the engine cannot start/, name);
  }
  assert.deepEqual(after, before);
});
