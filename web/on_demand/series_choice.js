// The choice of which series the chart draws when there are more than it can
// tell apart: a checkbox per series, at most `limit` ticked; the first ones to
// begin with.
import { node } from "../html_node.js";

// onChange(indices) gets the ticked series' indices, in order.
export function renderSeriesChoice(container, labels, limit, onChange) {
  const set = node("fieldset", { class: "series-choice" });
  set.append(node("legend", {}, `Series to draw (at most ${limit} of ${labels.length})`));
  const boxes = labels.map((label, index) => {
    const item = node("label");
    const box = node("input", { type: "checkbox", value: index });
    box.checked = index < limit;
    item.append(box, ` ${label}`);
    set.append(item);
    return box;
  });
  const ticked = () => boxes.filter((box) => box.checked).map((box) => Number(box.value));
  const limitReached = () => {
    const full = ticked().length >= limit;
    for (const box of boxes) box.disabled = full && !box.checked;
  };
  set.addEventListener("change", () => {
    limitReached();
    onChange(ticked());
  });
  limitReached();
  container.replaceChildren(set);
}
