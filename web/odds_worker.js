// Computes exact odds off the page's thread, so a long computation never freezes
// the page. Messages in: { id, expressions }. Messages out, in order: one
// { id, index, block } per expression, then { id, done: true, comparison }; or
// { id, failed } when the engine cannot be loaded. A block's columns are
// Float64Arrays, transferred rather than copied: receiving two million rows
// costs the page nothing.
// The engine loads with a top-level await; the handler is installed first, so a
// request sent while it loads waits for it instead of being lost.
import { bodyRange, distributionRows } from "./distribution_rows.js";

const engine = import("./engine.js");
// The chart's default range leaves out this much of each end of a law.
const TAIL = 0.0005;

function element(odds) {
  const { outcomes } = odds;
  const values = new Float64Array(outcomes.length);
  const probabilities = new Float64Array(outcomes.length);
  outcomes.forEach(({ value, probability }, i) => {
    values[i] = value;
    probabilities[i] = probability;
  });
  const { atMost, atLeast } = distributionRows(values, probabilities);
  const stats = outcomes.length === 0 ? null : {
    mean: odds.mean, stdev: odds.stdev, min: odds.min, max: odds.max, median: odds.median, mode: odds.mode,
  };
  return { values, probabilities, atLeast, atMost, stats, body: bodyRange(values, probabilities, atMost, atLeast, TAIL) };
}

function oddsBlock({ odds, OddsTooLargeError }, expression) {
  let result;
  try {
    result = odds(expression);
  } catch (error) {
    const refused = error instanceof OddsTooLargeError;
    return { expression, failure: { message: error.message, refused } };
  }
  const { consumed, tail, isSet } = result;
  if (consumed === "") return { expression, consumed, tail, isSet, nothing: true };
  const elements = result.elements.map(element);
  const errors = result.errors.map(({ message, probability }) => ({ message, probability }));
  return { expression, consumed, tail, isSet, elements, errors };
}

function columns(block) {
  return (block.elements ?? []).flatMap((e) => [e.values.buffer, e.probabilities.buffer, e.atLeast.buffer, e.atMost.buffer]);
}

// P(A > B), P(A = B), P(A < B) for two single-valued expressions, else null.
function comparisonOf({ compare }, blocks) {
  if (blocks.length !== 2) return null;
  const [a, b] = blocks;
  if (!a.elements || !b.elements || a.isSet || b.isSet) return null;
  try {
    const { greater, equal, less, failure, unordered } = compare(a.expression, b.expression);
    return { greater, equal, less, failure, unordered };
  } catch (error) {
    return { message: error.message };
  }
}

self.onmessage = async ({ data: { id, expressions } }) => {
  let loaded;
  try {
    loaded = await engine;
  } catch (error) {
    self.postMessage({ id, failed: `The odds engine could not be loaded: ${error.message}` });
    return;
  }
  // What the comparison needs, kept after the columns have gone to the page.
  const kept = expressions.map((expression, index) => {
    const block = oddsBlock(loaded, expression);
    self.postMessage({ id, index, block }, columns(block));
    return { expression, isSet: block.isSet, elements: block.elements && true };
  });
  self.postMessage({ id, done: true, comparison: comparisonOf(loaded, kept) });
};
