// Rolls: one with its texts (roll), many as values (sample), and how much of
// a text parses (parse).
import { exports } from './instance.js';
import {
  call, doubleArray, doubles, engineBound, engineError, FLAG, inputSlice, putExpression, STATUS, text, utf8, WORD,
  word,
} from './abi.js';
import { outOfMemory } from './errors.js';
import { advance, seedHalves } from './seed.js';

function options(value, name) {
  if (value === undefined) return {};
  if (value === null || typeof value !== 'object') {
    throw new TypeError(`${name} must be an object, not ${value === null ? 'null' : typeof value}`);
  }
  return value;
}

function showDetailOf(value) {
  if (value === undefined) return true;
  if (typeof value !== 'boolean') throw new TypeError(`showDetail must be a boolean, not ${typeof value}`);
  return value;
}

// Rolls an expression: {consumed, tail, summary, detail, full, isSet, values}.
// Text that does not parse is returned in tail; an evaluation error throws
// PipwerkError with the engine's message.
export function roll(expression, rollOptions) {
  let seed;
  let detailShown = true;
  if (rollOptions !== undefined) {
    const given = options(rollOptions, 'options');
    seed = given.seed;
    detailShown = showDetailOf(given.showDetail);
  }
  const halves = seedHalves(seed);
  const length = putExpression(expression);
  const status = call(exports.pw_roll, length, halves.low, halves.high, detailShown ? 1 : 0);
  if (status !== STATUS.ok) throw engineError(status);
  // detail, summary and full are the engine's slices of one text (RollView):
  // decoded once and cut by code units when every byte is ASCII.
  const all = text();
  const textLen = word(WORD.textLen);
  const detailLen = word(WORD.detailLen);
  const summaryStart = word(WORD.summaryStart);
  const fullStart = word(WORD.fullStart);
  let detail;
  let summary;
  let full;
  if (all.length === textLen) {
    detail = all.slice(0, detailLen);
    summary = all.slice(summaryStart);
    full = all.slice(fullStart);
  } else {
    const ptr = word(WORD.textPtr);
    detail = utf8(ptr, detailLen);
    summary = utf8(ptr + summaryStart, textLen - summaryStart);
    full = fullStart === 0 ? all : utf8(ptr + fullStart, textLen - fullStart);
  }
  return {
    consumed: inputSlice(WORD.consumedPtr, WORD.consumedLen),
    tail: inputSlice(WORD.tailPtr, WORD.tailLen),
    summary,
    detail,
    full,
    isSet: (word(WORD.flags) & FLAG.isSet) !== 0,
    values: doubleArray(),
  };
}

// How much of an expression parses: {success, consumed, tail}.
export function parse(expression) {
  const length = putExpression(expression);
  call(exports.pw_parse, length);
  return {
    success: (word(WORD.flags) & FLAG.parsed) !== 0,
    consumed: inputSlice(WORD.consumedPtr, WORD.consumedLen),
    tail: inputSlice(WORD.tailPtr, WORD.tailLen),
  };
}

const STRETCH_VALUES = 1 << 16;

// The values of n rolls seeded seed, seed + 1, ... (mod 2^64), row after row
// in one Float64Array: one value per row, or one per element for a set.
export function sample(expression, n, sampleOptions) {
  const { seed } = options(sampleOptions, 'options');
  if (typeof n !== 'number' || !Number.isInteger(n)) throw new TypeError(`n must be a whole number, not ${n}`);
  if (n < 0) throw new RangeError('n must be at least 0');
  const maxValues = engineBound('pw_max_sample_values');
  if (n > maxValues) throw new RangeError(`sample too large: more than ${maxValues} values`);
  const first = seedHalves(seed);
  const length = putExpression(expression);
  call(exports.pw_sample_start, length);
  if ((word(WORD.flags) & FLAG.parsed) === 0 || n === 0) return new Float64Array(0);
  let status = call(exports.pw_sample_row, first.low, first.high);
  if (status !== STATUS.ok) throw engineError(status);
  const width = word(WORD.valuesLen);
  if (width !== 0 && n > Math.floor(maxValues / width)) {
    throw new RangeError(`sample too large: ${n} rows of ${width} values exceed ${maxValues} values`);
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
