// The chart's layout: round ticks on a numeric axis, a column per value while
// they fit, and bins beyond that which lose no probability and read P(≥) and P(≤)
// exactly at their edges.
import { test } from "node:test";
import assert from "node:assert/strict";
import { axisTicks, chartColumns, niceStep } from "../../web/chart_layout.js";
import { distributionRows } from "../../web/distribution_rows.js";

test("axis steps are 1, 2 or 5 times a power of ten and give at most the asked ticks", () => {
  for (const span of [0.0003, 0.07, 0.16, 0.5, 1, 3, 17, 250, 999999]) {
    for (const count of [3, 5, 8]) {
      const step = niceStep(span, count);
      const mantissa = step / 10 ** Math.floor(Math.log10(step) + 1e-12);
      assert.ok([1, 2, 5, 10].some((m) => Math.abs(mantissa - m) < 1e-9), `${span} ${count} -> ${step}`);
      assert.ok(span / step <= count + 1e-9, `${span} ${count} -> ${step}`);
    }
  }
});

test("ticks: round, in order, within the range and the room; whole for whole values", () => {
  const cases = [[2.5, 18.5, 20, true], [0, 1000000, 14, true], [4.5, 5.5, 10, true], [0.25, 3.25, 8, false], [-7.5, 1000.5, 4, false]];
  for (const [low, high, room, integers] of cases) {
    const ticks = axisTicks(low, high, room, integers);
    assert.ok(ticks.length >= 1 && ticks.length <= room, `${low}..${high}: ${ticks}`);
    assert.ok(ticks.every((t, i) => t >= low && t <= high && (i === 0 || t > ticks[i - 1])), `${ticks}`);
    const step = ticks.length > 1 ? ticks[1] - ticks[0] : 1;
    assert.ok(ticks.every((t) => Math.abs(t / step - Math.round(t / step)) < 1e-9), `${ticks}`);
    if (integers) assert.ok(ticks.every(Number.isInteger), `${ticks}`);
  }
});

// A law given as [value, probability] pairs, with its table columns.
function law(pairs) {
  const values = Float64Array.from(pairs, ([v]) => v);
  const probabilities = Float64Array.from(pairs, ([, p]) => p);
  return { values, probabilities, ...distributionRows(values, probabilities) };
}

const twoDice = law(Array.from({ length: 11 }, (_, i) => [i + 2, (6 - Math.abs(i - 5)) / 36]));
const wide = law(Array.from({ length: 5000 }, (_, i) => [i * 3 + 1, 1 / 5000]));

test("few values: a column per value, at the value, heights the table's", () => {
  const sparse = law([[1, 0.25], [2, 0.25], [10, 0.5]]);
  for (const view of ["equal", "atLeast", "atMost"]) {
    const { columns, heights, binWidth } = chartColumns([twoDice, sparse], [1, 12], view, 100);
    assert.equal(binWidth, null);
    assert.deepEqual(columns.map((c) => c.first), [1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12]);
    assert.ok(columns.every((c) => c.right - c.left === 1 && (c.left + c.right) / 2 === c.first));
    const column = { equal: "probabilities", atLeast: "atLeast", atMost: "atMost" }[view];
    twoDice.values.forEach((v, i) => assert.equal(heights[0][v - 1], twoDice[column][i], `${view} ${v}`));
  }
  // Between its values, a law's P(≥) is that of the next value up, P(≤) of the next down.
  assert.equal(chartColumns([twoDice, sparse], [1, 12], "atLeast", 100).heights[1][4], 0.5);
  assert.equal(chartColumns([twoDice, sparse], [1, 12], "atMost", 100).heights[1][4], 0.5);
});

test("many values: round bins that lose nothing and read the tails at their edges", () => {
  const range = [1, 14998];
  const { columns, heights, binWidth, integers } = chartColumns([wide], range, "equal", 300);
  assert.equal(binWidth, 50);
  assert.ok(integers && columns.length <= 301 && columns[0].left <= 1 && columns.at(-1).right > 14998);
  assert.ok(Math.abs(heights[0].reduce((a, b) => a + b) - 1) < 1e-12);
  assert.deepEqual([columns[0].first, columns[0].last], [0, 49]);
  const atLeast = chartColumns([wide], range, "atLeast", 300).heights[0];
  const atMost = chartColumns([wide], range, "atMost", 300).heights[0];
  columns.forEach((column, c) => {
    const firstIn = wide.values.findIndex((v) => v >= column.left);
    const lastIn = wide.values.findLastIndex((v) => v < column.right);
    assert.equal(atLeast[c], wide.atLeast[firstIn], `P(>=) at ${column.left}`);
    assert.equal(atMost[c], wide.atMost[lastIn], `P(<=) at ${column.right}`);
  });
});

test("a range leaves out the values beyond it", () => {
  const { columns, heights } = chartColumns([twoDice], [5, 9], "equal", 100);
  assert.deepEqual(columns.map((c) => c.first), [5, 6, 7, 8, 9]);
  assert.deepEqual([...heights[0]], [4, 5, 6, 5, 4].map((n) => n / 36));
});
