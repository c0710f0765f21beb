// The UTF-16 boundary: consumed and tail fall where the native engine puts
// them in UTF-8 (checked against the CLI), a string that is not valid
// Unicode is refused, and decimal texts read as JavaScript reads them.
import { test } from 'node:test';
import assert from 'node:assert/strict';

import { compare, odds, parse, roll, sample } from '../index.js';
import { exports } from '../src/instance.js';
import { randomSource } from './generator.js';
import { crossCheck, nativeLines } from './native.js';

const WELL_FORMED = [
  '1d6 🎲', '🎲 1d6', '1d6🎲', '1d6 + 2 ünïcödé', 'ünï 1d6', '{1d6, 2}😀', '2d6\u00a0+ 1', '\u30001d6', '1d6\u3000+1',
  '1d6\u200b', 'e\u0301 1d6', '1d6 e\u0301', '3#1d4 \u{10FFFF}', '\u{1F600}\u{1F600}', '1d6 + \u2028 2', '1d6\u2029',
  '(1d6 + 😀', '{1, 😀}', '4d6k3\u00e9', '1.5😀', '50%ß', '-\u00a01d6',
  // Mostly 3- and 4-byte characters: the most UTF-8 a code unit can take.
  '1d6 漢字漢字漢字', '2d6+1 ' + '漢'.repeat(40), '3d6 ' + '🎲'.repeat(30), '{d4, 2}' + '字🎲'.repeat(20), '漢字 1d6',
];

crossCheck('consumed and tail of non-ASCII text match the native CLI', () => {
  const natives = nativeLines(WELL_FORMED, ['--json', '--seed', '5']);
  WELL_FORMED.forEach((expression, i) => {
    const where = JSON.stringify(expression);
    const rolled = roll(expression, { seed: 5 + i });
    assert.equal(rolled.consumed, natives[i].consumed, `${where}: consumed`);
    assert.equal(rolled.tail, natives[i].tail, `${where}: tail`);
    assert.equal(rolled.full, natives[i].full, `${where}: full`);
    const parsed = parse(expression);
    assert.equal(parsed.consumed, rolled.consumed, `${where}: parse`);
    assert.equal(parsed.tail, rolled.tail, `${where}: parse`);
    // Whole code points on both sides: neither half of a pair is cut off.
    for (const part of [rolled.consumed, rolled.tail]) assert.ok(part.isWellFormed?.() ?? true, `${where}: ${part}`);
    assert.ok(expression.startsWith(rolled.consumed) && expression.endsWith(rolled.tail), where);
  });
});

const LONE = [
  ['\ud800', 0], ['\udc00', 0], ['1d6 \ud83c', 4], ['\udfb2 1d6', 0], ['1d6\udfb2\ud83c', 3], ['🎲\ud800', 2], ['{1, \udbff}', 4],
];

test('a lone surrogate is refused by every function, with its place', () => {
  const calls = [(e) => roll(e, { seed: 1 }), parse, odds, (e) => sample(e, 3, { seed: 1 })];
  for (const [expression, index] of LONE) {
    for (const call of calls) {
      assert.throws(() => call(expression), (error) => {
        assert.ok(error instanceof RangeError, String(error));
        assert.match(error.message, new RegExp(`lone surrogate \\(U\\+D[89A-F][0-9A-F]{2}\\) at index ${index}`));
        return true;
      }, JSON.stringify(expression));
    }
  }
  // The failure leaves nothing behind: the next call reads its own input.
  assert.equal(roll('1d6 🎲', { seed: 1 }).tail, '🎲');
});

test('an expression rolled again reads its own text, whatever came in between', () => {
  // The same text twice is not encoded again: anything that wrote the input
  // buffer in between must make the next call write it afresh.
  const between = [
    () => roll('7d7\ud800', { seed: 1 }),                               // refused after its ASCII start
    () => roll('9d9 + 9d9 + 9d9 + 9d9 + 9d9 + 9d9 \ud800', { seed: 1 }), // refused, long
    () => compare('3d8 + 3d8 + 3d8', '1d4'),
    () => parse('5d5 + 5d5 + 5d5 + 5d5 + 5d5 + 5d5 + 5d5'),
    () => odds('{2d2, 3}'),
  ];
  for (const expression of ['1d6', '2d6 + 1d4 + 3 + 1d8 + 1d10 + 5', '1d6 🎲']) {
    const first = roll(expression, { seed: 7 });
    for (const call of between) {
      try { call(); } catch { /* refused: what matters is the next roll */ }
      assert.deepEqual(roll(expression, { seed: 7 }), first, `${expression} after ${call}`);
    }
  }
});

test('after the memory grows, a new text is written and read through fresh views', () => {
  const calls = [
    (e) => roll(e, { seed: 3 }), parse, (e) => odds(e).outcomes, (e) => compare(e, e), (e) => Array.from(sample(e, 2, { seed: 3 })),
  ];
  for (const call of calls) {
    const expected = ['2d6 + 1d4', '1d6 🎲'].map((e) => call(e));
    call('3d8');
    exports.memory.grow(1);
    assert.deepEqual(['2d6 + 1d4', '1d6 🎲'].map((e) => call(e)), expected, String(call));
  }
});

test('decimal literals read as JavaScript reads them (correctly rounded)', () => {
  const r = randomSource(99);
  const texts = [];
  for (let i = 0; i < 3000; i++) {
    const digits = Array.from({ length: r.int(1, 40) }, () => r.int(0, 9)).join('');
    const point = r.int(0, digits.length);
    texts.push(`${digits.slice(0, point) || '0'}.${digits.slice(point) || '0'}`);
  }
  // Halfway cases and values next to the subnormal and overflow edges.
  texts.push('9007199254740993.0', '0.1', '2.2250738585072011e-308'.replace('e-308', ''), '1' + '0'.repeat(309) + '.5',
    '0.' + '0'.repeat(330) + '1', '179769313486231580793728971405301.5', '0.30000000000000004');
  for (const text of texts) {
    const [value] = roll(text, { seed: 1 }).values;
    assert.ok(Object.is(value, Number(text)), `${text}: ${value} vs ${Number(text)}`);
  }
});
