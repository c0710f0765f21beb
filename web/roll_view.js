// Shows one roll: its full text, every die with its marks, and the seed that
// reproduces it; and keeps the short history of rolls.
import { diceFromDetail } from "./dice_marks.js";

const HISTORY_LENGTH = 10;

function node(tag, attributes = {}, text = null) {
  const made = document.createElement(tag);
  for (const [key, value] of Object.entries(attributes)) made.setAttribute(key, String(value));
  if (text !== null) made.textContent = text;
  return made;
}

// The words for a die's marks: shown next to the face and read by screen readers,
// so that colour is never the only signal.
export function dieMarks(die) {
  const marks = [];
  if (!die.kept) marks.push("dropped");
  if (die.bonusDie) marks.push("bonus-die");
  if (die.earnedBonus) marks.push("earned-bonus");
  if (die.success === true) marks.push("success");
  if (die.success === false) marks.push("failure");
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

function diceList(terms) {
  const holder = node("div", { class: "dice-terms" });
  terms.forEach(({ dice, comparison }, index) => {
    const label = `Dice of term ${index + 1}${comparison ? ", counting successes" : ""}`;
    const list = node("ul", { class: "dice", "aria-label": label });
    for (const die of dice) list.append(dieItem(die));
    holder.append(list);
  });
  return holder;
}

// roll: { letter, expression, seed, result } or { letter, expression, seed, error }.
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
    container.append(node("p", { class: "message tail" }, `Not read: "${result.tail}"`));
  }
  const terms = diceFromDetail(result.detail);
  if (terms.length > 0) container.append(diceList(terms));
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
  item.append(node("span", { class: "roll-seed" }, `seed ${roll.seed}`));
  list.prepend(item);
  while (list.children.length > HISTORY_LENGTH) list.lastElementChild.remove();
}
