// Probabilities as people read them: never a certainty that is not one, never zero
// for a chance that exists, and as many digits as the figure needs.
import { test } from "node:test";
import assert from "node:assert/strict";
import { formatPercent, formatValue } from "../../web/number_format.js";

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
