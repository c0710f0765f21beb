// The boundary with the engine: expressions in as UTF-8, results read from
// the exchange record (src/wasm/exchange.hpp names the same positions).
import { bytes, exports, refresh, start, u8, u32, f64 } from './instance.js';
import { PipwerkError, OddsTooLargeError } from './errors.js';

export const W = Object.freeze({
  consumedPtr: 0, consumedLen: 1, tailPtr: 2, tailLen: 3, textPtr: 4, textLen: 5,
  detailLen: 6, summaryStart: 7, flags: 8, valuesPtr: 9, valuesLen: 10, elements: 11, errors: 12,
});
const NUMBERS = 16; // byte offset of Exchange::numbers: 13 words, then 8-byte alignment
export const FLAG = Object.freeze({ parsed: 1, isSet: 2, fullHasDetail: 4 });
export const STATUS = Object.freeze({ ok: 0, engineError: 1, oddsTooLarge: 2, oddsCertain: 3 });

let exchangeWord = 0; // u32 index of the exchange record
let exchangeNumber = 0; // f64 index of its numbers
function locate() {
  const at = exports.pw_exchange();
  exchangeWord = at >>> 2;
  exchangeNumber = (at + 4 * NUMBERS) >>> 3;
}
locate();

export function word(i) {
  return u32[exchangeWord + i];
}
export function number(i) {
  return f64[exchangeNumber + i];
}

// Runs one engine call. A trap (memory exhausted: the only way the engine
// stops without a result) leaves the instance unusable, so a fresh one
// takes its place and the caller gets a RangeError.
export function call(fn, a, b, c, d) {
  let status;
  try {
    status = fn(a, b, c, d);
  } catch (error) {
    if (!(error instanceof WebAssembly.RuntimeError)) throw error;
    start();
    locate();
    throw new RangeError(`pipwerk: the engine ran out of memory (${error.message})`, { cause: error });
  }
  refresh();
  return status;
}

// ---- text in

const encoder = new TextEncoder();
const loneSurrogate = /[\uD800-\uDBFF](?![\uDC00-\uDFFF])|(?<![\uD800-\uDBFF])[\uDC00-\uDFFF]/;

export function checkExpression(text, name = 'expression') {
  if (typeof text !== 'string') {
    throw new TypeError(`${name} must be a string, not ${text === null ? 'null' : typeof text}`);
  }
}

// Where the current input sits and whether it is ASCII (then byte offsets
// are code-unit offsets); text is null when the buffer holds something else.
export const input = { ptr: 0, length: 0, ascii: true, text: null };

// The engine's input buffer, asked for again only when it must grow.
let inputPtr = 0;
let inputRoom = -1;
let inputExports = null;

function inputBuffer(room) {
  if (room > inputRoom || inputExports !== exports) {
    inputPtr = call(exports.pw_input, Math.max(room, 256));
    inputRoom = Math.max(room, 256);
    inputExports = exports;
  }
  return inputPtr;
}

// Writes the expression into the engine's input buffer as UTF-8. A lone
// surrogate has no UTF-8 form: it is refused rather than replaced, so no
// roll ever sees text the caller did not write. The engine never writes to
// the buffer, so the same expression again (a bot rolling 1d20 all evening)
// is already there.
export function putExpression(text, name = 'expression') {
  if (text === input.text && inputExports === exports) return input.length;
  checkExpression(text, name);
  input.text = null; // a refused text may leave part of itself in the buffer
  const room = text.length * 3; // a UTF-16 code unit takes at most 3 UTF-8 bytes
  const ptr = inputBuffer(room);
  const written = encode(text, ptr, room, name);
  input.ptr = ptr;
  input.length = written;
  input.ascii = written === text.length;
  input.text = text;
  return written;
}

// Two expressions back to back (compare); returns their byte lengths.
export function putExpressions(a, b) {
  input.text = null; // no slices of these are taken
  const room = (a.length + b.length) * 3;
  const ptr = inputBuffer(room);
  const lengthA = encode(a, ptr, a.length * 3, 'a');
  const lengthB = encode(b, ptr + lengthA, b.length * 3, 'b');
  return [lengthA, lengthB];
}

// Short ASCII text is copied unit by unit: cheaper than a call into an
// encoder for the few characters of a usual expression. Anything else goes
// to Node's Buffer writer where there is one (faster than TextEncoder), else
// to TextEncoder; both write a lone surrogate as U+FFFD, which is refused.
const SHORT = 24;

function encode(text, ptr, room, name) {
  if (text.length <= SHORT) {
    let i = 0;
    for (; i < text.length; i++) {
      const unit = text.charCodeAt(i);
      if (unit >= 0x80) break;
      u8[ptr + i] = unit;
    }
    if (i === text.length) return i;
  }
  const written = bytes !== null
    ? bytes.utf8Write(text, ptr, room)
    : encoder.encodeInto(text, u8.subarray(ptr, ptr + room)).written;
  // As many bytes as code units: ASCII, so no surrogate at all.
  if (written !== text.length) {
    const wellFormed = typeof text.isWellFormed === 'function' ? text.isWellFormed() : !loneSurrogate.test(text);
    if (!wellFormed) {
      const at = text.search(loneSurrogate);
      const unit = text.charCodeAt(at).toString(16).toUpperCase();
      throw new RangeError(
        `${name} has a lone surrogate (U+${unit}) at index ${at}: it is not valid Unicode and has no UTF-8 form`);
    }
  }
  return written;
}

// ---- text out

const decoder = new TextDecoder('utf-8');

// The engine writes well-formed UTF-8. A roll's texts are a few dozen bytes,
// for which a call into TextDecoder costs more than the decoding: under Node,
// Buffer's own slice decoder takes about two thirds of its time.
export function utf8(ptr, length) {
  if (bytes !== null) return bytes.utf8Slice(ptr, ptr + length);
  return decoder.decode(u8.subarray(ptr, ptr + length));
}

// A slice of the current input (consumed, tail), as the caller's own text:
// for ASCII input byte offsets are code-unit offsets; otherwise the bytes are
// decoded, which puts the boundary exactly where the UTF-8 text has it.
export function inputSlice(ptrWord, lenWord) {
  const ptr = word(ptrWord);
  const length = word(lenWord);
  if (input.ascii) {
    if (length === 0) return '';
    if (length === input.length) return input.text; // the whole input: most rolls
    const start = ptr - input.ptr;
    return input.text.slice(start, start + length);
  }
  return utf8(ptr, length);
}

export function text(ptrWord = W.textPtr, lenWord = W.textLen) {
  return utf8(word(ptrWord), word(lenWord));
}

export function doubles() {
  const at = word(W.valuesPtr) >>> 3;
  return f64.subarray(at, at + word(W.valuesLen));
}

// The same as a plain array (a roll's values).
export function doubleArray() {
  const at = word(W.valuesPtr) >>> 3;
  const count = word(W.valuesLen);
  if (count === 1) return [f64[at]];
  const values = new Array(count);
  for (let i = 0; i < values.length; i++) values[i] = f64[at + i];
  return values;
}

// The engine's message as an exception of the matching class.
export function engineError(status) {
  const message = text();
  return status === STATUS.oddsTooLarge ? new OddsTooLargeError(message) : new PipwerkError(message);
}
