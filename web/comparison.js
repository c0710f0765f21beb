// Opposed rolls: with A and B rolled independently, the chances that A beats,
// ties or loses to B, from their outcomes ({ value, probability } in ascending
// value). A roll that fails gives no value, so the three chances leave out
// P(either fails), which is reported as failure; it comes from each side's chance
// of an error (failA, failB) rather than from 1 minus sums, which would leave
// rounding dust where no roll can fail.
export function compareOutcomes(a, b, failA = 0, failB = 0) {
  let greater = 0, equal = 0, less = 0;
  let below = 0; // P(B < a) for the current a
  let j = 0;
  const totalB = b.reduce((sum, outcome) => sum + outcome.probability, 0);
  for (const { value, probability } of a) {
    while (j < b.length && b[j].value < value) below += b[j++].probability;
    const same = j < b.length && b[j].value === value ? b[j].probability : 0;
    greater += probability * below;
    equal += probability * same;
    less += probability * (totalB - below - same);
  }
  return { greater, equal, less: Math.max(0, less), failure: failA + failB - failA * failB };
}
