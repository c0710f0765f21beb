// The page: expression boxes whose contents live in the URL fragment, a roll
// panel with history, and the exact odds of every expression from a worker.
import { readFragment, writeFragment } from "./url_state.js";
import { renderRoll, addToHistory, rollAnnouncement } from "./roll_view.js";
import { OddsClient } from "./odds_client.js";
import { renderBlock, SERIES_LETTERS } from "./odds_view.js";
import { ChartView } from "./chart_view.js";
import { ExpressionBoxes, MAX_EXPRESSIONS } from "./expression_boxes.js";
import { formatStatistic } from "./number_format.js";

const DEFAULT_EXPRESSIONS = ["4d6k3"];
const BUSY_DELAY_MS = 150;

const $ = (id) => document.getElementById(id);
const boxes = new ExpressionBoxes($("expression-list"), $("add-expression"), { roll: rollAt, removed: syncState });
const chart = new ChartView($("chart"));

let engine = null;
let shown = [];      // the expressions whose odds are on the page
let blocks = [];     // their odds blocks, as the worker sends them
let busyTimer = 0;

// Rolls and odds have a live region each, so that odds arriving just after a
// roll do not cut off its announcement.
function announce(region, text) {
  // Clearing first makes a repeated text be read again.
  region.textContent = "";
  requestAnimationFrame(() => { region.textContent = text; });
}

// --- rolling ---------------------------------------------------------------------

function freshSeed() {
  return crypto.getRandomValues(new BigUint64Array(1))[0];
}

function rollAt(index) {
  const input = boxes.inputs()[index];
  const expression = input.value;
  if (expression.trim() === "") {
    input.focus();
    return;
  }
  const seed = freshSeed();
  const roll = { letter: SERIES_LETTERS[index], expression, seed };
  try {
    ({ result: roll.result, dice: roll.dice, hints: roll.hints } = engine.trace(expression, { seed }));
  } catch (error) {
    roll.error = error.message;
  }
  renderRoll($("roll-result"), roll);
  addToHistory($("history"), roll);
  document.body.dataset.rolls = String(Number(document.body.dataset.rolls ?? 0) + 1);
  announce($("announcer"), rollAnnouncement(roll));
  syncState();
}

// --- the URL fragment and the odds -----------------------------------------------

function syncState() {
  const expressions = boxes.expressions();
  const fragment = writeFragment(expressions);
  if (fragment !== location.hash) {
    history.replaceState(null, "", fragment === "" ? location.pathname + location.search : fragment);
  }
  showOdds(expressions);
}

function showOdds(expressions) {
  if (expressions.length === shown.length && expressions.every((text, i) => text === shown[i])) return;
  shown = expressions;
  blocks = [];
  $("odds-blocks").replaceChildren(...expressions.map(() => document.createElement("article")));
  chart.hide();
  $("compare").hidden = true;
  $("export-csv").disabled = true;
  if (expressions.length === 0) {
    setStatus("Type an expression to see its exact odds.");
    document.body.dataset.odds = "ready";
    return;
  }
  document.body.dataset.odds = "computing";
  setStatus("");
  clearTimeout(busyTimer);
  busyTimer = setTimeout(() => setStatus("Computing exact odds…", true), BUSY_DELAY_MS);
  odds.request(expressions);
}

function setStatus(text, busy = false) {
  const status = $("odds-status");
  status.textContent = text;
  status.setAttribute("aria-busy", String(busy));
  status.hidden = text === "";
}

function onBlock(index, block) {
  blocks[index] = block;
  $("odds-blocks").children[index].replaceWith(renderBlock(block, index));
}

async function showComparison(comparison) {
  if (comparison === null) return;
  // Loaded when there are two expressions to compare: the first load stays small.
  const request = shown;
  const { renderComparison } = await import("./compare_view.js");
  if (shown !== request) return;
  renderComparison($("compare"), comparison, blocks.map((block) => block.consumed));
}

async function onDone(comparison) {
  const request = shown;
  clearTimeout(busyTimer);
  setStatus("");
  chart.show(blocks);
  await showComparison(comparison);
  if (shown !== request) return;  // a newer request started meanwhile
  $("export-csv").disabled = !blocks.some((block) => block.elements);
  const spoken = blocks.map((block, index) => {
    const name = `${SERIES_LETTERS[index]}, ${block.consumed || block.expression}`;
    if (block.failure) return `${name}: ${block.failure.message}`;
    if (!block.elements || !block.elements[0]?.stats) return `${name}: no odds`;
    return `${name}: mean ${formatStatistic(block.elements[0].stats.mean)}`;
  });
  announce($("odds-announcer"), "Odds ready. " + spoken.join(". "));
  document.body.dataset.odds = "ready";
}

function onOddsFailed(message) {
  clearTimeout(busyTimer);
  shown = [];
  setStatus(message);
  document.body.dataset.odds = "failed";
}

const odds = new OddsClient({ block: onBlock, done: onDone, failed: onOddsFailed });

// --- sharing and export ------------------------------------------------------------

async function copyLink() {
  const status = $("link-status");
  try {
    await navigator.clipboard.writeText(location.href);
    status.textContent = "Link copied.";
  } catch {
    status.textContent = `Copy this link: ${location.href}`;
  }
}

// The CSV writer loads on the first export: the first load stays small.
async function exportCsv() {
  const { oddsCsv } = await import("./odds_csv.js");
  const blob = new Blob([oddsCsv(blocks)], { type: "text/csv" });
  const link = document.createElement("a");
  link.href = URL.createObjectURL(blob);
  link.download = "pipwerk-odds.csv";
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 1000);
}

// --- start -------------------------------------------------------------------------

function loadFromFragment() {
  const expressions = readFragment(location.hash).slice(0, MAX_EXPRESSIONS);
  boxes.build(expressions.length > 0 ? expressions : DEFAULT_EXPRESSIONS);
  showOdds(boxes.expressions());
}

async function start() {
  try {
    engine = await import("./engine.js");
  } catch (error) {
    document.body.dataset.engine = "missing";
    setStatus(`The pipwerk engine could not be loaded (${error.message}). Build it first: see docs/web.md.`);
    return;
  }
  $("copy-link").addEventListener("click", copyLink);
  $("export-csv").addEventListener("click", exportCsv);
  $("expressions").addEventListener("submit", (event) => event.preventDefault());
  window.addEventListener("hashchange", () => {
    const expressions = readFragment(location.hash);
    if (expressions.join("\n") !== boxes.expressions().join("\n")) loadFromFragment();
  });
  loadFromFragment();
  document.body.dataset.engine = "ready";
}

start();
