// The URL fragment must give back exactly the boxes it was made from (expressions,
// roll seeds, across choices), and read hand-written links the way people write them.
import { test } from "node:test";
import assert from "node:assert/strict";
import { readFragment, writeFragment } from "../../web/url_state.js";

const box = (expression, seed = null, across = null) => ({ expression, seed, across });

const ROUND_TRIPS = [
  [box("4d6k3")],
  [box("4d6k3", 1234n), box("2d20kl1+5")],
  [box("{1d6, 2d6} + 3", 0n), box("8d10>=7", 2n ** 64n - 1n), box("6#4d6k3", null, "highest")],
  [box("a&b"), box("100%"), box("#hash"), box("50% of 2d6"), box("1d6@12"), box("x~y@3", 3n, "~@&")],
  [box("  spaced  "), box("ünïcödé 🎲"), box("%41"), box("%")],
];

test("a fragment gives back the boxes it was written from", () => {
  for (const boxes of ROUND_TRIPS) {
    const fragment = writeFragment(boxes);
    assert.ok(fragment.startsWith("#"), fragment);
    assert.equal(fragment.slice(1).split("&").length, boxes.length, fragment);
    assert.deepEqual(readFragment(fragment), boxes, fragment);
  }
});

test("random texts of any characters survive the round trip", () => {
  const alphabet = ["&", "#", "%", "+", " ", "=", "{", "}", ",", "d", "6", "k", "<", ">", "é", "🎲", "\t", "?", "/", "@", "~", "1"];
  let state = 12345;
  const next = () => (state = (state * 1103515245 + 12345) % 2 ** 31);
  const text = () => "x" + Array.from({ length: next() % 12 }, () => alphabet[next() % alphabet.length]).join("");
  for (let trial = 0; trial < 500; trial++) {
    const boxes = Array.from({ length: 1 + (next() % 4) }, () =>
      box(text(), next() % 3 === 0 ? BigInt(next()) ** 2n : null, next() % 5 === 0 ? text() : null));
    assert.deepEqual(readFragment(writeFragment(boxes)), boxes);
  }
});

test("hand-written fragments", () => {
  const cases = [
    ["#4d6k3&2d20kl1%2B5", [box("4d6k3"), box("2d20kl1+5")]],
    ["4d6k3", [box("4d6k3")]],
    ["#2d20kl1+5", [box("2d20kl1+5")]],          // a plain "+" is a plus, not a space
    ["#1d6&&2d6&", [box("1d6"), box("2d6")]],    // empty parts are skipped
    ["#%zz&1d6", [box("%zz"), box("1d6")]],      // a broken escape is kept as typed
    ["#4d6k3@1234&6%234d6k3~highest", [box("4d6k3", 1234n), box("6#4d6k3", null, "highest")]],
    ["#1d6@18446744073709551615", [box("1d6", 2n ** 64n - 1n)]],
    // Not a seed: out of range, not digits, or nothing after "@".
    ["#1d6@18446744073709551616", [box("1d6@18446744073709551616")]],
    ["#1d6@12x&1d6@&1d6@-1", [box("1d6@12x"), box("1d6@"), box("1d6@-1")]],
    ["#1d6@@7", [box("1d6@", 7n)]],
    ["", []],
    ["#", []],
  ];
  for (const [hash, expected] of cases) assert.deepEqual(readFragment(hash), expected, hash);
});

test("blank expressions leave no trace in the fragment, seeded or not", () => {
  assert.equal(writeFragment([]), "");
  assert.equal(writeFragment([box(""), box("  ", 5n)]), "");
  assert.deepEqual(readFragment(writeFragment([box(""), box("1d6"), box(" ")])), [box("1d6")]);
});

test("the documented example links", () => {
  assert.equal(writeFragment([box("4d6k3"), box("2d20kl1+5")]), "#4d6k3&2d20kl1%2B5");
  assert.equal(writeFragment([box("4d6k3", 1234n), box("6#4d6k3", null, "highest")]), "#4d6k3@1234&6%234d6k3~highest");
});
