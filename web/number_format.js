// How the page writes probabilities and values for people; exact figures go to
// the CSV export and to data attributes.

// A probability as a percentage: two decimals from 1 %, two significant digits
// below, so that small chances do not read as zero; exact 0 and 1 stay exact.
// Sums of many probabilities carry rounding (a few units in the last place per
// term), so a certainty can arrive as 0.9999999999999998 or, over tens of
// thousands of outcomes, 1 - 1e-13; that close to 1 is read as 1.
const ROUNDING = 1e-12;

export function formatPercent(p) {
  if (p === 0) return "0 %";
  if (p >= 1 - ROUNDING) return "100 %";
  const percent = p * 100;
  if (percent >= 1) {
    // Never round a chance below one up to a certainty, or above zero down to none.
    const text = percent.toFixed(2);
    if (text === "100.00") return "> 99.99 %";
    return text + " %";
  }
  return percent.toPrecision(2) + " %";
}

// A value as the engine writes a summary: whole numbers without a fraction, others
// in their shortest round-trip form.
export function formatValue(value) {
  if (Number.isInteger(value) && Math.abs(value) < 1e21) return value.toFixed(0);
  return String(value);
}

// A statistic such as a mean or a standard deviation, rounded for reading.
export function formatStatistic(value) {
  if (!Number.isFinite(value)) return String(value);
  if (Number.isInteger(value)) return formatValue(value);
  return String(Number(value.toFixed(4)));
}
