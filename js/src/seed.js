// Seeds: the engine's full 64-bit range as a BigInt, or a plain number up to
// 2^53. They cross to the engine as two 32-bit halves.

const TWO_32 = 2 ** 32;
const MAX_NUMBER_SEED = 2 ** 53;
const MAX_SEED = (1n << 64n) - 1n;

// The platform's random source: Web Crypto, global in browsers and in Node
// from 19 on; Node's entry (index.js) hands over node:crypto's for Node 18.
let cryptoSource = globalThis.crypto;

export function useRandomSource(source) {
  cryptoSource = source;
}

// Fresh 64-bit seeds for unseeded calls, drawn from the platform's random
// source (crypto.getRandomValues) 128 at a time.
const pool = new Uint32Array(256);
let poolAt = pool.length;

export function randomSeed() {
  if (poolAt === pool.length) {
    cryptoSource.getRandomValues(pool);
    poolAt = 0;
  }
  const low = pool[poolAt++];
  const high = pool[poolAt++];
  return { low, high };
}

// The halves of a seed given by the caller; undefined or null draws one.
export function seedHalves(seed) {
  if (seed === undefined || seed === null) return randomSeed();
  // A whole number below 2^32, the usual seed, is its own low half.
  if (typeof seed === 'number' && seed >>> 0 === seed) return { low: seed >>> 0, high: 0 };
  if (typeof seed === 'bigint') {
    if (seed < 0n || seed > MAX_SEED) {
      throw new RangeError(`seed must be from 0 to 2**64 - 1 (${MAX_SEED}), not ${seed}`);
    }
    return { low: Number(seed & 0xffffffffn), high: Number(seed >> 32n) };
  }
  if (typeof seed === 'number') {
    if (!Number.isInteger(seed) || seed < 0 || seed > MAX_NUMBER_SEED) {
      throw new RangeError(
        `seed must be a whole number from 0 to 2**53 (larger seeds as a BigInt, up to 2**64 - 1), not ${seed}`);
    }
    return { low: seed % TWO_32, high: Math.floor(seed / TWO_32) };
  }
  throw new TypeError(`seed must be a bigint or a number, not ${typeof seed}`);
}

export function seedBigInt({ low, high }) {
  return (BigInt(high) << 32n) | BigInt(low);
}

// The seed `count` past `seed`, modulo 2^64.
export function advance({ low, high }, count) {
  const sum = low + count;
  const carry = Math.floor(sum / TWO_32);
  return { low: sum % TWO_32, high: (high + carry) % TWO_32 };
}
