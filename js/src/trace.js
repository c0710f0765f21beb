// trace: a roll with its tree, from the engine's JSON form of a trace. The
// tree is the flat table of that form: `nodes` in evaluation order, children
// by index, so it is plain data that JSON.stringify and structuredClone take
// at any depth. Its spans are made code-unit offsets of the JavaScript string
// consumed.
import { exports } from './instance.js';
import { call, engineError, input, putExpression, STATUS, text } from './abi.js';
import { PipwerkError } from './errors.js';
import { seedBigInt, seedHalves } from './seed.js';

// UTF-8 byte offsets in `consumed` as UTF-16 code-unit offsets; null when
// they are the same (ASCII text, which is all the language reads today).
function unitOffsets(consumed) {
  if (input.ascii || !/[^\x00-\x7f]/.test(consumed)) return null;
  const units = [0];
  for (const ch of consumed) {
    const cp = ch.codePointAt(0);
    const bytes = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
    const at = units.length - 1;
    const next = units[at] + ch.length;
    for (let b = 1; b < bytes; b++) units.push(undefined); // inside a character: no node starts or ends there
    units.push(next);
  }
  return units;
}

// The engine's JSON as objects. The engine refuses a text longer than a
// string can be; an engine whose strings are shorter still fails here.
function readTrace() {
  try {
    return JSON.parse(text());
  } catch (error) {
    throw new PipwerkError('out of memory: the trace is longer than a JavaScript string can be', { cause: error });
  }
}

export function trace(expression, traceOptions) {
  if (traceOptions !== undefined && (traceOptions === null || typeof traceOptions !== 'object')) {
    throw new TypeError(`options must be an object, not ${traceOptions === null ? 'null' : typeof traceOptions}`);
  }
  const { seed, showDetail = true } = traceOptions ?? {};
  if (typeof showDetail !== 'boolean') throw new TypeError(`showDetail must be a boolean, not ${typeof showDetail}`);
  const halves = seedHalves(seed);
  const length = putExpression(expression);
  const status = call(exports.pw_trace, length, halves.low, halves.high, showDetail ? 1 : 0);
  if (status !== STATUS.ok) throw engineError(status);
  const data = readTrace();
  const units = unitOffsets(data.consumed);
  const dice = [];
  for (const node of data.nodes) {
    if (units) {
      node.start = units[node.start];
      node.end = units[node.end];
    }
    if (node.kind === 'dice') dice.push(node);
  }
  return {
    result: {
      consumed: data.consumed,
      tail: data.tail,
      summary: data.summary,
      detail: data.detail,
      full: data.full,
      isSet: data.is_set,
      values: data.values,
    },
    seed: seedBigInt(halves),
    nodes: data.nodes,
    root: data.root,
    dice,
    hints: data.hints,
  };
}
