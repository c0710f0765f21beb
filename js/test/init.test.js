// init.js in a fresh process: nothing loads on import, every call before
// init() is a PipwerkError, and init() takes the module in each form it
// accepts, in place of the engine before, or refuses the source clearly.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';

const CHILD = `
import { readFile } from 'node:fs/promises';
import { init, roll } from './init.js';
const wasm = new URL('./pipwerk.wasm', import.meta.url);
const bytes = await readFile(wasm);
const outcome = async (step) => {
  try { return await step(); } catch (e) { return e.constructor.name + ': ' + e.message; }
};
const rolled = () => roll('4d6k3', { seed: 42 }).full;
const steps = {
  before: rolled,
  'bytes': async () => { await init(bytes); return rolled(); },
  'ArrayBuffer': async () => { await init(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length)); return rolled(); },
  'Module': async () => { await init(new WebAssembly.Module(bytes)); return rolled(); },
  'Response': async () => { await init(new Response(bytes, { headers: { 'content-type': 'application/wasm' } })); return rolled(); },
  'a promise': async () => { await init(Promise.resolve(bytes)); return rolled(); },
  'a number': () => init(42),
  'not wasm': () => init(new Uint8Array([1, 2, 3])),
  'after a failed init': rolled,
  'HTTP 404': () => init(new Response('', { status: 404 })),
};
const out = {};
for (const [name, step] of Object.entries(steps)) out[name] = await outcome(step);
console.log(JSON.stringify(out));
`;

test('init() loads the engine from bytes, a module or a response, and refuses anything else', () => {
  const run = spawnSync(process.execPath, ['--input-type=module', '-e', CHILD],
    { cwd: new URL('..', import.meta.url), encoding: 'utf8' });
  assert.equal(run.status, 0, run.stderr);
  const { 'not wasm': notWasm, ...out } = JSON.parse(run.stdout);
  assert.match(notWasm, /^PipwerkError: cannot load the engine: WebAssembly.compile\(\)/);
  const rolled = '[1* + 4 + 6 + 4] = 14';
  assert.deepEqual(out, {
    before: 'PipwerkError: the engine is not loaded: call init() and wait for it before any other call',
    bytes: rolled,
    ArrayBuffer: rolled,
    Module: rolled,
    Response: rolled,
    'a promise': rolled,
    'a number': 'TypeError: init takes a URL, the module\'s bytes, a WebAssembly.Module or a Response, not number',
    'after a failed init': rolled,
    'HTTP 404': 'PipwerkError: cannot load the engine: HTTP 404',
  });
});
