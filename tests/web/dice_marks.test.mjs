// Reading dice from detail texts: every documented marker combination, bonus dice,
// terms mixed with arithmetic and sets, and texts that hold no dice.
import { test } from "node:test";
import assert from "node:assert/strict";
import { diceFromDetail } from "../../web/dice_marks.js";

// A die of a plain term: value, then the letters of its marks: d(ropped), e(arned
// a bonus), a(dded by a bonus).
const plain = (value, marks = "") => ({
  value, kept: !marks.includes("d"), earnedBonus: marks.includes("e"), bonusDie: marks.includes("a"), success: null,
});
// A die of a comparison term: value, hit or not, earned a bonus.
const compared = (value, success, earned = false) => ({ value, kept: true, earnedBonus: earned, bonusDie: null, success });

const CASES = [
  ["[1* + 4 + 6 + 4]", [[false, plain(1, "d"), plain(4), plain(6), plain(4)]]],
  ["[1 + 4 + 6! + 4 + 5]", [[false, plain(1), plain(4), plain(6, "e"), plain(4), plain(5, "a")]]],
  ["[1* + 4 + 6! + 4* + 5]", [[false, plain(1, "d"), plain(4), plain(6, "e"), plain(4, "d"), plain(5, "a")]]],
  ["[3* + 2 + 6*! + 6*! + 2]", [[false, plain(3, "d"), plain(2), plain(6, "de"), plain(6, "dea"), plain(2, "a")]]],
  ["[6! + 6! + 1]", [[false, plain(6, "e"), plain(6, "ea"), plain(1, "a")]]],
  ["<1* + 10 + 10 + 4* + 6*>", [[true, compared(1, false), compared(10, true), compared(10, true), compared(4, false), compared(6, false)]]],
  ["<3* + 6! + 5*!>", [[true, compared(3, false), compared(6, true, true), compared(5, false, true)]]],
  ["[3]", [[false, plain(3)]]],
  ["<3*>", [[true, compared(3, false)]]],
  ["([4] + 2) * [1000]", [[false, plain(4)], [false, plain(1000)]]],
  ["{[4], <2*>, 7}", [[false, plain(4)], [true, compared(2, false)]]],
  ["", []],
  ["3.5 / 50%", []],
  ["{1 + 10, 2 + 20}", []],
];

test("dice and their marks from detail texts", () => {
  for (const [detail, terms] of CASES) {
    const expected = terms.map(([comparison, ...dice]) => ({ comparison, dice }));
    assert.deepEqual(diceFromDetail(detail), expected, detail);
  }
});

// Writing the dice back in the documented grammar gives the terms of the text, in order.
test("the dice read back into the terms they came from", () => {
  for (const [detail] of CASES) {
    const written = diceFromDetail(detail).map(({ comparison, dice }) => {
      const body = dice.map((d) => `${d.value}${(comparison ? !d.success : !d.kept) ? "*" : ""}${d.earnedBonus ? "!" : ""}`);
      return comparison ? `<${body.join(" + ")}>` : `[${body.join(" + ")}]`;
    });
    const terms = detail.match(/\[[^[\]]*\]|<[^<>]*>/g) ?? [];
    assert.deepEqual(written, terms, detail);
  }
});

test("a plain term has one bonus die per earned bonus, all after the dice it started with", () => {
  for (const [detail] of CASES) {
    for (const { comparison, dice } of diceFromDetail(detail)) {
      if (comparison) continue;
      const added = dice.map((d) => d.bonusDie);
      assert.equal(added.filter(Boolean).length, dice.filter((d) => d.earnedBonus).length, detail);
      assert.deepEqual(added, [...added].sort((x, y) => x - y), detail);
    }
  }
});
