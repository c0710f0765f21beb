// Where the chart's bars go: a numeric x axis to scale, and the columns drawn on
// it. Few values get a column each; many are gathered into bins of a round
// width, so that a chart costs the same for a million values as for a thousand.

// Round tick steps (1, 2 or 5 times a power of ten) giving at most `count` ticks.
export function niceStep(span, count) {
  const raw = span / Math.max(1, count);
  if (!(raw > 0)) return 1;
  const power = 10 ** Math.floor(Math.log10(raw));
  for (const factor of [1, 2, 5, 10]) if (factor * power >= raw) return factor * power;
  return 10 * power;
}

// Round values from `low` to `high` to label, at most `room` of them, a step of
// 1, 2, 2.5 or 5 times a power of ten apart; whole numbers for whole values.
export function axisTicks(low, high, room, integers) {
  const power = 10 ** Math.floor(Math.log10(Math.max(high - low, 1e-300) / Math.max(1, room)));
  const count = (step) => Math.floor(high / step + 1e-9) - Math.ceil(low / step - 1e-9) + 1;
  const steps = [1, 2, 2.5, 5, 10, 20, 25, 50].map((factor) => factor * power).filter((s) => !integers || Number.isInteger(s));
  const step = steps.find((s) => count(s) <= room) ?? Math.max(high - low, 1);
  const ticks = [];
  for (let k = Math.ceil(low / step - 1e-9); k * step <= high + step * 1e-9; k++) ticks.push(Number((k * step).toPrecision(12)));
  return ticks;
}

// The first index of the sorted `values` (NaN last) not below x, or above x when
// `after` is set.
function search(values, x, after) {
  let low = 0, high = values.length;
  while (low < high) {
    const middle = (low + high) >>> 1;
    if (after ? values[middle] <= x : values[middle] < x) low = middle + 1;
    else high = middle;
  }
  return low;
}

// elements: [{ values, probabilities, atLeast, atMost }]; range: [low, high];
// view: "equal", "atLeast" or "atMost". Gives the columns, their place on the
// axis and, per element, their heights:
//   { domain: [x0, x1], columns: [{ left, right, first, last }], heights: [Float64Array],
//     binWidth (null for a column per value), integers }
// first and last are the values a column holds (or the edges of its bin).
export function chartColumns(elements, range, view, maxColumns) {
  const [low, high] = range;
  const within = (from, to) => elements.map(({ values }) => [search(values, from, false), search(values, to, true)]);
  let spans = within(low, high);
  const inRange = spans.reduce((sum, [from, to]) => sum + to - from, 0);
  let edges, binWidth = null;
  if (inRange <= maxColumns) {
    const union = [...new Set(spans.flatMap(([from, to], s) => [...elements[s].values.subarray(from, to)]))].sort((a, b) => a - b);
    edges = union.length > 0 ? union : [low];
  } else {
    binWidth = niceStep(high - low, maxColumns);
    const start = Math.floor(low / binWidth) * binWidth;
    const count = Math.floor((high - start) / binWidth) + 1;
    edges = Array.from({ length: count }, (_, c) => start + c * binWidth);
    // Every value of the bins counts, those just outside the range included.
    const end = start + count * binWidth;
    spans = elements.map(({ values }) => [search(values, start, false), search(values, end, false)]);
  }
  let integers = true;
  spans.forEach(([from, to], s) => {
    for (let i = from; i < to && integers; i++) integers = Number.isInteger(elements[s].values[i]);
  });
  // A column per value is as wide as the closest two values are apart.
  let gap = 1;
  if (binWidth === null && edges.length > 1) {
    gap = Infinity;
    for (let c = 1; c < edges.length; c++) gap = Math.min(gap, edges[c] - edges[c - 1]);
  }
  const wholeBins = integers && Number.isInteger(binWidth);
  const columns = edges.map((edge) => binWidth === null
    ? { left: edge - gap / 2, right: edge + gap / 2, first: edge, last: edge }
    : { left: edge, right: edge + binWidth, first: edge, last: wholeBins ? edge + binWidth - 1 : edge + binWidth });
  const heights = elements.map(({ values, probabilities, atLeast, atMost }, s) => {
    const [from, to] = spans[s];
    const column = new Float64Array(edges.length);
    let i = from;
    for (let c = 0; c < edges.length; c++) {
      const end = c + 1 < edges.length ? edges[c + 1] : Infinity;
      const first = i;
      let sum = 0;
      while (i < to && values[i] < end) sum += probabilities[i++];
      // P(≥) at the column's left edge, P(≤) at its right edge.
      if (view === "equal") column[c] = sum;
      else if (view === "atLeast") column[c] = first < values.length ? atLeast[first] : 0;
      else column[c] = i > 0 ? atMost[i - 1] : 0;
    }
    return column;
  });
  return { domain: [columns[0].left, columns.at(-1).right], columns, heights, binWidth, integers };
}
