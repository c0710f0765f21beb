// The package's errors: the table of docs/web.md and index.d.ts, each of its
// examples thrown as the table says, and a non-string expression refused by
// every function whatever ran before.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';

import * as pipwerk from '../index.js';

const { compare, odds, parse, roll, sample, trace } = pipwerk;
const CLASSES = { TypeError, RangeError, PipwerkError: pipwerk.PipwerkError, OddsTooLargeError: pipwerk.OddsTooLargeError };
const read = (path) => readFileSync(new URL(path, import.meta.url), 'utf8');

// [class, thrown for, examples] per row of docs/web.md's table under "### Errors".
function docsTable() {
  const section = read('../../docs/web.md').split('### Errors\n')[1].split('\n### ')[0];
  return section.split('\n').filter((line) => /^\| `\w+` \|/.test(line)).map((line) => {
    const [name, when, examples] = line.split(' | ').map((cell) => cell.replace(/^\| |\s*\|$/g, ''));
    return [name.replaceAll('`', ''), when.replaceAll('`', ''), [...examples.matchAll(/`([^`]+)`/g)].map((m) => m[1])];
  });
}

test('one table of errors in docs/web.md and index.d.ts, and its examples throw what it says', () => {
  const rows = docsTable();
  assert.deepEqual(rows.map(([name]) => name), Object.keys(CLASSES));
  const typed = [...read('../index.d.ts').matchAll(/^\/\/ - (\w+): (.*)$/gm)].map((m) => [m[1], m[2]]);
  assert.deepEqual(typed, rows.map(([name, when]) => [name, when]));
  for (const [name, , examples] of rows) {
    assert.ok(examples.length > 0, name);
    for (const example of examples) {
      const run = new Function(...Object.keys(pipwerk), `return ${example};`);
      assert.throws(() => run(...Object.values(pipwerk)), (e) => e.constructor === CLASSES[name], `${example}: ${name}`);
    }
  }
});

test('a non-string expression is a TypeError, whatever ran before', () => {
  const before = [
    () => roll('1d6', { seed: 1 }), () => compare('4d6k3', '3d6'), () => roll('1d6 \ud83c'), () => odds('2d6 \ud83c'),
    () => parse('2d6 x'), () => odds('{2d2, 3}'), () => trace('4d6k3', { seed: 1 }), () => sample('3d6', 2), () => roll('1d6/0'),
  ];
  const calls = {
    roll: (e) => roll(e, { seed: 1 }), parse, odds, trace: (e) => trace(e, { seed: 1 }),
    sample: (e) => sample(e, 2, { seed: 1 }), 'compare a': (e) => compare(e, '1d6'), 'compare b': (e) => compare('1d6', e),
  };
  for (const prior of before) {
    for (const bad of [null, undefined, 5, new String('1d6'), ['1d6']]) {
      for (const [name, call] of Object.entries(calls)) {
        try { prior(); } catch { /* refused: what matters is the next call */ }
        assert.throws(() => call(bad), TypeError, `${name}(${String(bad)}) after ${prior}`);
      }
    }
  }
});
