// Computes exact odds off the page's thread, so a long computation never freezes
// the page. Messages in: { id, expressions }. Messages out, in order: one
// { id, index, block } per expression, then { id, done: true, comparison }.
import { odds, OddsTooLargeError } from "./engine.js";
import { compareOutcomes } from "./comparison.js";

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

function oddsBlock(expression) {
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
  return compareOutcomes(a.elements[0].outcomes, b.elements[0].outcomes);
}

self.onmessage = ({ data: { id, expressions } }) => {
  const blocks = [];
  expressions.forEach((expression, index) => {
    const block = oddsBlock(expression);
    blocks.push(block);
    self.postMessage({ id, index, block });
  });
  self.postMessage({ id, done: true, comparison: comparisonOf(blocks) });
};
