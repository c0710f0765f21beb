// The boundary with the engine: expressions in as UTF-8, results read from
// the exchange record at the positions src/wasm/exchange.hpp gives
// (exchange.js, written from it by the build).
import { bytes, epoch, exchangeNumber, exchangeWord, exports, f64, ready, refresh, stop, u8, u32 } from './instance.js';
import { OddsTooLargeError, outOfMemory, PipwerkError } from './errors.js';
import { STATUS, WORD } from './exchange.js';

export { FLAG, MESSAGE, STATUS, WORD } from './exchange.js';

export function word(i) {
  return u32[exchangeWord + i];
}
export function number(i) {
  return f64[exchangeNumber + i];
}

// Runs one engine call, and gives what it returns. The engine stops only
// when memory runs out (a trap, or the stack exhausted): its state is then
// half changed, so that instance is never called again, and the next call
// of the package starts a fresh one.
export function call(fn, a, b, c, d) {
  let result;
  try {
    result = fn(a, b, c, d);
  } catch (error) {
    stop();
    throw outOfMemory(`the engine stopped (${error.message})`, error);
  }
  refresh();
  return result;
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
let inputEpoch = 0;

// The engine's input buffer, asked for again only when it must grow.
let inputPtr = 0;
let inputRoom = -1;

// The views are made afresh first if the memory has grown since they were.
function inputBuffer(room) {
  if (room > inputRoom || inputEpoch !== epoch) {
    inputPtr = call(exports.pw_input, Math.max(room, 256));
    inputRoom = Math.max(room, 256);
    inputEpoch = epoch;
  } else {
    refresh();
  }
  return inputPtr;
}

// Writes the expression into the engine's input buffer as UTF-8. A lone
// surrogate has no UTF-8 form: it is refused rather than replaced, so no
// roll ever sees text the caller did not write. The engine never writes to
// the buffer, so the same expression again (a bot rolling 1d20 all evening)
// is already there, unless a fresh instance has started since.
export function putExpression(text, name = 'expression') {
  if (typeof text !== 'string') checkExpression(text, name);
  if (exports === null) ready();
  if (text === input.text && inputEpoch === epoch) return input.length;
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
  checkExpression(a, 'a');
  checkExpression(b, 'b');
  if (exports === null) ready();
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
  try {
    if (bytes !== null) return bytes.utf8Slice(ptr, ptr + length);
    return decoder.decode(u8.subarray(ptr, ptr + length));
  } catch (error) {
    throw outOfMemory(error.message, error); // a text longer than the platform's longest string
  }
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

export function text(ptrWord = WORD.textPtr, lenWord = WORD.textLen) {
  return utf8(word(ptrWord), word(lenWord));
}

export function doubles() {
  const at = word(WORD.valuesPtr) >>> 3;
  return f64.subarray(at, at + word(WORD.valuesLen));
}

// The same as a plain array (a roll's values).
export function doubleArray() {
  const at = word(WORD.valuesPtr) >>> 3;
  const count = word(WORD.valuesLen);
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

// A text of the engine's (a Message of exchange.hpp): the package words
// what it refuses as the Python module does, from the same source.
export function engineMessage(message) {
  if (exports === null) ready();
  call(exports.pw_message, message);
  return text();
}

// A bound of the engine's, read once: the most values a sample holds, the
// most cut points of quantiles.
const bounds = new Map();
export function engineBound(name) {
  if (!bounds.has(name)) {
    if (exports === null) ready();
    bounds.set(name, call(exports[name]));
  }
  return bounds.get(name);
}
