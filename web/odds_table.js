// The table of one distribution: a row per value with P(=), P(≥) and P(≤), then a
// row per error the roll can end with. A long table keeps only the rows in view
// (and a margin) in the document: laying out tens of thousands of rows would
// freeze the page for seconds. Rows have one fixed height (style.css), so
// spacers stand in for the rest.
import { formatPercent, formatValue } from "./number_format.js";
import { node } from "./html_node.js";

const ALL_ROWS_UP_TO = 500;
const ROW_HEIGHT = 29;
const ROWS_AROUND = 40;

export function probabilityCell(p) {
  return node("td", { "data-p": p, title: String(p) }, formatPercent(p));
}

// element: { values, probabilities, atLeast, atMost } (Float64Arrays).
export function oddsTable(element, errors, caption) {
  const count = element.values.length;
  const scroller = node("div", { class: "table-scroll", tabindex: 0, role: "region", "aria-label": caption });
  const made = node("table", { class: "odds-table" });
  made.append(node("caption", { class: "visually-hidden" }, caption));
  const head = made.createTHead().insertRow();
  for (const title of ["Value", "P(=)", "P(≥)", "P(≤)"]) head.append(node("th", { scope: "col" }, title));
  const body = made.createTBody();
  if (count <= ALL_ROWS_UP_TO) {
    addRows(body, element, 0, count);
  } else {
    made.setAttribute("aria-rowcount", String(count + 1));
    showRowsInView(scroller, body, element);
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

function addRows(body, { values, probabilities, atLeast, atMost }, first, last) {
  for (let i = first; i < last; i++) {
    const row = body.insertRow();
    row.dataset.value = String(values[i]);
    row.setAttribute("aria-rowindex", String(i + 2));
    row.append(node("th", { scope: "row" }, formatValue(values[i])),
      probabilityCell(probabilities[i]), probabilityCell(atLeast[i]), probabilityCell(atMost[i]));
  }
}

function spacer() {
  const row = node("tr", { class: "spacer", "aria-hidden": "true" });
  row.append(node("td", { colspan: 4 }));
  return row;
}

function showRowsInView(scroller, body, element) {
  const count = element.values.length;
  const above = spacer(), below = spacer();
  let shown = null;
  let height = ROW_HEIGHT;
  const draw = () => {
    // The height CSS gives a row, measured once the table is laid out.
    if (shown !== null && height === ROW_HEIGHT) height = body.rows[1]?.getBoundingClientRect().height || ROW_HEIGHT;
    const first = Math.max(0, Math.floor(scroller.scrollTop / height) - ROWS_AROUND);
    const last = Math.min(count, first + 3 * ROWS_AROUND);
    if (shown === first) return;
    shown = first;
    body.replaceChildren(above);
    addRows(body, element, first, last);
    body.append(below);
    above.firstChild.style.height = `${first * height}px`;
    below.firstChild.style.height = `${(count - last) * height}px`;
  };
  let pending = false;
  scroller.addEventListener("scroll", () => {
    if (pending) return;
    pending = true;
    requestAnimationFrame(() => { pending = false; draw(); });
  });
  draw();
}
