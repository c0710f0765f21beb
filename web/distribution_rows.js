// The columns of one distribution's table, made in one pass each: P(≤) and P(≥)
// of every value, summed exactly as the engine's atMost and atLeast sum them
// (compensated, each tail from its own end), so that every figure is the API's
// to the last bit, where asking the engine row by row would cost a pass per row.

// a + b as a rounded sum and its rounding error.
function twoSum(a, b) {
  const s = a + b;
  const bb = s - a;
  return [s, (a - (s - bb)) + (b - bb)];
}

// A running sum carried in two doubles, as the engine's CompensatedSum.
class CompensatedSum {
  hi = 0;
  lo = 0;

  add(x) {
    const [s, error] = twoSum(this.hi, x);
    [this.hi, this.lo] = twoSum(s, error + this.lo + 0);
  }

  value() {
    return this.hi + this.lo;
  }
}

// values ascending (NaN, if any, last), probabilities beside them: Float64Arrays.
// Gives { atMost, atLeast, total }: the two columns and the chance of success.
export function distributionRows(values, probabilities) {
  const n = values.length;
  const atMost = new Float64Array(n);
  const atLeast = new Float64Array(n);
  const below = new CompensatedSum();
  const total = new CompensatedSum();
  // P(<= x) stops at the first value not <= x, a NaN included; P(<= NaN) is 0.
  let ordered = true;
  for (let i = 0; i < n; i++) {
    total.add(probabilities[i]);
    if (Number.isNaN(values[i])) {
      ordered = false;
      continue;
    }
    if (ordered) below.add(probabilities[i]);
    atMost[i] = below.value();
  }
  // P(>= x) skips NaN values.
  const above = new CompensatedSum();
  for (let i = n - 1; i >= 0; i--) {
    if (Number.isNaN(values[i])) continue;
    above.add(probabilities[i]);
    atLeast[i] = above.value();
  }
  return { atMost, atLeast, total: total.value() };
}

// The values between which the roll lands but for `tail` at each end, given that
// it succeeds: the first value v with (1 - q) P(<= v) >= q P(> v), for q = tail
// and 1 - tail, as the engine reads its quantiles (in plain doubles, so a value
// whose P(<= v) is q exactly may fall either side). Only finite values have a
// place on an axis; null when there are none.
export function bodyRange(values, probabilities, atMost, atLeast, tail) {
  let nan = 0;
  for (let i = values.length - 1; i >= 0 && Number.isNaN(values[i]); i--) nan += probabilities[i];
  const above = (i) => (i + 1 < values.length ? atLeast[i + 1] : 0) + nan;
  const reaches = (i, q) => (1 - q) * atMost[i] >= q * above(i);
  let low = null, high = null;
  for (let i = 0; i < values.length && high === null; i++) {
    if (!Number.isFinite(values[i])) continue;
    if (low === null && reaches(i, tail)) low = values[i];
    if (reaches(i, 1 - tail) || !Number.isFinite(values[i + 1])) high = values[i];
  }
  return high === null ? null : [low ?? high, high];
}
