// Rolls in WebAssembly give what the native engine gives: the same texts,
// values and errors for thousands of generated expressions, each with its
// own seed (the run wraps past 2^64 - 1, as the CLI's seeds do).
import assert from 'node:assert/strict';

import { roll, parse, PipwerkError } from '../index.js';
import { expressionGenerator } from './generator.js';
import { crossCheck, nativeLines } from './native.js';

const COUNT = 6000;
const FIRST_SEED = (1n << 64n) - 2500n;
const next = expressionGenerator(20261208);
const expressions = Array.from({ length: COUNT }, next);

function sameValue(actual, expected, where) {
  // JSON has no NaN or infinities: the CLI writes them as null.
  if (expected === null) assert.ok(!Number.isFinite(actual), `${where}: ${actual} should not be finite`);
  else assert.ok(Object.is(actual, expected), `${where}: ${actual} !== ${expected}`);
}

function compare(expression, seed, native, showDetail) {
  const where = `${JSON.stringify(expression)} seed ${seed}`;
  let result;
  try {
    result = roll(expression, { seed, showDetail });
  } catch (error) {
    assert.ok(error instanceof PipwerkError, `${where}: ${error}`);
    assert.equal(error.message, native.error, where);
    return 'error';
  }
  assert.equal(native.error, undefined, `${where}: native failed with ${native.error}, wasm gave ${result.full}`);
  assert.equal(result.consumed, native.consumed, `${where}: consumed`);
  assert.equal(result.tail, native.tail, `${where}: tail`);
  assert.equal(result.summary, native.summary, `${where}: summary`);
  assert.equal(result.detail, native.detail, `${where}: detail`);
  assert.equal(result.full, native.full, `${where}: full`);
  assert.equal(result.isSet, native.is_set, `${where}: isSet`);
  assert.equal(result.values.length, native.values.length, `${where}: values`);
  result.values.forEach((v, i) => sameValue(v, native.values[i], `${where}: values[${i}]`));
  return result.consumed === '' ? 'nothing' : result.isSet ? 'set' : 'value';
}

for (const showDetail of [true, false]) {
  crossCheck(`${COUNT} generated rolls match the native CLI (showDetail ${showDetail})`, () => {
    const args = ['--json', '--seed', String(FIRST_SEED)];
    if (!showDetail) args.push('--summary');
    const natives = nativeLines(expressions, args);
    const kinds = { error: 0, nothing: 0, set: 0, value: 0 };
    expressions.forEach((expression, i) => {
      assert.equal(natives[i].expression, expression, `line ${i} answers another expression`);
      const seed = (FIRST_SEED + BigInt(i)) % (1n << 64n);
      kinds[compare(expression, seed, natives[i], showDetail)]++;
    });
    // The corpus reaches every kind of outcome, so no kind goes unchecked.
    for (const [kind, n] of Object.entries(kinds)) assert.ok(n >= COUNT / 50, `only ${n} rolls of kind ${kind}`);
  });
}

crossCheck('parse splits where the native CLI does', () => {
  const sample = expressions.slice(0, 1500);
  const natives = nativeLines(sample, ['--json', '--parse']);
  sample.forEach((expression, i) => {
    const parsed = parse(expression);
    const where = JSON.stringify(expression);
    assert.equal(parsed.consumed, natives[i].consumed, `${where}: consumed`);
    assert.equal(parsed.tail, natives[i].tail, `${where}: tail`);
    assert.equal(parsed.success, natives[i].success ?? parsed.consumed !== '', `${where}: success`);
  });
});
