// Computes exact odds off the page's thread, so a long computation never freezes
// the page. Messages in: { id, expressions }. Messages out, in order: one
// { id, index, block } per expression, then { id, done: true, comparison }; or
// { id, failed } when the engine cannot be loaded.
import { compareOutcomes } from "./comparison.js";

// The engine loads with a top-level await; the handler is installed first, so a
// request sent while it loads waits for it instead of being lost.
const engine = import("./engine.js");

// The rows of one distribution, with P(>=) and P(<=) taken from the engine.
function elementRows(element) {
  const outcomes = element.outcomes.map(({ value, probability }) => ({
    value,
    probability,
    atLeast: element.atLeast(value),
    atMost: element.atMost(value),
  }));
  const stats = outcomes.length === 0 ? null : {
    mean: element.mean,
    stdev: element.stdev,
    min: element.min,
    max: element.max,
  };
  return { outcomes, stats };
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
  const elements = (isSet ? result.elements : [result]).map(elementRows);
  const errors = result.errors.map(({ message, probability }) => ({ message, probability }));
  return { expression, consumed, tail, isSet, elements, errors };
}

// P(A > B), P(A = B), P(A < B) for two single-valued expressions, else null.
function comparisonOf(blocks) {
  if (blocks.length !== 2) return null;
  const [a, b] = blocks;
  if (!a.elements || !b.elements || a.isSet || b.isSet) return null;
  const failing = (block) => block.errors.reduce((sum, error) => sum + error.probability, 0);
  return compareOutcomes(a.elements[0].outcomes, b.elements[0].outcomes, failing(a), failing(b));
}

self.onmessage = async ({ data: { id, expressions } }) => {
  let loaded;
  try {
    loaded = await engine;
  } catch (error) {
    self.postMessage({ id, failed: `The odds engine could not be loaded: ${error.message}` });
    return;
  }
  const blocks = [];
  expressions.forEach((expression, index) => {
    const block = oddsBlock(loaded, expression);
    blocks.push(block);
    self.postMessage({ id, index, block });
  });
  self.postMessage({ id, done: true, comparison: comparisonOf(blocks) });
};
