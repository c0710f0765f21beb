// The URL fragment must give back exactly the expressions it was made from, and
// read hand-written links the way people write them.
import { test } from "node:test";
import assert from "node:assert/strict";
import { readFragment, writeFragment } from "../../web/url_state.js";

const ROUND_TRIPS = [
  ["4d6k3"],
  ["4d6k3", "2d20kl1+5"],
  ["{1d6, 2d6} + 3", "8d10>=7", "3d6b6k2 - 1"],
  ["a&b", "100%", "#hash", "50% of 2d6"],
  ["  spaced  ", "ünïcödé 🎲", "%41", "%"],
];

test("a fragment gives back the expressions it was written from", () => {
  for (const expressions of ROUND_TRIPS) {
    const fragment = writeFragment(expressions);
    assert.ok(fragment.startsWith("#"), fragment);
    assert.equal(fragment.slice(1).split("&").length, expressions.length, fragment);
    assert.deepEqual(readFragment(fragment), expressions, fragment);
  }
});

test("random texts of any characters survive the round trip", () => {
  const alphabet = ["&", "#", "%", "+", " ", "=", "{", "}", ",", "d", "6", "k", "<", ">", "é", "🎲", "\t", "?", "/"];
  let state = 12345;
  const next = () => (state = (state * 1103515245 + 12345) % 2 ** 31);
  for (let trial = 0; trial < 500; trial++) {
    const expressions = Array.from({ length: 1 + (next() % 4) }, () =>
      "x" + Array.from({ length: next() % 12 }, () => alphabet[next() % alphabet.length]).join(""));
    assert.deepEqual(readFragment(writeFragment(expressions)), expressions);
  }
});

test("hand-written fragments", () => {
  const cases = [
    ["#4d6k3&2d20kl1%2B5", ["4d6k3", "2d20kl1+5"]],
    ["4d6k3", ["4d6k3"]],
    ["#2d20kl1+5", ["2d20kl1+5"]],          // a plain "+" is a plus, not a space
    ["#1d6&&2d6&", ["1d6", "2d6"]],          // empty parts are skipped
    ["#%zz&1d6", ["%zz", "1d6"]],            // a broken escape is kept as typed
    ["", []],
    ["#", []],
  ];
  for (const [hash, expected] of cases) assert.deepEqual(readFragment(hash), expected, hash);
});

test("blank expressions leave no trace in the fragment", () => {
  assert.equal(writeFragment([]), "");
  assert.equal(writeFragment(["", "  "]), "");
  assert.deepEqual(readFragment(writeFragment(["", "1d6", " "])), ["1d6"]);
});

test("the documented example link reads as its two expressions", () => {
  assert.equal(writeFragment(["4d6k3", "2d20kl1+5"]), "#4d6k3&2d20kl1%2B5");
});
