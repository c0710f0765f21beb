// The dice of a roll, read from its detail text. A plain term renders as
// "[5 + 3 + 1* + 6!]" (a "*" marks a die dropped by keep, a "!" a die that added a
// bonus die); a term with a comparison renders as "<1* + 10 + 10>", listing only the
// kept dice, where "*" marks a die that fails the comparison.
//
// A die: { value, kept, bonus, success }, success being true/false for a term with a
// comparison and null otherwise.

const TERM = /\[([^[\]]*)\]|<([^<>]*)>/g;
const DIE = /^(\d+)(\*?)(!?)$/;

function readDice(body, comparison) {
  const dice = [];
  for (const text of body.split(" + ")) {
    const match = DIE.exec(text);
    if (match === null) return null;
    const starred = match[2] === "*";
    dice.push({
      value: Number(match[1]),
      kept: comparison ? true : !starred,
      bonus: match[3] === "!",
      success: comparison ? !starred : null,
    });
  }
  return dice;
}

// The dice terms of a detail text, in order: [{ comparison, dice }].
export function diceFromDetail(detail) {
  const terms = [];
  for (const match of detail.matchAll(TERM)) {
    const comparison = match[2] !== undefined;
    const dice = readDice(comparison ? match[2] : match[1], comparison);
    if (dice !== null) terms.push({ comparison, dice });
  }
  return terms;
}
