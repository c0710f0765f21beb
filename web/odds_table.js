// The table of one distribution: a row per value with P(=), P(≥) and P(≤), then a
// row per error the roll can end with. A long table keeps only the rows in view
// in the document (on_demand/row_window.js).
import { formatPercent, formatValue } from "./number_format.js";
import { node } from "./html_node.js";

export const ALL_ROWS_UP_TO = 500;

export function probabilityCell(p) {
  return node("td", { "data-p": p, title: String(p) }, formatPercent(p));
}

// element: { values, probabilities, atLeast, atMost } (Float64Arrays);
// rowWindow: on_demand/row_window.js, loaded when a table is longer than ALL_ROWS_UP_TO.
export function oddsTable(element, errors, caption, rowWindow) {
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
    rowWindow?.showRowsInView(scroller, body, (first, last) => addRows(body, element, first, last), count);
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
    row.append(node("th", { scope: "row", title: formatValue(values[i]) }, formatValue(values[i])),
      probabilityCell(probabilities[i]), probabilityCell(atLeast[i]), probabilityCell(atMost[i]));
  }
}
