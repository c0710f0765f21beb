// The exact odds of an expression: outcomes and errors copied out of the
// engine, statistics from the engine's own summary, quantiles by the engine.
import { epoch, exports, f64, ready } from './instance.js';
import {
  call, doubles, engineBound, engineError, engineMessage, FLAG, MESSAGE, number, putExpression, putExpressions,
  STATUS, text, WORD, word,
} from './abi.js';
import { PipwerkError } from './errors.js';

const STATISTICS = ['mean', 'variance', 'stdev', 'min', 'max', 'median', 'mode'];

function requireNumber(x, name) {
  if (typeof x !== 'number') throw new TypeError(`${name} must be a number, not ${typeof x}`);
  return x;
}

// The odds of one number: a whole scalar expression or one element of a set.
export class Odds {
  #outcomes;
  #summary;
  #shape; // 'scalar', 'set' or 'nothing'

  constructor(head, outcomes, summary, elements, shape) {
    this.consumed = head.consumed;
    this.tail = head.tail;
    this.parsed = head.parsed;
    this.isSet = head.isSet;
    this.errors = head.errors;
    this.#outcomes = outcomes;
    this.#summary = summary;
    this.#shape = shape;
    this.elements = elements ?? [this];
    Object.freeze(this.errors);
    Object.freeze(this.elements);
  }

  #distribution() {
    if (this.#shape === 'set') throw new TypeError(engineMessage(MESSAGE.setOdds));
    return this.#outcomes;
  }

  #statistic(name) {
    if (this.#distribution() === null) throw new PipwerkError(engineMessage(MESSAGE.nothingParsed));
    if (this.#summary === null) throw new PipwerkError(engineMessage(MESSAGE.noOutcome));
    return this.#summary[name];
  }

  // Every value the roll can give, ascending, with its probability.
  get outcomes() {
    return this.#distribution() ?? [];
  }

  get mean() { return this.#statistic('mean'); }
  get variance() { return this.#statistic('variance'); }
  get stdev() { return this.#statistic('stdev'); }
  get min() { return this.#statistic('min'); }
  get max() { return this.#statistic('max'); }
  get median() { return this.#statistic('median'); }
  get mode() { return this.#statistic('mode'); }

  // P(value == x); a NaN matches a NaN.
  pmf(x) {
    return this.#probability('pw_pmf', x);
  }

  // P(value <= x).
  atMost(x) {
    return this.#probability('pw_at_most', x);
  }

  cdf(x) {
    return this.atMost(x);
  }

  // P(value >= x); a NaN never counts.
  atLeast(x) {
    return this.#probability('pw_at_least', x);
  }

  // The n - 1 cut points: cut i is the smallest v with P(<= v | success) >= i / n.
  quantiles(n = 4) {
    if (!Number.isInteger(n)) throw new TypeError(`n must be a whole number, not ${n}`);
    if (n < 1) throw new RangeError('n must be at least 1');
    const most = engineBound('pw_max_quantiles');
    if (n > most) throw new RangeError(`n must be at most ${most}`);
    this.#statistic('mean');
    lend(this.#outcomes);
    const cuts = [];
    for (let i = 1; i < n; i++) cuts.push(call(exports.pw_quantile, i / n));
    return cuts;
  }

  #probability(reader, x) {
    requireNumber(x, 'x');
    const outcomes = this.outcomes;
    if (outcomes.length === 0) return 0;
    lend(outcomes);
    return call(exports[reader], x);
  }

  toJSON() {
    const json = { consumed: this.consumed, tail: this.tail, isSet: this.isSet, errors: this.errors };
    if (this.#shape === 'set') json.elements = this.elements.map((e) => e.toJSON());
    else json.outcomes = this.outcomes;
    return json;
  }
}

// The engine's readers work on one distribution at a time, handed back to it
// as (value, probability) pairs; reading the same one again copies nothing,
// unless a fresh instance has started since.
let lent = null;
let lentEpoch = 0;

function lend(outcomes) {
  if (exports === null) ready();
  if (lent === outcomes && lentEpoch === epoch) return;
  lent = null;
  const ptr = call(exports.pw_distribution, outcomes.length) >>> 3;
  outcomes.forEach((o, i) => {
    f64[ptr + 2 * i] = o.value;
    f64[ptr + 2 * i + 1] = o.probability;
  });
  lent = outcomes;
  lentEpoch = epoch;
}

function copyElement(i) {
  call(exports.pw_odds_element, i);
  const pairs = doubles();
  const outcomes = new Array(pairs.length / 2);
  for (let k = 0; k < outcomes.length; k++) {
    outcomes[k] = Object.freeze({ value: pairs[2 * k], probability: pairs[2 * k + 1] });
  }
  let summary = null;
  if (outcomes.length > 0) {
    call(exports.pw_odds_summary, i);
    summary = {};
    STATISTICS.forEach((name, k) => { summary[name] = number(k); });
  }
  return { outcomes: Object.freeze(outcomes), summary };
}

// P(A > B), P(A = B), P(A < B), P(either fails) and P(unordered) of two
// expressions rolled independently.
export function compare(a, b) {
  const [lengthA, lengthB] = putExpressions(a, b);
  const status = call(exports.pw_compare, lengthA, lengthB);
  if (status !== STATUS.ok) throw engineError(status);
  return { greater: number(0), equal: number(1), less: number(2), failure: number(3), unordered: number(4) };
}

export function odds(expression) {
  const length = putExpression(expression);
  const status = call(exports.pw_odds, length);
  if (status !== STATUS.ok) throw engineError(status);
  const flags = word(WORD.flags);
  const head = {
    consumed: text(WORD.consumedPtr, WORD.consumedLen),
    tail: text(WORD.tailPtr, WORD.tailLen),
    parsed: (flags & FLAG.parsed) !== 0,
    isSet: (flags & FLAG.isSet) !== 0,
    errors: [],
  };
  const elementCount = word(WORD.elements);
  const errorCount = word(WORD.errors);
  for (let i = 0; i < errorCount; i++) {
    call(exports.pw_odds_error, i);
    head.errors.push(Object.freeze({ message: text(), probability: number(0) }));
  }
  if (!head.parsed) return new Odds(head, null, null, [], 'nothing');
  const copies = [];
  for (let i = 0; i < elementCount; i++) copies.push(copyElement(i));
  if (!head.isSet) return new Odds(head, copies[0].outcomes, copies[0].summary, null, 'scalar');
  const elements = copies.map((c) => new Odds({ ...head, isSet: false }, c.outcomes, c.summary, null, 'scalar'));
  return new Odds(head, null, null, elements, 'set');
}
