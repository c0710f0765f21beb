// Reading dice from detail texts: every documented marker combination, terms mixed
// with arithmetic and sets, and texts that hold no dice.
import { test } from "node:test";
import assert from "node:assert/strict";
import { diceFromDetail } from "../../web/dice_marks.js";

const die = (value, kept, bonus, success = null) => ({ value, kept, bonus, success });

const CASES = [
  ["[1* + 4 + 6 + 4]", [{ comparison: false, dice: [die(1, false, false), die(4, true, false), die(6, true, false), die(4, true, false)] }]],
  ["[1* + 4 + 6! + 4* + 5]", [{ comparison: false, dice: [die(1, false, false), die(4, true, false), die(6, true, true), die(4, false, false), die(5, true, false)] }]],
  ["[3* + 2 + 6*! + 6*! + 2]", [{ comparison: false, dice: [die(3, false, false), die(2, true, false), die(6, false, true), die(6, false, true), die(2, true, false)] }]],
  ["<1* + 10 + 10 + 4* + 6*>", [{ comparison: true, dice: [die(1, true, false, false), die(10, true, false, true), die(10, true, false, true), die(4, true, false, false), die(6, true, false, false)] }]],
  ["<3* + 6! + 5*!>", [{ comparison: true, dice: [die(3, true, false, false), die(6, true, true, true), die(5, true, true, false)] }]],
  ["[3]", [{ comparison: false, dice: [die(3, true, false)] }]],
  ["<3*>", [{ comparison: true, dice: [die(3, true, false, false)] }]],
  ["([4] + 2) * [1000]", [{ comparison: false, dice: [die(4, true, false)] }, { comparison: false, dice: [die(1000, true, false)] }]],
  ["{[4], <2*>, 7}", [{ comparison: false, dice: [die(4, true, false)] }, { comparison: true, dice: [die(2, true, false, false)] }]],
  ["", []],
  ["3.5 / 50%", []],
  ["{1 + 10, 2 + 20}", []],
];

test("dice and their marks from detail texts", () => {
  for (const [detail, expected] of CASES) assert.deepEqual(diceFromDetail(detail), expected, detail);
});

// Writing the dice back in the documented grammar gives the terms of the text, in order.
test("the dice read back into the terms they came from", () => {
  for (const [detail] of CASES) {
    const written = diceFromDetail(detail).map(({ comparison, dice }) => {
      const body = dice.map((d) => `${d.value}${(comparison ? !d.success : !d.kept) ? "*" : ""}${d.bonus ? "!" : ""}`);
      return comparison ? `<${body.join(" + ")}>` : `[${body.join(" + ")}]`;
    });
    const terms = detail.match(/\[[^[\]]*\]|<[^<>]*>/g) ?? [];
    assert.deepEqual(written, terms, detail);
  }
});
