// Opposed rolls against a brute-force double sum over every pair of outcomes.
import { test } from "node:test";
import assert from "node:assert/strict";
import { compareOutcomes } from "../../web/comparison.js";

function uniform(values, total = 1) {
  return values.map((value) => ({ value, probability: total / values.length }));
}

function sumOfDice(count, faces) {
  let law = new Map([[0, 1]]);
  for (let i = 0; i < count; i++) {
    const next = new Map();
    for (const [value, p] of law) for (let face = 1; face <= faces; face++) {
      next.set(value + face, (next.get(value + face) ?? 0) + p / faces);
    }
    law = next;
  }
  return [...law].sort((x, y) => x[0] - y[0]).map(([value, probability]) => ({ value, probability }));
}

function bruteForce(a, b) {
  const result = { greater: 0, equal: 0, less: 0 };
  for (const x of a) for (const y of b) {
    const key = x.value > y.value ? "greater" : x.value === y.value ? "equal" : "less";
    result[key] += x.probability * y.probability;
  }
  return result;
}

const CASES = [
  ["2d6 vs 1d12", sumOfDice(2, 6), uniform([1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12])],
  ["1d20 vs 1d20", uniform([...Array(20).keys()].map((i) => i + 1)), uniform([...Array(20).keys()].map((i) => i + 1))],
  ["3d6 vs 10", sumOfDice(3, 6), [{ value: 10, probability: 1 }]],
  ["reals and gaps", uniform([-2.5, 0, 0.5, 7]), uniform([-3, 0.5, 6, 7, 100])],
  ["disjoint, all above", uniform([10, 11]), uniform([1, 2, 3])],
  ["a side that can fail", uniform([1, 2, 3], 0.5), uniform([2, 3]), 0.5],
  ["both sides can fail", uniform([1, 2, 3], 0.75), uniform([2, 3], 0.9), 0.25, 0.1],
];

test("opposed rolls agree with the sum over every pair", () => {
  for (const [name, a, b, failA = 0, failB = 0] of CASES) {
    const got = compareOutcomes(a, b, failA, failB);
    const want = bruteForce(a, b);
    for (const key of ["greater", "equal", "less"]) assert.ok(Math.abs(got[key] - want[key]) < 1e-12, `${name} ${key}`);
    const total = a.reduce((s, o) => s + o.probability, 0) * b.reduce((s, o) => s + o.probability, 0);
    assert.ok(Math.abs(got.failure - (1 - total)) < 1e-12, `${name} failure`);
    assert.ok(Math.abs(got.greater + got.equal + got.less + got.failure - 1) < 1e-12, `${name} sums to one`);
  }
});

test("no failure where neither side can fail, even when the sums round below one", () => {
  const sevenths = uniform([...Array(7).keys()]), tenths = uniform([...Array(10).keys()]);
  const total = (law) => law.reduce((s, o) => s + o.probability, 0);
  assert.ok(total(sevenths) < 1 && total(tenths) < 1);  // the dust this guards against
  assert.equal(compareOutcomes(sevenths, tenths).failure, 0);
});

test("swapping the sides swaps greater and less", () => {
  for (const [name, a, b, failA = 0, failB = 0] of CASES) {
    const forward = compareOutcomes(a, b, failA, failB), backward = compareOutcomes(b, a, failB, failA);
    assert.ok(Math.abs(forward.greater - backward.less) < 1e-12, name);
    assert.ok(Math.abs(forward.equal - backward.equal) < 1e-12, name);
    assert.ok(Math.abs(forward.failure - backward.failure) < 1e-12, name);
  }
});
