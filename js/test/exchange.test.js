// The package reads the exchange record at the positions src/wasm/exchange.hpp
// gives: src/exchange.js is written from the header by the build, and must
// be what the header gives now (else the build is stale).
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { test } from 'node:test';
import { enums, generated, target } from '../scripts/exchange.mjs';

test('src/exchange.js is what exchange.hpp gives', () => {
  assert.equal(readFileSync(target, 'utf8'), generated());
});

test('the header reader counts members as C++ does and refuses what it cannot read', () => {
  assert.deepEqual(enums('enum A : std::uint32_t { kOne, kTwo = 5, kThree };'),
    [['A', [['one', 0], ['two', 5], ['three', 6]]]]);
  assert.throws(() => enums('enum B : std::int32_t { kOne = 1 << 2 };'), /not kName or kName = N/);
});
