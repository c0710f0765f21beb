// The chart: every distribution of the odds blocks on one histogram, as P(=),
// P(≥) or P(≤), with a legend and a note on what it leaves out. By default it
// shows the body of each law, where all but 0.05 % at each end of its
// successful rolls land; "Show all values" widens it to every value. At most
// eight series are drawn; with more, a list chooses which.
import { columnText, drawHistogram, swatch, SERIES_STYLES, VIEW_NAMES } from "./histogram.js";
import { formatValue } from "./number_format.js";
import { SERIES_LETTERS } from "./odds_view.js";
import { node } from "./html_node.js";

// One series per expression, or per element of a set, with a value to place.
function chartSeries(blocks) {
  const series = [];
  blocks.forEach((block, index) => {
    block.elements?.forEach((element, position) => {
      if (element.body === null) return;
      const part = block.isSet ? ` element ${position + 1}` : "";
      series.push({ label: `${SERIES_LETTERS[index]}${part}: ${block.consumed}`, element });
    });
  });
  return series;
}

function finiteExtent({ values }) {
  let first = 0, last = values.length - 1;
  while (!Number.isFinite(values[first])) first++;
  while (!Number.isFinite(values[last])) last--;
  return [values[first], values[last]];
}

function union(ranges) {
  return [Math.min(...ranges.map((r) => r[0])), Math.max(...ranges.map((r) => r[1]))];
}

export class ChartView {
  #area;
  #figure;
  #showAll;
  #choice;
  #series = [];
  #chosen = [];
  #width = 0;

  // area: holds the controls and the figure; the view's radio buttons are named "view".
  constructor(area) {
    this.#area = area;
    this.#figure = area.querySelector("figure");
    this.#showAll = area.querySelector("#show-all");
    this.#choice = area.querySelector("#series-choice");
    this.#showAll.addEventListener("change", () => this.#draw());
    for (const radio of area.querySelectorAll("input[name='view']")) radio.addEventListener("change", () => this.#draw());
    new ResizeObserver(() => {
      if (!area.hidden && Math.abs(this.#figure.clientWidth - this.#width) > 8) this.#draw();
    }).observe(this.#figure);
  }

  hide() {
    this.#series = [];
    this.#area.hidden = true;
  }

  async show(blocks) {
    this.#series = chartSeries(blocks);
    this.#chosen = this.#series.slice(0, SERIES_STYLES.length);
    this.#choice.hidden = this.#series.length <= SERIES_STYLES.length;
    this.#draw();
    if (this.#choice.hidden) return;
    // Loaded for a set of more than eight: the first load stays small.
    const series = this.#series;
    const { renderSeriesChoice } = await import("./on_demand/series_choice.js");
    if (series !== this.#series) return;
    renderSeriesChoice(this.#choice, series.map((s) => s.label), SERIES_STYLES.length, (chosen) => {
      this.#chosen = chosen.map((index) => series[index]);
      this.#draw();
    });
  }

  #draw() {
    const series = this.#chosen;
    this.#area.hidden = this.#series.length === 0;
    if (series.length === 0) {
      this.#figure.replaceChildren(node("p", { class: "chart-note" }, "Tick a series above to draw it."));
      return;
    }
    this.#width = this.#figure.clientWidth;
    const view = this.#area.querySelector("input[name='view']:checked").value;
    const full = union(series.map((s) => finiteExtent(s.element)));
    const body = union(series.map((s) => s.element.body));
    const cut = body[0] > full[0] || body[1] < full[1];
    const toggle = this.#showAll.closest("label");
    toggle.hidden = !cut;
    toggle.lastChild.textContent = ` Show all values (${full.map(formatValue).join(" to ")})`;
    const range = cut && !this.#showAll.checked ? body : full;
    const shown = `from ${formatValue(range[0])} to ${formatValue(range[1])}`;
    const description = `Chart of ${VIEW_NAMES[view]} ${shown} for ${series.map((s) => s.label).join("; ")}. The tables below give every value.`;
    const { svg, layout, bars } = drawHistogram(series, { range, view, description, width: this.#width });
    const caption = node("figcaption", { class: "legend" });
    series.forEach(({ label }, position) => {
      const entry = node("span", { class: "legend-entry" });
      entry.append(swatch(position), node("span", {}, label));
      caption.append(entry);
    });
    const notes = [];
    if (range !== full) notes.push(`Shown: values ${shown}, the middle 99.9 % of each series.`);
    if (layout.binWidth !== null) {
      const what = { equal: "adds up the chances of", atLeast: "is P(≥) of the lowest of", atMost: "is P(≤) of the highest of" }[view];
      const first = columnText(layout.columns[0], layout.integers);
      notes.push(`Each ${bars ? "bar" : "point"} ${what} ${formatValue(layout.binWidth)} values (the first: ${first}).`);
    }
    if (notes.length > 0) notes.push("The tables and the CSV give every value.");
    const note = node("p", { class: "chart-note" }, notes.join(" "));
    this.#figure.replaceChildren(svg, caption, ...(notes.length > 0 ? [note] : []));
  }
}
