// pipwerk: dice expressions rolled, parsed and given exact odds by the pipwerk
// engine compiled to WebAssembly. Importing `pipwerk` loads the engine (top-level
// await); every function is then synchronous. `pipwerk/init` loads it on init().
//
// The errors the package throws, and no others (docs/web.md has the same table):
// - TypeError: an argument of the wrong type; a single-value member of a set's odds
// - RangeError: a lone surrogate in a text; a seed, a count or a number of cut points out of range
// - PipwerkError: a roll that fails; odds when every roll fails; a statistic when nothing parsed; out of memory; the engine not loaded (before init() has resolved, or by an init() that fails)
// - OddsTooLargeError: exact odds over the work budget (a subclass of PipwerkError)

/** A seed: the full 64-bit range as a bigint (0 to 2**64 - 1), or a whole number from 0 to 2**53. */
export type Seed = bigint | number;

export interface RollOptions {
  /** Seeds the dice; without it each call draws a seed from crypto.getRandomValues. */
  seed?: Seed | null;
  /** Whether detail and full show each die (default true). */
  showDetail?: boolean;
}

export interface RollResult {
  /** The text that was parsed, exactly as written. */
  consumed: string;
  /** The rest of the text, which did not parse. */
  tail: string;
  /** The result alone: "14", or "{2, 4}" for a set. */
  summary: string;
  /** Each die, e.g. "[1* + 4 + 6 + 4]"; "" without showDetail. */
  detail: string;
  /** detail " = " summary, or the summary alone. */
  full: string;
  isSet: boolean;
  /** One number, or one per element of a set: an integer as the nearest double, a percent as its fraction. */
  values: number[];
}

export interface ParseResult {
  /** Whether anything parsed. */
  success: boolean;
  consumed: string;
  tail: string;
}

export interface Outcome {
  value: number;
  probability: number;
}

export interface ErrorChance {
  /** The message the roll would fail with, e.g. "division by zero". */
  message: string;
  probability: number;
}

/**
 * The exact odds of an expression. outcomes, pmf, cdf, atLeast and atMost are probabilities of the
 * whole roll (a roll that fails gives no value); the statistics describe the value given that the
 * roll succeeds. For a set, the single-value members throw TypeError: use elements[i]. When nothing
 * parsed, outcomes is empty and the statistics throw PipwerkError.
 */
export class Odds {
  private constructor();
  readonly consumed: string;
  readonly tail: string;
  /** Whether anything parsed. */
  readonly parsed: boolean;
  readonly isSet: boolean;
  /** The errors the roll can end with, most likely first. */
  readonly errors: readonly ErrorChance[];
  /** One Odds per element of a set; [this] for a single value; [] when nothing parsed. */
  readonly elements: readonly Odds[];
  /** Every value the roll can give, in ascending order, with its probability. */
  readonly outcomes: readonly Outcome[];
  readonly mean: number;
  readonly variance: number;
  readonly stdev: number;
  readonly min: number;
  readonly max: number;
  /** The smallest v with P(value <= v | success) >= 1/2. */
  readonly median: number;
  /** The most likely value (the smallest of equally likely ones). */
  readonly mode: number;
  /** P(value == x). */
  pmf(x: number): number;
  /** P(value <= x), as atMost. */
  cdf(x: number): number;
  atMost(x: number): number;
  atLeast(x: number): number;
  /** The n - 1 cut points (n from 1 to 1e6, default 4): cut i is the smallest v with P(value <= v | success) >= i / n. */
  quantiles(n?: number): number[];
  toJSON(): object;
}

/**
 * Loads the engine from the .wasm's URL, its bytes, a compiled module or a fetch Response, in place
 * of any engine before; without a source, pipwerk.wasm beside the module unless an engine is loaded.
 * Rejects with TypeError for another kind of source, PipwerkError when the module cannot be loaded.
 */
export function init(source?: URL | string | BufferSource | WebAssembly.Module | Response): Promise<void>;

/** Rolls an expression. Throws PipwerkError when the roll fails ("division by zero"). */
export function roll(expression: string, options?: RollOptions): RollResult;

/** How much of an expression parses. */
export function parse(expression: string): ParseResult;

/**
 * The exact odds of what roll would give under a uniformly random seed. Throws PipwerkError when
 * every roll fails, OddsTooLargeError when the computation is over the work budget.
 */
export function odds(expression: string): Odds;

/**
 * The values of n rolls seeded seed, seed + 1, ... (mod 2**64), row after row: one value per row,
 * or one per element of a set. Empty when nothing parsed. At most 2**28 values.
 */
export function sample(expression: string, n: number, options?: { seed?: Seed | null }): Float64Array;

/** Two expressions rolled independently, A against B; the five add up to 1. */
export interface Comparison {
  /** P(A > B), both rolls succeeding. */
  greater: number;
  equal: number;
  less: number;
  /** P(either roll fails). */
  failure: number;
  /** P(a NaN on either side): neither greater, equal nor less. */
  unordered: number;
}

/**
 * Compares the exact odds of two expressions. Throws PipwerkError for a set or a text that parses
 * nothing, OddsTooLargeError over the work budget.
 */
export function compare(a: string, b: string): Comparison;

/** One die of a dice term, in the order the dice were rolled. */
export interface TraceDie {
  value: number;
  /** Counts toward the term's value (false: dropped by a keep). */
  kept: boolean;
  /** Added to the pool by a bonus. */
  bonus: boolean;
  /** Met the bonus threshold, so added a die ("!"). */
  earned_bonus: boolean;
  /** Passes the comparison; null without one. */
  success: boolean | null;
}

/**
 * A node of the tree in the engine's JSON form (docs/trace.md): start and end are code-unit
 * offsets into result.consumed (brackets around a node are not part of it). value for one number,
 * values for a set; NaN and infinities, which JSON cannot hold, are null. Children are indices
 * into TraceResult.nodes, always before their parent.
 */
export type TraceNode = {
  start: number;
  end: number;
  value?: number | null;
  values?: (number | null)[];
} & (
  | { kind: 'number'; text: string }
  | {
      kind: 'dice'; count: number; faces: number; bonus: number | null;
      keep: { count: number; lowest: boolean } | null;
      comparison: { op: '>' | '>=' | '<' | '<=' | '!='; threshold: number } | null;
      dice: TraceDie[];
    }
  | { kind: 'negation'; operand: number }
  | { kind: 'binary'; op: '+' | '-' | '*' | '/'; left: number; right: number }
  | { kind: 'set'; elements: number[] }
  | { kind: 'repetition'; count: number; elements: number[] }
);

export interface TraceResult {
  /** What roll gives for the same expression, seed and showDetail. */
  result: RollResult;
  /** The seed that replays this roll (drawn when none was given). */
  seed: bigint;
  /**
   * The tree as a flat table: every node in evaluation order, each after its children. Plain
   * data, which JSON.stringify and structuredClone take at any depth; empty when nothing parsed.
   */
  nodes: TraceNode[];
  /** The root's index in nodes (the last); null when nothing parsed. */
  root: number | null;
  /** The dice terms of the tree in the order they were rolled: the dice nodes of nodes. */
  dice: Extract<TraceNode, { kind: 'dice' }>[];
  /** What pipwerk reads instead of another roller's notation at the start of the tail ("k already keeps the highest"). */
  hints: string[];
}

/**
 * Rolls as roll does and records every node with its dice. Throws PipwerkError as roll does, and
 * PipwerkError ("out of memory: ...") for a trace longer than a JavaScript string can be.
 */
export function trace(expression: string, options?: RollOptions): TraceResult;

/** The engine's message for a roll that fails or odds that fail on every roll; out of memory. */
export class PipwerkError extends Error {
  name: 'PipwerkError' | 'OddsTooLargeError';
}

/** Exact odds refused as too large ("too large for exact odds: ..."). */
export class OddsTooLargeError extends PipwerkError {
  name: 'OddsTooLargeError';
}
