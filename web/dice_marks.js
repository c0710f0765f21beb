// The dice of a roll, read from its detail text. A plain term renders as
// "[5 + 3 + 1* + 6!]" (a "*" marks a die dropped by keep, a "!" a die that earned
// a bonus die); a term with a comparison renders as "<1* + 10 + 10>", listing only
// the kept dice, where "*" marks a die that fails the comparison.
//
// A die: { value, kept, earnedBonus, bonusDie, success }. bonusDie is true for a
// die a bonus added: bonus dice are drawn after the others, one per "!", so in a
// plain term they are the last dice; a comparison term hides its dropped dice, so
// there bonusDie is null (unknown). success is true/false for a term with a
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
      earnedBonus: match[3] === "!",
      bonusDie: comparison ? null : false,
      success: comparison ? !starred : null,
    });
  }
  if (!comparison) {
    const added = dice.filter((die) => die.earnedBonus).length;
    dice.forEach((die, index) => { die.bonusDie = index >= dice.length - added; });
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
