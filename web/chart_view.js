// The chart figure: every distribution of the odds blocks on one histogram, with
// a legend, drawn for the figure's width and drawn again when that changes.
import { drawHistogram, swatch } from "./histogram.js";
import { SERIES_LETTERS } from "./odds_view.js";
import { node } from "./html_node.js";

// One series per expression, or per element of a set, that has values.
function chartSeries(blocks) {
  const series = [];
  blocks.forEach((block, index) => {
    if (!block.elements) return;
    block.elements.forEach(({ outcomes }, element) => {
      if (outcomes.length === 0) return;
      const part = block.isSet ? ` element ${element + 1}` : "";
      series.push({ label: `${SERIES_LETTERS[index]}${part}: ${block.consumed}`, outcomes });
    });
  });
  return series;
}

export class ChartView {
  #figure;
  #series = [];
  #width = 0;

  constructor(figure) {
    this.#figure = figure;
    new ResizeObserver(() => {
      if (!figure.hidden && Math.abs(figure.clientWidth - this.#width) > 8) this.#draw();
    }).observe(figure);
  }

  hide() {
    this.#series = [];
    this.#figure.hidden = true;
  }

  show(blocks) {
    this.#series = chartSeries(blocks);
    this.#draw();
  }

  #draw() {
    const figure = this.#figure;
    const series = this.#series;
    figure.hidden = series.length === 0;
    if (series.length === 0) return;
    this.#width = figure.clientWidth;
    const description = "Histogram of " + series.map((s) => s.label).join("; ") + ". The tables below give every value.";
    const caption = node("figcaption", { class: "legend" });
    series.forEach(({ label }, position) => {
      const entry = node("span", { class: "legend-entry" });
      entry.append(swatch(position), label);
      caption.append(entry);
    });
    figure.replaceChildren(drawHistogram(series, description, this.#width), caption);
  }
}
