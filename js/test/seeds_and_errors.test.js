// Seeds over the full 64-bit range and the checks on every argument; the
// error classes carry the engine's messages.
import { test } from 'node:test';
import assert from 'node:assert/strict';

import { odds, OddsTooLargeError, PipwerkError, roll, sample, trace } from '../index.js';
import { crossCheck, nativeLines } from './native.js';

const MAX = (1n << 64n) - 1n;
const EXPRESSIONS = ['50d1000', '{d6, d20, d100} * 2', '10d10>=7'];

crossCheck('seeds 0 and 2^64 - 1, and numbers up to 2^53, roll as the native CLI does', () => {
  for (const seed of [0n, 1n, MAX, MAX - 1n, 1n << 53n, (1n << 53n) - 1n, 1n << 32n, (1n << 32n) - 1n]) {
    const natives = nativeLines(EXPRESSIONS, ['--json', '--seed', String(seed)]);
    EXPRESSIONS.forEach((expression, i) => {
      const s = (seed + BigInt(i)) & MAX;
      assert.equal(roll(expression, { seed: s }).full, natives[i].full, `${expression} seed ${s}`);
      if (s <= 1n << 53n) assert.equal(roll(expression, { seed: Number(s) }).full, natives[i].full, `number ${s}`);
    });
  }
});

test('sample rows are the rolls of consecutive seeds, wrapping past 2^64 - 1', () => {
  for (const expression of ['4d6k3', '{d6, d8, 5} * 2', '3#1d20']) {
    const rows = 20;
    const values = sample(expression, rows, { seed: MAX - 9n });
    const width = values.length / rows;
    for (let i = 0; i < rows; i++) {
      const seed = (MAX - 9n + BigInt(i)) & MAX;
      assert.deepEqual(Array.from(values.subarray(i * width, (i + 1) * width)), roll(expression, { seed }).values,
        `${expression} row ${i}`);
    }
  }
  // Longer than one stretch of the fill, a set of 5 elements per row.
  const many = sample('{d6, d8, d10, d12, d20}', 20000, { seed: 7 });
  assert.equal(many.length, 100000);
  assert.deepEqual(Array.from(many.subarray(5 * 19999)), roll('{d6, d8, d10, d12, d20}', { seed: 19999 + 7 }).values);
  assert.equal(sample('foo', 10).length, 0);
  assert.equal(sample('4d6', 0).length, 0);
});

test('number seeds above 2^32 are the same seeds as BigInts: in trace and in sample rows', () => {
  // Low halves from 0 to 2^32 - 1, above and below 2^31.
  const seeds = [2 ** 32, 2 ** 32 + 2 ** 31 + 5, 2 ** 40 + 12345, 2 ** 52 + 2 ** 32 - 1, 2 ** 53 - 1, 2 ** 53];
  for (const seed of seeds) {
    assert.equal(trace('4d6k3', { seed }).seed, BigInt(seed), `trace seed ${seed}`);
    const rows = sample('{d6, d8} * 3d6', 3, { seed });
    for (let i = 0; i < 3; i++) {
      assert.deepEqual(Array.from(rows.subarray(2 * i, 2 * i + 2)), roll('{d6, d8} * 3d6', { seed: BigInt(seed) + BigInt(i) }).values,
        `sample seed ${seed} row ${i}`);
    }
  }
});

test('unseeded calls draw fresh seeds', () => {
  const rolls = new Set(Array.from({ length: 20 }, () => roll('50d1000').full));
  assert.equal(rolls.size, 20);
  assert.notDeepEqual(Array.from(sample('50d1000', 3)), Array.from(sample('50d1000', 3)));
});

test('bad arguments are refused with the type or range at fault', () => {
  const cases = [
    [() => roll('1d6', { seed: -1 }), RangeError, /seed must be a whole number from 0 to 2\*\*53/],
    [() => roll('1d6', { seed: 1.5 }), RangeError, /seed/],
    [() => roll('1d6', { seed: 2 ** 53 + 2 }), RangeError, /as a BigInt/],
    [() => roll('1d6', { seed: Number.NaN }), RangeError, /seed/],
    [() => roll('1d6', { seed: -1n }), RangeError, /2\*\*64 - 1/],
    [() => roll('1d6', { seed: 1n << 64n }), RangeError, /2\*\*64 - 1/],
    [() => roll('1d6', { seed: '1' }), TypeError, /bigint or a number/],
    [() => roll('1d6', { showDetail: 1 }), TypeError, /showDetail/],
    [() => roll('1d6', 5), TypeError, /options/],
    [() => sample('1d6', -1), RangeError, /n must be at least 0/],
    [() => sample('1d6', 1.5), TypeError, /n must be a whole number/],
    [() => sample('1d6', 2 ** 28 + 1), RangeError, /sample too large/],
    [() => sample('3#1d6', 2 ** 27), RangeError, /sample too large: 134217728 rows of 3 values/],
  ];
  for (const [call, type, message] of cases) assert.throws(call, (e) => e instanceof type && message.test(e.message), String(call));
  assert.equal(roll('2d6', { seed: 2 ** 53 }).full, roll('2d6', { seed: 1n << 53n }).full);
});

crossCheck('engine errors are PipwerkErrors with the native messages', () => {
  const failing = ['60d6', '1d1001', '11#d6', '0#d6', 'd6/0', '1d6 / (1d1 - 1)', '0d6', '5d0'];
  const natives = nativeLines(failing, ['--json', '--seed', '1']);
  failing.forEach((expression, i) => {
    const message = natives[i].error;
    assert.ok(message, `${expression} fails natively`);
    assert.throws(() => roll(expression, { seed: 1 + i }), (e) =>
      e instanceof PipwerkError && e instanceof Error && !(e instanceof OddsTooLargeError) &&
      e.name === 'PipwerkError' && e.message === message, expression);
  });
  assert.throws(() => sample('d6/0', 3), (e) => e instanceof PipwerkError && e.message === 'division by zero');
  // Odds: certain failure versus a refusal by the budget.
  assert.throws(() => odds('60d6'), (e) => e instanceof PipwerkError && !(e instanceof OddsTooLargeError));
  assert.throws(() => odds('50d1000 * 50d1000'), (e) =>
    e instanceof OddsTooLargeError && e instanceof PipwerkError && e.name === 'OddsTooLargeError' &&
    e.message.startsWith('too large for exact odds: '));
});
