// Renders the worker's odds blocks: per expression a heading, then per element
// (one for a single value, one per element of a set) the statistics and a table
// of P(=), P(>=) and P(<=), with the errors the roll can end with as rows of their own.
import { formatPercent, formatStatistic, formatValue } from "./number_format.js";
import { node } from "./html_node.js";

export const SERIES_LETTERS = ["A", "B", "C", "D"];

// A long distribution keeps only the rows in view (and a margin) in the document:
// laying out tens of thousands of rows would freeze the page for seconds. Rows
// have one fixed height (style.css), so spacers stand in for the rest.
const ALL_ROWS_UP_TO = 500;
const ROW_HEIGHT = 29;
const ROWS_AROUND = 40;

function probabilityCell(p) {
  return node("td", { "data-p": p, title: String(p) }, formatPercent(p));
}

function statistics(stats, errors) {
  const list = node("dl", { class: "stats" });
  const add = (term, value) => {
    const item = node("div");
    item.append(node("dt", {}, term), node("dd", {}, value));
    list.append(item);
  };
  add("Mean", formatStatistic(stats.mean));
  add("Standard deviation", formatStatistic(stats.stdev));
  add("Range", `${formatValue(stats.min)} to ${formatValue(stats.max)}`);
  const failing = errors.reduce((sum, error) => sum + error.probability, 0);
  if (failing > 0) add("P(error)", formatPercent(failing));
  return list;
}

function table(outcomes, errors, caption) {
  const scroller = node("div", { class: "table-scroll", tabindex: 0, role: "region", "aria-label": caption });
  const made = node("table", { class: "odds-table" });
  made.append(node("caption", { class: "visually-hidden" }, caption));
  const head = made.createTHead().insertRow();
  for (const title of ["Value", "P(=)", "P(≥)", "P(≤)"]) head.append(node("th", { scope: "col" }, title));
  const body = made.createTBody();
  if (outcomes.length <= ALL_ROWS_UP_TO) {
    addRows(body, outcomes, 0);
  } else {
    made.setAttribute("aria-rowcount", String(outcomes.length + 1));
    showRowsInView(scroller, body, outcomes);
  }
  if (errors.length > 0) {
    const failures = made.createTBody();
    failures.className = "error-rows";
    for (const { message, probability } of errors) {
      const row = failures.insertRow();
      row.dataset.error = message;
      row.append(node("th", { scope: "row" }, `Error: ${message}`), probabilityCell(probability),
        node("td", {}, ""), node("td", {}, ""));
    }
  }
  scroller.append(made);
  return scroller;
}

function addRows(body, outcomes, first) {
  outcomes.forEach(({ value, probability, atLeast, atMost }, offset) => {
    const row = body.insertRow();
    row.dataset.value = String(value);
    row.setAttribute("aria-rowindex", String(first + offset + 2));
    row.append(node("th", { scope: "row" }, formatValue(value)),
      probabilityCell(probability), probabilityCell(atLeast), probabilityCell(atMost));
  });
}

function spacer() {
  const row = node("tr", { class: "spacer", "aria-hidden": "true" });
  row.append(node("td", { colspan: 4 }));
  return row;
}

function showRowsInView(scroller, body, outcomes) {
  const above = spacer(), below = spacer();
  let shown = null;
  let height = ROW_HEIGHT;
  const draw = () => {
    // The height CSS gives a row, measured once the table is laid out.
    if (shown !== null && height === ROW_HEIGHT) height = body.rows[1]?.getBoundingClientRect().height || ROW_HEIGHT;
    const first = Math.max(0, Math.floor(scroller.scrollTop / height) - ROWS_AROUND);
    const last = Math.min(outcomes.length, first + 3 * ROWS_AROUND);
    if (shown === first) return;
    shown = first;
    body.replaceChildren(above);
    addRows(body, outcomes.slice(first, last), first);
    body.append(below);
    above.firstChild.style.height = `${first * height}px`;
    below.firstChild.style.height = `${(outcomes.length - last) * height}px`;
  };
  let pending = false;
  scroller.addEventListener("scroll", () => {
    if (pending) return;
    pending = true;
    requestAnimationFrame(() => { pending = false; draw(); });
  });
  draw();
}

function message(text, kind) {
  return node("p", { class: `message ${kind}`, role: kind === "refusal" || kind === "error" ? "alert" : "note" }, text);
}

// One <article> per expression; index gives its letter.
export function renderBlock(block, index) {
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
  block.elements.forEach(({ outcomes, stats }, element) => {
    const name = block.isSet ? `${letter}, element ${element + 1} of ${block.elements.length}` : letter;
    const section = node("section", { class: "odds-element", "data-element": element });
    if (block.isSet) section.append(node("h4", {}, `Element ${element + 1}`));
    if (stats) section.append(statistics(stats, block.errors));
    section.append(table(outcomes, block.errors, `Odds of ${name}: ${block.consumed}`));
    article.append(section);
  });
  if (block.isSet && block.elements.length === 0) article.append(message("The set is empty: it has no values.", "tail"));
  return article;
}
