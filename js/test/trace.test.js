// trace gives roll's result for the same seed, a seed that replays an
// unseeded roll, and a tree whose spans are code-unit offsets of consumed.
import { test } from 'node:test';
import assert from 'node:assert/strict';

import { parse, PipwerkError, roll, trace } from '../index.js';
import { expressionGenerator } from './generator.js';

const expressions = Array.from({ length: 1500 }, expressionGenerator(424242));

function* walk(root) {
  const todo = root ? [root] : [];
  while (todo.length > 0) {
    const node = todo.pop();
    yield node;
    if (node.elements) todo.push(...node.elements);
    if (node.left) todo.push(node.left, node.right);
    if (node.operand) todo.push(node.operand);
  }
}

test('trace rolls what roll rolls, and every node spans text that parses whole', () => {
  let nodes = 0;
  let nonAscii = 0;
  expressions.forEach((expression, i) => {
    const seed = BigInt(i) * 7919n;
    let traced;
    try {
      traced = trace(expression, { seed });
    } catch (error) {
      assert.ok(error instanceof PipwerkError, String(error));
      assert.throws(() => roll(expression, { seed }), { message: error.message });
      return;
    }
    const where = JSON.stringify(expression);
    const rolled = roll(expression, { seed });
    assert.deepEqual({ ...traced.result, values: traced.result.values.map((v) => v ?? NaN) },
      { ...rolled, values: rolled.values.map((v) => (Number.isFinite(v) ? v : NaN)) }, where);
    assert.equal(traced.seed, seed);
    assert.equal(traced.root === null, rolled.consumed === '', `${where}: a tree exactly when something parsed`);
    if (traced.root === null) return;
    if (/[^\x00-\x7f]/.test(expression)) nonAscii++;
    let diceNodes = 0;
    for (const node of walk(traced.root)) {
      nodes++;
      const span = traced.result.consumed.slice(node.start, node.end);
      assert.ok(node.start >= 0 && node.end <= traced.result.consumed.length && node.start < node.end, `${where}: ${node.kind} span`);
      assert.equal(parse(span).consumed, span, `${where}: ${node.kind} spans ${JSON.stringify(span)}`);
      if (node.kind === 'dice') diceNodes++;
    }
    assert.equal(traced.dice.length, diceNodes, `${where}: dice terms`);
    assert.deepEqual(traced.root.values ?? [traced.root.value], traced.result.values.map((v) => (Number.isFinite(v) ? v : null)), `${where}: root values`);
  });
  assert.ok(nodes > 2000 && nonAscii > 10, `${nodes} nodes, ${nonAscii} parsed from non-ASCII text`);
});

test('an unseeded trace returns the seed that replays it', () => {
  for (const expression of ['50d1000', '{d6, d8} * 3#d20', '4d6k3 kh']) {
    const traced = trace(expression);
    assert.equal(typeof traced.seed, 'bigint');
    assert.equal(roll(expression, { seed: traced.seed }).full, traced.result.full);
  }
});

test('hints speak of the tail only', () => {
  for (const expression of ['4d6kh3', '4d6k3', '2d20 adv', '1d6 + 1']) {
    const traced = trace(expression, { seed: 1 });
    if (traced.result.tail === '') assert.deepEqual(traced.hints, [], expression);
    for (const hint of traced.hints) assert.equal(typeof hint, 'string');
  }
  assert.ok(trace('4d6kh3', { seed: 1 }).hints.length > 0);
});
