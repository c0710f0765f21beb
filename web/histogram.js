// The distributions of one or more expressions on one SVG chart: bars for one,
// grouped bars for a few short ones, lines with markers for several long ones.
// Each series has its own colour and also its own fill pattern or dash, so that
// colour is never the only way to tell them apart.
import { formatPercent, formatValue } from "./number_format.js";

const SVG = "http://www.w3.org/2000/svg";
const MARGIN = { top: 14, right: 14, bottom: 34, left: 52 };
const MAX_GROUPED_BARS = 160;
const MAX_BARS = 300;

export const SERIES_STYLES = [
  { colour: "#2f5bd3", fill: "url(#fill-0)", dash: "" },
  { colour: "#c2410c", fill: "url(#fill-1)", dash: "7 4" },
  { colour: "#0f766e", fill: "url(#fill-2)", dash: "2 3" },
  { colour: "#7e22ce", fill: "url(#fill-3)", dash: "10 3 2 3" },
];

function element(name, attributes = {}, parent = null) {
  const node = document.createElementNS(SVG, name);
  for (const [key, value] of Object.entries(attributes)) node.setAttribute(key, String(value));
  if (parent) parent.appendChild(node);
  return node;
}

// Fill patterns: solid, diagonal hatch, dots, cross-hatch; defined once in the
// document for the chart and the legend swatches.
function ensurePatterns() {
  if (document.getElementById("fill-0")) return;
  const holder = element("svg", { width: 0, height: 0, "aria-hidden": "true", class: "pattern-holder" });
  const defs = element("defs", {}, holder);
  document.body.appendChild(holder);
  SERIES_STYLES.forEach(({ colour }, index) => {
    const pattern = element("pattern", { id: `fill-${index}`, width: 6, height: 6, patternUnits: "userSpaceOnUse" }, defs);
    element("rect", { width: 6, height: 6, fill: colour, "fill-opacity": index === 0 ? 0.85 : 0.25 }, pattern);
    const ink = { stroke: colour, "stroke-width": 1.4 };
    if (index === 1) element("path", { d: "M0,6 L6,0 M-1,1 L1,-1 M5,7 L7,5", ...ink }, pattern);
    if (index === 2) element("circle", { cx: 3, cy: 3, r: 1.4, fill: colour }, pattern);
    if (index === 3) element("path", { d: "M0,0 L6,6 M6,0 L0,6", ...ink }, pattern);
  });
}

// Round tick steps (1, 2 or 5 times a power of ten) giving at most `count` ticks.
export function niceStep(span, count) {
  const raw = span / Math.max(1, count);
  const power = 10 ** Math.floor(Math.log10(raw));
  for (const factor of [1, 2, 5, 10]) if (factor * power >= raw) return factor * power;
  return 10 * power;
}

// The slots (indices into the sorted values) to label on the x axis, at most
// `room` of them: round multiples of a 1-2-5 step when the values hold enough of
// them, else every k-th value.
export function axisLabelSlots(values, room) {
  if (values.length <= room) return values.map((_, index) => index);
  const step = niceStep(values.at(-1) - values[0], room - 1);
  const round = [];
  values.forEach((value, index) => {
    if (Math.abs(value / step - Math.round(value / step)) < 1e-9) round.push(index);
  });
  if (round.length >= 2 && round.length <= room) return round;
  const every = Math.ceil(values.length / room);
  return values.map((_, index) => index).filter((index) => index % every === 0);
}

// A legend swatch showing a series' fill and line, for the caption under the chart.
export function swatch(index) {
  const svg = element("svg", { width: 28, height: 14, viewBox: "0 0 28 14", "aria-hidden": "true", class: "swatch" });
  ensurePatterns();
  const style = SERIES_STYLES[index % SERIES_STYLES.length];
  element("rect", { x: 1, y: 1, width: 26, height: 12, fill: style.fill, stroke: style.colour, "stroke-dasharray": style.dash }, svg);
  return svg;
}

// series: [{ label, outcomes: [{ value, probability }] }]; returns an <svg> drawn
// for `width` CSS pixels, so that its text keeps its size on a phone.
export function drawHistogram(series, description, width = 720) {
  const WIDTH = Math.max(280, Math.round(width));
  const HEIGHT = Math.round(Math.min(300, Math.max(200, WIDTH * 0.4)));
  const values = [...new Set(series.flatMap((s) => s.outcomes.map((o) => o.value)))].sort((x, y) => x - y);
  const slot = new Map(values.map((value, index) => [value, index]));
  const top = Math.max(...series.flatMap((s) => s.outcomes.map((o) => o.probability)), 1e-9);
  const plotWidth = WIDTH - MARGIN.left - MARGIN.right;
  const plotHeight = HEIGHT - MARGIN.top - MARGIN.bottom;
  const slotWidth = plotWidth / values.length;
  const yStep = niceStep(top, 5);
  const yMax = Math.ceil(top / yStep - 1e-9) * yStep;
  const x = (index) => MARGIN.left + index * slotWidth;
  const y = (p) => MARGIN.top + plotHeight * (1 - p / yMax);

  const svg = element("svg", { viewBox: `0 0 ${WIDTH} ${HEIGHT}`, role: "img", "aria-label": description, class: "histogram" });
  ensurePatterns();

  const grid = element("g", { class: "grid" }, svg);
  for (let tick = 0; tick <= yMax + yStep / 2; tick += yStep) {
    element("line", { x1: MARGIN.left, x2: WIDTH - MARGIN.right, y1: y(tick), y2: y(tick) }, grid);
    const label = element("text", { x: MARGIN.left - 6, y: y(tick) + 4, "text-anchor": "end" }, grid);
    label.textContent = formatPercent(tick).replace(".00 ", " ");
  }
  const axis = element("g", { class: "axis" }, svg);
  element("line", { x1: MARGIN.left, x2: WIDTH - MARGIN.right, y1: y(0), y2: y(0) }, axis);
  for (const index of axisLabelSlots(values, Math.max(2, Math.floor(plotWidth / 48)))) {
    const label = element("text", { x: x(index) + slotWidth / 2, y: HEIGHT - MARGIN.bottom + 18, "text-anchor": "middle" }, axis);
    label.textContent = formatValue(values[index]);
  }

  const grouped = series.length === 1 ? values.length <= MAX_BARS : values.length * series.length <= MAX_GROUPED_BARS;
  series.forEach(({ label, outcomes }, index) => {
    const style = SERIES_STYLES[index % SERIES_STYLES.length];
    const group = element("g", { class: "series", "data-series": index }, svg);
    if (grouped) {
      const gap = slotWidth > 6 ? slotWidth * 0.15 : 0;
      const barWidth = (slotWidth - gap) / series.length;
      for (const { value, probability } of outcomes) {
        const left = x(slot.get(value)) + gap / 2 + index * barWidth;
        const bar = element("rect", {
          x: left, y: y(probability), width: Math.max(barWidth, 0.5), height: y(0) - y(probability),
          fill: style.fill, stroke: barWidth > 4 ? style.colour : "none", "stroke-width": 1,
        }, group);
        element("title", {}, bar).textContent = `${label}: ${formatValue(value)}, ${formatPercent(probability)}`;
      }
    } else {
      const points = outcomes.map(({ value, probability }) => `${x(slot.get(value)) + slotWidth / 2},${y(probability)}`);
      if (series.length === 1) {
        // One long distribution: the area under its outline.
        const first = x(slot.get(outcomes[0].value)) + slotWidth / 2;
        const last = x(slot.get(outcomes.at(-1).value)) + slotWidth / 2;
        element("path", { d: `M${first},${y(0)} L${points.join(" L")} L${last},${y(0)} Z`, fill: style.fill, stroke: "none" }, group);
      }
      element("polyline", {
        points: points.join(" "), fill: "none", stroke: style.colour, "stroke-width": 2,
        "stroke-dasharray": style.dash, "stroke-linejoin": "round",
      }, group);
    }
  });
  return svg;
}
