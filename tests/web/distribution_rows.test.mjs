// The table's P(≤) and P(≥) columns must be the package's atMost and atLeast to
// the last bit (the CSV promises the API's own figures), NaN and infinities
// included, and the chart's body must be the engine's quantiles.
import { test } from "node:test";
import assert from "node:assert/strict";
import { odds } from "../../js/index.js";
import { bodyRange, distributionRows } from "../../web/distribution_rows.js";

const BIG = "1" + "0".repeat(300) + ".0";
const EXPRESSIONS = ["1d6", "4d6k3", "3d6b6", "50d100k25", "1d6/(1d2-1)", "d6/d6", "{1d4, 2d4k1}", "1d3b3kl1",
  `(1d2 - 1) * ${BIG} * ${BIG} - (1d2 - 1) * ${BIG} * ${BIG}`];

function columns(element) {
  const values = Float64Array.from(element.outcomes, (o) => o.value);
  const probabilities = Float64Array.from(element.outcomes, (o) => o.probability);
  return { values, probabilities, ...distributionRows(values, probabilities) };
}

test("P(≤) and P(≥) of every row are the package's, bit for bit", () => {
  for (const expression of EXPRESSIONS) {
    for (const element of odds(expression).elements) {
      const { values, atMost, atLeast, total } = columns(element);
      values.forEach((value, i) => {
        assert.ok(Object.is(atMost[i], element.atMost(value)), `${expression}: P(<= ${value})`);
        assert.ok(Object.is(atLeast[i], element.atLeast(value)), `${expression}: P(>= ${value})`);
      });
      const failing = odds(expression).errors.reduce((sum, e) => sum + e.probability, 0);
      assert.ok(Math.abs(total + failing - 1) < 1e-12, expression);
    }
  }
  assert.equal(columns(odds("1d6")).atLeast[0], 1);
});

test("the body is the engine's 0.0005 and 0.9995 quantiles of the finite values", () => {
  for (const expression of ["4d6k3", "3d6b6", "50d100k25", "d99*d100", "1d6/(1d2-1)", "1d2*1d5"]) {
    const element = odds(expression);
    const { values, probabilities, atMost, atLeast } = columns(element);
    const cuts = element.quantiles(2000);
    assert.deepEqual(bodyRange(values, probabilities, atMost, atLeast, 0.0005), [cuts[0], cuts.at(-1)], expression);
  }
  const infinite = columns(odds(EXPRESSIONS.at(-1)));
  assert.deepEqual(bodyRange(infinite.values, infinite.probabilities, infinite.atMost, infinite.atLeast, 0.0005), [0, 0]);
});
