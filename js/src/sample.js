// sample: the values of many seeded rolls, in one Float64Array.
import { exports } from './instance.js';
import { call, doubles, engineError, FLAG, putExpression, STATUS, W, word } from './abi.js';
import { outOfMemory } from './errors.js';
import { options } from './roll.js';
import { advance, seedHalves } from './seed.js';

const MAX_VALUES = 2 ** 28;
const STRETCH_VALUES = 1 << 16;

// The values of n rolls seeded seed, seed + 1, ... (mod 2^64), row after row
// in one Float64Array: one value per row, or one per element for a set.
export function sample(expression, n, sampleOptions) {
  const { seed } = options(sampleOptions, 'options');
  if (typeof n !== 'number' || !Number.isInteger(n)) throw new TypeError(`n must be a whole number, not ${n}`);
  if (n < 0) throw new RangeError('n must be at least 0');
  if (n > MAX_VALUES) throw new RangeError(`sample too large: more than ${MAX_VALUES} values`);
  const first = seedHalves(seed);
  const length = putExpression(expression);
  call(exports.pw_sample_start, length);
  if ((word(W.flags) & FLAG.parsed) === 0 || n === 0) return new Float64Array(0);
  let status = call(exports.pw_sample_row, first.low, first.high);
  if (status !== STATUS.ok) throw engineError(status);
  const width = word(W.valuesLen);
  if (width !== 0 && n > Math.floor(MAX_VALUES / width)) {
    throw new RangeError(`sample too large: ${n} rows of ${width} values exceed ${MAX_VALUES} values`);
  }
  let out;
  try {
    out = new Float64Array(n * width);
  } catch (error) {
    throw outOfMemory(error.message, error);
  }
  out.set(doubles(), 0);
  const stretch = Math.max(1, Math.floor(STRETCH_VALUES / Math.max(width, 1)));
  for (let row = 1; row < n; ) {
    const rows = Math.min(stretch, n - row);
    const from = advance(first, row);
    status = call(exports.pw_sample_fill, from.low, from.high, width, rows);
    if (status !== STATUS.ok) throw engineError(status);
    out.set(doubles(), row * width);
    row += rows;
  }
  return out;
}
