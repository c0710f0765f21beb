// Shows one roll: its full text, every die with its marks, and the seed that
// reproduces it; and keeps the short history of rolls. The dice come from the
// roll's trace: every dice term in the order rolled, with all its dice. Loaded
// with the first roll.
import { node } from "../html_node.js";
import { styleSheet } from "../style_sheet.js";

await styleSheet(new URL("./roll_view.css", import.meta.url));

const HISTORY_LENGTH = 10;

// The words for a die's marks: shown next to the face and read by screen readers,
// so that colour is never the only signal.
// die: a die of a trace, { value, kept, bonus, earned_bonus, success }.
export function dieMarks(die) {
  const marks = [];
  if (!die.kept) marks.push("dropped");
  if (die.bonus) marks.push("bonus-die");
  if (die.earned_bonus) marks.push("earned-bonus");
  // Only kept dice count as successes: a dropped die is just dropped.
  if (die.kept && die.success === true) marks.push("success");
  if (die.kept && die.success === false) marks.push("failure");
  return marks;
}

// What each mark reads as, on the page and for a screen reader.
const MARK_NOTES = {
  "dropped": ["dropped", "dropped"],
  "bonus-die": ["bonus die", "added by a bonus"],
  "earned-bonus": ["+1 die", "earned a bonus die"],
  "success": ["✓ hit", "success"],
  "failure": ["✗ miss", "failure"],
};

function dieItem(die) {
  const marks = dieMarks(die);
  const item = node("li", {
    class: ["die", ...marks].join(" "),
    "data-value": die.value,
    "data-marks": marks.join(" "),
    "aria-label": [String(die.value), ...marks.map((mark) => MARK_NOTES[mark][1])].join(", "),
  });
  item.append(node("span", { class: "die-face", "aria-hidden": "true" }, String(die.value)));
  for (const mark of marks) {
    item.append(node("span", { class: `die-note note-${mark}`, "aria-hidden": "true" }, MARK_NOTES[mark][0]));
  }
  return item;
}

// One row per dice term of the trace, named by its text in the expression.
function diceList(terms, consumed) {
  const holder = node("div", { class: "dice-terms" });
  for (const term of terms) {
    const source = consumed.slice(term.start, term.end);
    const row = node("div", { class: "dice-term" });
    const label = node("code", { class: "term-source" }, source);
    const counting = term.comparison ? `, counting dice ${term.comparison.op} ${term.comparison.threshold}` : "";
    const list = node("ul", { class: "dice", "aria-label": `Dice of ${source}${counting}` });
    for (const die of term.dice) list.append(dieItem(die));
    row.append(label, list);
    holder.append(row);
  }
  return holder;
}

// roll: { letter, expression, seed, result, dice, hints } (result, dice and hints
// as the package's trace gives them) or { letter, expression, seed, error }.
export function renderRoll(container, roll) {
  container.replaceChildren();
  container.dataset.state = roll.error ? "error" : "rolled";
  const heading = node("p", { class: "roll-heading" });
  heading.append(node("span", { class: "series-tag" }, roll.letter),
    node("code", { class: "roll-expression" }, roll.expression),
    node("span", { class: "roll-seed" }, `seed ${roll.seed}`));
  container.append(heading);
  if (roll.error) {
    container.append(node("p", { class: "message error", role: "alert" }, roll.error));
    return;
  }
  const { result } = roll;
  if (result.consumed === "") {
    container.append(node("p", { class: "message error" }, `Nothing to roll: "${roll.expression}" does not start with an expression.`));
    return;
  }
  container.append(node("p", { class: "roll-summary" }, result.summary));
  container.append(node("p", { class: "roll-full" }, result.full));
  if (result.tail.trim() !== "") {
    const note = node("p", { class: "message tail" }, `Not read: "${result.tail}"`);
    for (const hint of roll.hints) note.append(node("span", { class: "hint-text" }, `Hint: ${hint}`));
    container.append(note);
  }
  if (roll.dice.length > 0) container.append(diceList(roll.dice, result.consumed));
}

// The text a screen reader announces for a roll.
export function rollAnnouncement(roll) {
  if (roll.error) return `${roll.expression}: ${roll.error}`;
  if (roll.result.consumed === "") return `Nothing to roll in ${roll.expression}`;
  return `${roll.result.consumed} rolled ${roll.result.summary}`;
}

export function addToHistory(list, roll) {
  const item = node("li");
  item.append(node("code", {}, roll.expression), node("span", { class: "arrow", "aria-hidden": "true" }, " → "));
  const outcome = roll.error ? roll.error : roll.result.consumed === "" ? "nothing to roll" : roll.result.full;
  item.append(node("span", { class: roll.error ? "history-error" : "history-full" }, outcome));
  item.append(" ", node("span", { class: "roll-seed" }, `seed ${roll.seed}`));
  list.prepend(item);
  while (list.children.length > HISTORY_LENGTH) list.lastElementChild.remove();
}
