// Every function of the package on mangled text: each call returns or throws
// one of the package's documented errors, and none traps the module (a trap
// would surface as the RangeError "the engine ran out of memory").
import { test } from 'node:test';
import assert from 'node:assert/strict';

import { compare, odds, OddsTooLargeError, parse, PipwerkError, roll, sample, trace } from '../index.js';
import { expressionGenerator, randomSource } from './generator.js';

const CALLS = {
  roll: (e, i) => roll(e, { seed: i, showDetail: i % 2 === 0 }),
  parse: (e) => parse(e),
  sample: (e, i) => sample(e, 3, { seed: BigInt(i) }),
  trace: (e, i) => trace(e, { seed: i }),
  odds: (e) => odds(e),
  compare: (e) => compare(e, '1d6'),
};

// Generated expressions cut, spliced and salted with stray code units.
function mangled(count) {
  const r = randomSource(2718);
  const next = expressionGenerator(31415, { small: true });
  const stray = ['\u0000', '\ud800', '\udfff', '\uffff', '\u{10ffff}', '\x7f', '\x80', '(', '{', '#', '%', '.', 'd', 'k', 'b', '-'];
  const texts = [];
  for (let i = 0; i < count; i++) {
    let text = next();
    const edits = r.int(0, 3);
    for (let j = 0; j < edits; j++) {
      const at = r.int(0, text.length);
      text = r.chance(0.5) ? text.slice(0, at) + r.pick(stray) + text.slice(at) : text.slice(0, at) + next().slice(at);
    }
    texts.push(text);
  }
  return texts;
}

function allowed(error) {
  if (error instanceof PipwerkError || error instanceof OddsTooLargeError) return true;
  return error instanceof RangeError && /lone surrogate/.test(error.message);
}

test('no text traps any function, and each fails only with a documented error', () => {
  const before = roll('4d6k3', { seed: 99 });
  const failures = Object.fromEntries(Object.keys(CALLS).map((name) => [name, 0]));
  mangled(800).forEach((text, i) => {
    for (const [name, call] of Object.entries(CALLS)) {
      try {
        call(text, i);
      } catch (error) {
        assert.ok(allowed(error), `${name}(${JSON.stringify(text)}): ${error}`);
        failures[name] += 1;
      }
    }
  });
  // Some of each kind of call failed and some did not: the texts reach both ways.
  for (const [name, failed] of Object.entries(failures)) assert.ok(failed > 0 && failed < 800, `${name}: ${failed}`);
  assert.deepEqual(roll('4d6k3', { seed: 99 }), before);
});
