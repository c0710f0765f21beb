// Exact odds in WebAssembly agree with the native engine's to 1e-12, and the
// probability readers (pmf, cdf, atLeast, atMost, quantiles) agree with the
// outcomes they read.
import { test } from 'node:test';
import assert from 'node:assert/strict';

import { odds, OddsTooLargeError, PipwerkError } from '../index.js';
import { expressionGenerator } from './generator.js';
import { crossCheck, nativeLines } from './native.js';

const TOLERANCE = 1e-12;
const FIXED = [
  '20d20k10', '50d100k25', '4d6k3', '2d20kl1 + 1d4 - 1', '10d10>=7', '5d10b10k3!=10', '3#4d6k3',
  '{d6, d8, 5} * 2', '{1, 2} + {10, 20, 30}', '-{d6, d8} * 2 + 1', 'd6/(d2-1)', '{d2, 3}/(d2-1)', 'd6 / 0',
  '60d6', '50d1000 * 50d1000', '', 'foo', '4d6k4294967297', '10d10kl4294967298', '50d1000b990k4294967345',
  '45d1000b990k4294967326', '20d20k18446744073709551617', '1d6 ünï', '🎲 1d6', '2.5% * d4', '1/3*d2', '0 * d6',
];
const expressions = [...FIXED, ...Array.from({ length: 400 }, expressionGenerator(7, { small: true }))];

function close(actual, expected, where) {
  if (expected === null) {
    assert.ok(!Number.isFinite(actual), `${where}: ${actual} should not be finite`);
    return;
  }
  const scale = Math.max(Math.abs(actual), Math.abs(expected));
  assert.ok(actual === expected || Math.abs(actual - expected) <= TOLERANCE * scale,
    `${where}: ${actual} vs native ${expected}`);
}

function compareDistribution(element, native, where) {
  assert.equal(element.outcomes.length, native.distribution.length, `${where}: outcome count`);
  element.outcomes.forEach((o, i) => {
    const [value, probability] = native.distribution[i];
    if (value === null) assert.ok(!Number.isFinite(o.value), `${where}: value ${i}`);
    else assert.equal(o.value, value, `${where}: value ${i}`);
    close(o.probability, probability, `${where}: P(${o.value})`);
  });
  for (const name of ['mean', 'stdev', 'variance', 'min', 'max', 'median', 'mode']) {
    close(element[name], native[name], `${where}: ${name}`);
  }
}

crossCheck(`odds of ${expressions.length} expressions match the native CLI`, () => {
  const natives = nativeLines(expressions, ['--odds', '--json']);
  const kinds = { refused: 0, failed: 0, nothing: 0, set: 0, value: 0 };
  expressions.forEach((expression, i) => {
    const native = natives[i];
    const where = JSON.stringify(expression);
    let result;
    try {
      result = odds(expression);
    } catch (error) {
      assert.ok(error instanceof PipwerkError, `${where}: ${error}`);
      assert.equal(error.message, native.error, where);
      const tooLarge = native.error.startsWith('too large for exact odds');
      assert.equal(error instanceof OddsTooLargeError, tooLarge, `${where}: error class`);
      kinds[tooLarge ? 'refused' : 'failed']++;
      return;
    }
    assert.equal(native.error, undefined, `${where}: native failed with ${native.error}`);
    assert.equal(result.consumed, native.consumed, `${where}: consumed`);
    assert.equal(result.tail, native.tail, `${where}: tail`);
    assert.equal(result.isSet, native.is_set, `${where}: isSet`);
    const errors = Object.entries(native.errors ?? {});
    assert.equal(result.errors.length, errors.length, `${where}: error rows`);
    for (const [message, probability] of errors) {
      const row = result.errors.find((e) => e.message === message);
      assert.ok(row, `${where}: no error row ${message}`);
      close(row.probability, probability, `${where}: P(${message})`);
    }
    if (!result.parsed) {
      assert.equal(native.distribution ?? native.elements, undefined, `${where}: native parsed`);
      kinds.nothing++;
    } else if (result.isSet) {
      assert.equal(result.elements.length, native.elements.length, `${where}: elements`);
      result.elements.forEach((e, k) => compareDistribution(e, native.elements[k], `${where} [${k}]`));
      kinds.set++;
    } else {
      compareDistribution(result, native, where);
      kinds.value++;
    }
  });
  for (const [kind, n] of Object.entries(kinds)) assert.ok(n >= 1, `no odds of kind ${kind}`);
});

// Every reader against the definition, at every outcome and between them.
test('pmf, cdf, atMost, atLeast and quantiles agree with the outcomes', () => {
  for (const expression of ['4d6k3', 'd6/(d2-1)', '2d20kl1 + 1d4 - 1', '1/3*d2', '3d6 * 10%', '{d4, 2d6}']) {
    for (const element of odds(expression).elements) {
      const outcomes = element.outcomes;
      const success = outcomes.reduce((sum, o) => sum + o.probability, 0);
      const probes = outcomes.flatMap((o) => [o.value, o.value + 0.25, o.value - 0.25]);
      for (const x of probes) {
        const below = outcomes.filter((o) => o.value <= x).reduce((s, o) => s + o.probability, 0);
        const above = outcomes.filter((o) => o.value >= x).reduce((s, o) => s + o.probability, 0);
        const at = outcomes.find((o) => o.value === x)?.probability ?? 0;
        close(element.atMost(x), below, `${expression}: atMost(${x})`);
        assert.equal(element.cdf(x), element.atMost(x));
        close(element.atLeast(x), above, `${expression}: atLeast(${x})`);
        assert.equal(element.pmf(x), at, `${expression}: pmf(${x})`);
        close(element.atLeast(x) + element.atMost(x) - element.pmf(x), success, `${expression}: total at ${x}`);
      }
      for (const n of [1, 2, 4, 10, 100]) {
        const cuts = element.quantiles(n);
        assert.equal(cuts.length, n - 1);
        cuts.forEach((cut, k) => {
          const q = (k + 1) / n;
          assert.ok(outcomes.some((o) => o.value === cut), `${expression}: cut ${cut} is an outcome`);
          assert.ok(element.atMost(cut) / success >= q - 1e-12, `${expression}: cut ${k} of ${n} reaches q`);
          const earlier = outcomes.filter((o) => o.value < cut).at(-1);
          if (earlier) assert.ok(element.atMost(earlier.value) / success < q, `${expression}: cut ${k} of ${n} is the smallest`);
        });
      }
      assert.equal(element.median, element.quantiles(2)[0], `${expression}: median`);
    }
  }
});

test('the readers refuse what has no single distribution', () => {
  // As the Python module's ValueError.
  const nothingParsed = (e) => e instanceof PipwerkError && e.message === 'nothing was parsed: there are no outcomes';
  const cases = [
    { expression: '{d6, d8}', read: (o) => o.outcomes, error: TypeError },
    { expression: '{d6, d8}', read: (o) => o.mean, error: TypeError },
    { expression: '{d6, d8}', read: (o) => o.atLeast(3), error: TypeError },
    { expression: 'foo', read: (o) => o.mean, error: nothingParsed },
    { expression: 'foo', read: (o) => o.quantiles(), error: nothingParsed },
    { expression: '4d6', read: (o) => o.quantiles(0), error: RangeError },
    { expression: '4d6', read: (o) => o.quantiles(1.5), error: TypeError },
    { expression: '4d6', read: (o) => o.quantiles(1_000_001), error: RangeError },
    { expression: '4d6', read: (o) => o.atLeast('3'), error: TypeError },
  ];
  for (const { expression, read, error } of cases) {
    assert.throws(() => read(odds(expression)), error, `${expression}: ${read}`);
  }
  assert.deepEqual(odds('foo').outcomes, []);
  assert.equal(odds('foo').atLeast(0), 0);
});
