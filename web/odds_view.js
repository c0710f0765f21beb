// Renders the worker's odds blocks: per expression a heading, then per element
// (one for a single value, one per element of a set) the statistics, the chance
// that the roll fails, and the table of every value.
import { formatPercent, formatStatistic, formatValue } from "./number_format.js";
import { ALL_ROWS_UP_TO, oddsTable } from "./odds_table.js";
import { node } from "./html_node.js";

export const SERIES_LETTERS = ["A", "B", "C", "D", "E", "F", "G", "H"];

function statistics(stats) {
  const list = node("dl", { class: "stats" });
  const add = (term, value) => {
    const item = node("div", { "data-stat": term.toLowerCase() });
    item.append(node("dt", {}, term), node("dd", {}, value));
    list.append(item);
  };
  add("Mean", formatStatistic(stats.mean));
  add("Median", formatValue(stats.median));
  add("Mode", formatValue(stats.mode));
  add("Deviation", formatStatistic(stats.stdev));
  add("Range", `${formatValue(stats.min)} to ${formatValue(stats.max)}`);
  return list;
}

// "fails 50.00 %: division by zero", for every text that gives a statistic of
// the rolls that succeed beside a chance of the whole roll.
export function failureText(errors) {
  if (errors.length === 0) return "";
  const total = errors.reduce((sum, error) => sum + error.probability, 0);
  const reasons = errors.length === 1 ? errors[0].message
    : errors.map(({ message, probability }) => `${message} ${formatPercent(probability)}`).join("; ");
  return `fails ${formatPercent(total)}: ${reasons}`;
}

function failureNote(errors) {
  const text = failureText(errors);
  return node("p", { class: "fails" }, `${text[0].toUpperCase()}${text.slice(1)}. Mean, median, mode and deviation are of the rolls that succeed.`);
}

// A block with a table too long to show whole needs on_demand/row_window.js.
export function needsRowWindow(block) {
  return block.elements?.some((element) => element.values.length > ALL_ROWS_UP_TO) ?? false;
}

function message(text, kind) {
  return node("p", { class: `message ${kind}`, role: kind === "refusal" || kind === "error" ? "alert" : "note" }, text);
}

// One <article> per expression; index gives its letter; rowWindow as oddsTable takes it.
export function renderBlock(block, index, rowWindow) {
  const letter = SERIES_LETTERS[index];
  const article = node("article", { class: "odds-block", "data-index": index });
  const heading = node("h3");
  heading.append(node("span", { class: `series-tag series-${index}`, "aria-hidden": "true" }, letter),
    node("code", {}, block.consumed || block.expression));
  article.append(heading);
  if (block.failure) {
    article.append(message(block.failure.message, block.failure.refused ? "refusal" : "error"));
    return article;
  }
  if (block.nothing) {
    article.append(message(`Nothing to compute: "${block.expression}" does not start with an expression.`, "error"));
    return article;
  }
  if (block.tail.trim() !== "") {
    article.append(message(`Not read: "${block.tail}" (only "${block.consumed}" is an expression).`, "tail"));
  }
  block.elements.forEach((element, position) => {
    const name = block.isSet ? `${letter}, element ${position + 1} of ${block.elements.length}` : letter;
    const section = node("section", { class: "odds-element", "data-element": position });
    if (block.isSet) section.append(node("h4", {}, `Element ${position + 1}`));
    if (element.stats) section.append(statistics(element.stats));
    if (element.stats && block.errors.length > 0) section.append(failureNote(block.errors));
    section.append(oddsTable(element, block.errors, `Odds of ${name}: ${block.consumed}`, rowWindow));
    article.append(section);
  });
  if (block.isSet && block.elements.length === 0) article.append(message("The set is empty: it has no values.", "tail"));
  return article;
}
