// Computes exact odds off the page's thread, so a long computation never freezes
// the page. Messages in: { id, expressions }. Messages out, in order: one
// { id, index, block } per expression, then { id, done: true, comparison }; or
// { id, failed } when the engine cannot be loaded.
// The engine loads with a top-level await; the handler is installed first, so a
// request sent while it loads waits for it instead of being lost.
const engine = import("./engine.js");

// The rows of one distribution. P(<=) and P(>=) are running sums, from the
// smallest value up and from the largest down: one pass for the whole table,
// where asking the engine's atMost and atLeast row by row costs a pass per row
// (minutes for 50,000 rows). The sums agree with the engine's to rounding (a few
// units in the last place). A NaN value has no place in that order; then every
// row asks the engine.
function elementRows(element) {
  const outcomes = element.outcomes.map(({ value, probability }) => ({ value, probability, atLeast: 0, atMost: 0 }));
  if (outcomes.some(({ value }) => Number.isNaN(value))) {
    for (const row of outcomes) {
      row.atLeast = element.atLeast(row.value);
      row.atMost = element.atMost(row.value);
    }
  } else {
    let below = 0, above = 0;
    for (const row of outcomes) row.atMost = below += row.probability;
    for (let i = outcomes.length - 1; i >= 0; i--) outcomes[i].atLeast = above += outcomes[i].probability;
  }
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
  const blocks = [];
  expressions.forEach((expression, index) => {
    const block = oddsBlock(loaded, expression);
    blocks.push(block);
    self.postMessage({ id, index, block });
  });
  self.postMessage({ id, done: true, comparison: comparisonOf(loaded, blocks) });
};
