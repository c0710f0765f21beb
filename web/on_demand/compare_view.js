// Two expressions side by side: the chances that A beats, ties or loses to B,
// as figures and as one bar whose parts are labelled in text.
import { formatPercent } from "../number_format.js";
import { node } from "../html_node.js";
import { styleSheet } from "../style_sheet.js";

await styleSheet(new URL("./compare_view.css", import.meta.url));

export function renderComparison(container, comparison, [a, b]) {
  container.replaceChildren();
  container.hidden = comparison === null;
  if (comparison === null) return;
  const heading = node("h3", {}, "A against B");
  const names = node("p", { class: "quiet" });
  names.append("A is ", node("code", {}, a), ", B is ", node("code", {}, b), ", rolled independently.");
  if (comparison.message) {
    container.append(heading, names, node("p", { class: "message error", role: "alert" }, comparison.message));
    return;
  }
  const rows = [
    ["greater", "P(A > B)", comparison.greater],
    ["equal", "P(A = B)", comparison.equal],
    ["less", "P(A < B)", comparison.less],
  ];
  if (comparison.failure > 0) rows.push(["failure", "P(either fails)", comparison.failure]);
  if (comparison.unordered > 0) rows.push(["unordered", "P(unordered)", comparison.unordered]);
  const list = node("dl", { class: "compare-figures" });
  const bar = node("div", { class: "compare-bar", "aria-hidden": "true" });
  for (const [key, label, p] of rows) {
    const item = node("div", { "data-compare": key });
    item.append(node("dt", {}, label), node("dd", { "data-p": p, title: String(p) }, formatPercent(p)));
    list.append(item);
    if (p > 0) {
      const part = node("span", { class: `compare-part compare-${key}`, style: `flex-grow: ${p}` });
      if (p >= 0.08) part.textContent = label.replace("P(", "").replace(")", "");
      bar.append(part);
    }
  }
  container.append(heading, names, list, bar);
}
