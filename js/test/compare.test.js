// compare(a, b) against the sums over both rolls' outcomes, from odds().
import { test } from 'node:test';
import assert from 'node:assert/strict';

import { compare, odds, OddsTooLargeError, PipwerkError } from '../index.js';

function close(actual, expected, where) {
  assert.ok(Math.abs(actual - expected) <= 1e-12, `${where}: ${actual} vs ${expected}`);
}

// P(A > B) and the others as a double sum over the outcome pairs.
function bySums(a, b) {
  const success = (o) => o.outcomes.reduce((s, x) => s + x.probability, 0);
  const sums = { greater: 0, equal: 0, less: 0, unordered: 0 };
  for (const x of a.outcomes) {
    for (const y of b.outcomes) {
      const p = x.probability * y.probability;
      if (x.value > y.value) sums.greater += p;
      else if (x.value === y.value) sums.equal += p;
      else if (x.value < y.value) sums.less += p;
      else sums.unordered += p;
    }
  }
  sums.failure = 1 - success(a) * success(b);
  return sums;
}

const PAIRS = [
  ['1d20', '1d20 + 1'], ['4d6k3', '3d6'], ['2d20kl1', '1d20'], ['d6/(d2-1)', '2d6'], ['10d10>=7', '3'],
  ['1/3*d3', '0.5'], ['d6 - d6', '0'], ['2d6', '2d6'], ['50%*d4', 'd2'],
];

test('compare agrees with the sums over both distributions', () => {
  for (const [a, b] of PAIRS) {
    const result = compare(a, b);
    const expected = bySums(odds(a), odds(b));
    for (const key of ['greater', 'equal', 'less', 'failure', 'unordered']) close(result[key], expected[key], `${a} vs ${b}: ${key}`);
    close(result.greater + result.equal + result.less + result.failure + result.unordered, 1, `${a} vs ${b}: total`);
    const swapped = compare(b, a);
    close(swapped.greater, result.less, `${b} vs ${a}: swapped`);
  }
});

test('compare refuses sets, empty texts and work over the budget', () => {
  const cases = [
    [['{1, 2}', '1d6'], (e) => e instanceof PipwerkError && !(e instanceof OddsTooLargeError) && /set/.test(e.message)],
    [['1d6', 'foo'], (e) => e instanceof PipwerkError && !(e instanceof OddsTooLargeError)],
    [['50d1000 * 50d1000', '1'], (e) => e instanceof OddsTooLargeError],
    [['1d6', 7], (e) => e instanceof TypeError && /b must be a string/.test(e.message)],
    [['\ud800', '1'], (e) => e instanceof RangeError && /a has a lone surrogate/.test(e.message)],
  ];
  for (const [[a, b], check] of cases) assert.throws(() => compare(a, b), check, `${a} vs ${b}`);
  assert.equal(compare('60d6', '1d6').failure, 1);
});
