// A long table keeps only the rows in view (and a margin) in the document:
// laying out tens of thousands of rows would freeze the page for seconds. Rows
// have one fixed height (style.css), so spacers stand in for the rest.
import { node } from "../html_node.js";

const ROW_HEIGHT = 29;
const ROWS_AROUND = 24;

function spacer() {
  const row = node("tr", { class: "spacer", "aria-hidden": "true" });
  row.append(node("td", { colspan: 4 }));
  return row;
}

// Shows rows first to last - 1 of `count` through addRows(first, last) as the
// table scrolls, with spacers in place of the others.
export function showRowsInView(scroller, body, addRows, count) {
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
    addRows(first, last);
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
