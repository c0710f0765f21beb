// trace gives roll's result for the same seed, a seed that replays an
// unseeded roll, and a flat table of nodes whose spans are code-unit offsets
// of consumed and whose children come before them.
import { test } from 'node:test';
import assert from 'node:assert/strict';

import { parse, PipwerkError, roll, trace } from '../index.js';
import { expressionGenerator } from './generator.js';

const expressions = Array.from({ length: 1500 }, expressionGenerator(424242));

function children(node) {
  return node.elements ?? (node.kind === 'binary' ? [node.left, node.right] : node.kind === 'negation' ? [node.operand] : []);
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
    assert.equal(traced.root, traced.nodes.length - 1, `${where}: the root is last`);
    if (/[^\x00-\x7f]/.test(expression)) nonAscii++;
    let diceNodes = 0;
    const parents = new Array(traced.nodes.length).fill(0);
    for (const [index, node] of traced.nodes.entries()) {
      nodes++;
      for (const child of children(node)) {
        assert.ok(child < index, `${where}: a child before its parent`);
        parents[child]++;
      }
      const span = traced.result.consumed.slice(node.start, node.end);
      assert.ok(node.start >= 0 && node.end <= traced.result.consumed.length && node.start < node.end, `${where}: ${node.kind} span`);
      assert.equal(parse(span).consumed, span, `${where}: ${node.kind} spans ${JSON.stringify(span)}`);
      if (node.kind === 'dice') diceNodes++;
    }
    assert.ok(parents.slice(0, -1).every((n) => n === 1), `${where}: every node but the root is one node's child`);
    assert.equal(traced.dice.length, diceNodes, `${where}: dice terms`);
    const root = traced.nodes[traced.root];
    assert.deepEqual(root.values ?? [root.value], traced.result.values.map((v) => (Number.isFinite(v) ? v : null)), `${where}: root values`);
  });
  assert.ok(nodes > 2000 && nonAscii > 10, `${nodes} nodes, ${nonAscii} parsed from non-ASCII text`);
});

test('the table is plain data at any depth: JSON.stringify and structuredClone take it', () => {
  const nested = '(1+2*'.repeat(256) + '3' + ')'.repeat(256);
  for (const expression of [nested, '1' + '+1'.repeat(5000), '-'.repeat(255) + '(1+2)']) {
    const traced = trace(expression, { seed: 1 });
    assert.deepEqual(JSON.parse(JSON.stringify(traced.nodes)), traced.nodes);
    assert.deepEqual(structuredClone(traced), traced);
  }
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
