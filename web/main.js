// The page: expression boxes whose contents and last rolls live in the URL
// fragment, a roll panel with history, and the exact odds of every expression
// from a worker, following the typing.
import { readFragment, writeFragment } from "./url_state.js";
import { OddsClient } from "./odds_client.js";
import { failureText, needsRowWindow, renderBlock, SERIES_LETTERS } from "./odds_view.js";
import { ChartView } from "./chart_view.js";
import { ExpressionBoxes, MAX_EXPRESSIONS } from "./expression_boxes.js";
import { formatStatistic } from "./number_format.js";

const DEFAULT_EXPRESSIONS = [{ expression: "4d6k3", seed: null, across: null }];
const BUSY_DELAY_MS = 150;
const TYPING_PAUSE_MS = 300;

const $ = (id) => document.getElementById(id);
const boxes = new ExpressionBoxes($("expression-list"), $("add-expression"), { roll: rollAt, typed, removed: syncState });
const chart = new ChartView($("chart-area"));

let engine = null;
let shown = [];      // the expressions whose odds are on the page or on their way; null while typing
let blocks = [];     // their odds blocks, as the worker sends them
let drawn = Promise.resolve();  // settles once every block received is on the page
let busyTimer = 0;
let typingTimer = 0;

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

// Rolls box `index` with a fresh seed, or with `seed` to replay a roll.
async function rollAt(index, seed = freshSeed()) {
  const input = boxes.inputs()[index];
  const expression = input.value;
  if (expression.trim() === "") {
    input.focus();
    return;
  }
  const roll = { letter: SERIES_LETTERS[index], expression, seed };
  try {
    ({ result: roll.result, dice: roll.dice, hints: roll.hints } = engine.trace(expression, { seed }));
  } catch (error) {
    roll.error = error.message;
  }
  boxes.rolled(index, expression, seed);
  const { renderRoll, addToHistory, rollAnnouncement } = await import("./on_demand/roll_view.js");
  renderRoll($("roll-result"), roll);
  addToHistory($("history"), roll);
  document.body.dataset.rolls = String(Number(document.body.dataset.rolls ?? 0) + 1);
  announce($("announcer"), rollAnnouncement(roll));
  syncState();
}

// --- the URL fragment and the odds -----------------------------------------------

// Typing puts the odds on show out of date at once (what the worker sends for
// them is thrown away), and asks for new ones when the typing pauses (`now`: at
// once, as for a clicked example).
function typed(now) {
  clearTimeout(typingTimer);
  if (!sameList(boxes.expressions(), shown)) {
    shown = null;
    clearTimeout(busyTimer);
    setStatus("");
    $("odds-blocks").classList.add("stale");
    $("odds-blocks").setAttribute("aria-busy", "true");
    document.body.dataset.odds = "typing";
  }
  if (now) syncState();
  else typingTimer = setTimeout(syncState, TYPING_PAUSE_MS);
}

function sameList(a, b) {
  return a !== null && b !== null && a.length === b.length && a.every((text, i) => text === b[i]);
}

function syncState() {
  clearTimeout(typingTimer);
  const fragment = writeFragment(boxes.entries());
  if (fragment !== location.hash) {
    history.replaceState(null, "", fragment === "" ? location.pathname + location.search : fragment);
  }
  showOdds(boxes.expressions());
}

function showOdds(expressions) {
  if (sameList(expressions, shown)) return;
  shown = expressions;
  blocks = [];
  $("odds-blocks").classList.remove("stale");
  $("odds-blocks").setAttribute("aria-busy", "false");
  $("odds-blocks").replaceChildren(...expressions.map(() => document.createElement("article")));
  chart.hide();
  $("compare").hidden = true;
  $("export-csv").disabled = true;
  clearTimeout(busyTimer);
  if (expressions.length === 0) {
    setStatus("Type an expression to see its exact odds.");
    document.body.dataset.odds = "ready";
    return;
  }
  document.body.dataset.odds = "computing";
  setStatus("");
  busyTimer = setTimeout(() => setStatus(progressText(), true), BUSY_DELAY_MS);
  odds.request(expressions);
}

function progressText() {
  const done = blocks.filter(Boolean).length;
  return shown.length === 1 ? "Computing exact odds…" : `Computing exact odds… ${done} of ${shown.length} done.`;
}

function setStatus(text, busy = false) {
  const status = $("odds-status");
  status.textContent = text;
  status.setAttribute("aria-busy", String(busy));
  status.hidden = text === "";
}

// Results for text that is no longer in the boxes are thrown away.
function onBlock(index, block) {
  if (shown === null || block.expression !== shown[index]) return;
  blocks[index] = block;
  // The long tables' row window loads with the first of them: the first load stays small.
  const rowWindow = needsRowWindow(block) ? import("./on_demand/row_window.js").catch(() => null) : null;
  drawn = Promise.all([drawn, rowWindow]).then(([, loaded]) => {
    if (blocks[index] === block) $("odds-blocks").children[index].replaceWith(renderBlock(block, index, loaded));
  });
  if ($("odds-status").getAttribute("aria-busy") === "true") setStatus(progressText(), true);
}

async function showComparison(comparison) {
  if (comparison === null) return;
  // Loaded when there are two expressions to compare: the first load stays small.
  const request = shown;
  const { renderComparison } = await import("./on_demand/compare_view.js");
  if (shown !== request) return;
  renderComparison($("compare"), comparison, blocks.map((block) => block.consumed));
}

function spokenBlock(block, index) {
  const name = `${SERIES_LETTERS[index]}, ${block.consumed || block.expression}`;
  if (block.failure) return `${name}: ${block.failure.message}`;
  const stats = block.elements?.[0]?.stats;
  if (!stats) return `${name}: no odds`;
  const fails = failureText(block.errors);
  return `${name}: mean ${formatStatistic(stats.mean)}${fails ? `, ${fails}` : ""}`;
}

async function onDone(comparison) {
  const request = shown;
  if (request === null || blocks.filter(Boolean).length !== request.length) return;
  await drawn;
  if (shown !== request) return;
  clearTimeout(busyTimer);
  setStatus("");
  await chart.show(blocks);
  await showComparison(comparison);
  if (shown !== request) return;  // a newer request started meanwhile
  $("export-csv").disabled = !blocks.some((block) => block.elements);
  announce($("odds-announcer"), "Odds ready. " + blocks.map(spokenBlock).join(". "));
  document.body.dataset.odds = "ready";
}

function onOddsFailed(message) {
  clearTimeout(busyTimer);
  shown = [];
  setStatus(message);
  announce($("odds-announcer"), message);
  document.body.dataset.odds = "failed";
}

const odds = new OddsClient({ block: onBlock, done: onDone, failed: onOddsFailed });

// --- sharing and export ------------------------------------------------------------

async function copyLink() {
  const status = $("link-status");
  const replayed = boxes.entries().map((entry, i) => entry.seed === null ? null : SERIES_LETTERS[i]).filter(Boolean);
  const replays = replayed.length === 0 ? "" : `, replaying the last roll of ${replayed.join(", ")}`;
  try {
    await navigator.clipboard.writeText(location.href);
    status.textContent = `Copied${replays}: ${location.href}`;
  } catch {
    status.textContent = `Copy this link${replays}: ${location.href}`;
  }
}

// The CSV writer loads on the first export: the first load stays small.
async function exportCsv() {
  $("export-csv").disabled = true;
  document.body.dataset.export = "writing";
  const { downloadCsv } = await import("./on_demand/odds_csv.js");
  await downloadCsv(blocks, $("export-status"));
  $("export-csv").disabled = false;
  document.body.dataset.export = "done";
}

// --- start -------------------------------------------------------------------------

// Builds the boxes from the fragment, says what does not fit, and replays the
// rolls the link carries.
async function loadFromFragment() {
  const entries = readFragment(location.hash);
  const kept = entries.slice(0, MAX_EXPRESSIONS);
  const left = entries.slice(MAX_EXPRESSIONS).map((entry) => entry.expression);
  const note = $("overflow-note");
  note.hidden = left.length === 0;
  note.textContent = left.length === 0 ? "" : `This link holds ${entries.length} expressions; the page shows ${MAX_EXPRESSIONS}. Left out: ${left.join(", ")}.`;
  boxes.build(kept.length > 0 ? kept : DEFAULT_EXPRESSIONS);
  syncState();
  for (const [index, { seed }] of kept.entries()) if (seed !== null) await rollAt(index, seed);
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
  for (const example of document.querySelectorAll("button.example")) {
    example.addEventListener("click", () => boxes.fill(example.textContent));
  }
  window.addEventListener("hashchange", () => {
    if (location.hash !== writeFragment(boxes.entries())) loadFromFragment();
  });
  await loadFromFragment();
  document.body.dataset.engine = "ready";
}

start();
