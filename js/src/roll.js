// roll and parse: a roll's texts and values, and how much of a text parses.
import { exports } from './instance.js';
import { call, doubleArray, engineError, FLAG, inputSlice, putExpression, STATUS, text, utf8, W, word } from './abi.js';
import { seedHalves } from './seed.js';

export function options(value, name) {
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
  const flags = word(W.flags);
  const full = text();
  const detailLen = word(W.detailLen);
  const summaryStart = word(W.summaryStart);
  let detail;
  let summary;
  if (full.length === word(W.textLen)) {
    detail = full.slice(0, detailLen);
    summary = full.slice(summaryStart);
  } else {
    const ptr = word(W.textPtr);
    detail = utf8(ptr, detailLen);
    summary = utf8(ptr + summaryStart, word(W.textLen) - summaryStart);
  }
  return {
    consumed: inputSlice(W.consumedPtr, W.consumedLen),
    tail: inputSlice(W.tailPtr, W.tailLen),
    summary,
    detail,
    full: (flags & FLAG.fullHasDetail) !== 0 ? full : summary,
    isSet: (flags & FLAG.isSet) !== 0,
    values: doubleArray(),
  };
}

// How much of an expression parses: {success, consumed, tail}.
export function parse(expression) {
  const length = putExpression(expression);
  call(exports.pw_parse, length);
  return {
    success: (word(W.flags) & FLAG.parsed) !== 0,
    consumed: inputSlice(W.consumedPtr, W.consumedLen),
    tail: inputSlice(W.tailPtr, W.tailLen),
  };
}
