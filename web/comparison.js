// Opposed rolls: with A and B rolled independently, the chances that A beats,
// ties or loses to B, from their outcomes ({ value, probability } in ascending
// value). A roll that fails gives no value, so the three chances leave out
// P(either fails), which is reported as failure.
export function compareOutcomes(a, b) {
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
  const totalA = a.reduce((sum, outcome) => sum + outcome.probability, 0);
  return { greater, equal, less, failure: Math.max(0, 1 - totalA * totalB) };
}
