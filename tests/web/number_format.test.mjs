// Probabilities as people read them: never a certainty that is not one, never zero
// for a chance that exists, and as many digits as the figure needs.
import { test } from "node:test";
import assert from "node:assert/strict";
import { formatPercent, formatValue } from "../../web/number_format.js";
import { axisLabelSlots, niceStep } from "../../web/histogram.js";

test("percentages", () => {
  const cases = [
    [0, "0 %"], [1, "100 %"], [0.5, "50.00 %"], [1 / 6, "16.67 %"], [0.00016, "0.016 %"],
    [1e-30, "1.0e-28 %"], [0.99999999, "> 99.99 %"], [0.9999999999999998, "100 %"], [1 - 1e-13, "100 %"], [1 - 1e-11, "> 99.99 %"], [0.0001, "0.010 %"], [0.005, "0.50 %"], [0.000099, "0.0099 %"],
  ];
  for (const [p, text] of cases) assert.equal(formatPercent(p), text, String(p));
});

test("a chance strictly between 0 and 1 never reads as 0 % or 100 %", () => {
  for (let k = -300; k < 0; k += 0.37) {
    for (const p of [10 ** k, 1 - 10 ** k]) {
      if (p <= 0 || p >= 1 - 1e-12) continue;  // within rounding of a certainty
      const text = formatPercent(p);
      assert.ok(text !== "0 %" && text !== "100 %" && !/^0\.00 %|^100\.00 %/.test(text), `${p} -> ${text}`);
    }
  }
});

test("values read as the engine writes them", () => {
  const cases = [[14, "14"], [-3, "-3"], [3.5, "3.5"], [1 / 3, "0.3333333333333333"], [1e15, "1000000000000000"], [0, "0"]];
  for (const [value, text] of cases) assert.equal(formatValue(value), text);
});

test("axis steps are 1, 2 or 5 times a power of ten and give at most the asked ticks", () => {
  for (const span of [0.0003, 0.07, 0.16, 0.5, 1, 3, 17, 250]) {
    for (const count of [3, 5, 8]) {
      const step = niceStep(span, count);
      const mantissa = step / 10 ** Math.floor(Math.log10(step) + 1e-12);
      assert.ok([1, 2, 5, 10].some((m) => Math.abs(mantissa - m) < 1e-9), `${span} ${count} -> ${step}`);
      assert.ok(span / step <= count + 1e-9, `${span} ${count} -> ${step}`);
    }
  }
});

test("axis labels: within the room, in order, and on round values when there are some", () => {
  const range = (from, to, by = 1) => Array.from({ length: Math.floor((to - from) / by) + 1 }, (_, i) => from + i * by);
  const cases = [
    [range(3, 18), 20, null],
    [range(25, 25000), 14, 2000],
    [range(6, 25), 8, 5],
    [range(1, 6).map((v) => v / 6), 3, null],
    [[-7, -3.5, 0, 0.25, 9, 1000], 4, null],
  ];
  for (const [values, room, step] of cases) {
    const slots = axisLabelSlots(values, room);
    assert.ok(slots.length >= 2 && slots.length <= Math.max(room, 2), `${values.length} values, room ${room}: ${slots.length}`);
    assert.ok(slots.every((slot, i) => Number.isInteger(slot) && slot >= 0 && slot < values.length && (i === 0 || slot > slots[i - 1])));
    if (step !== null) assert.ok(slots.every((slot) => values[slot] % step === 0), `${room}: ${slots.map((s) => values[s])}`);
  }
});
