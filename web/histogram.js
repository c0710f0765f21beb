// The distributions of one or more expressions on one SVG chart with a numeric x
// axis: bars for one series, grouped bars for a few short ones, lines for
// several long ones. Each of the eight series styles has its own colour, fill
// pattern and dash, so that colour is never the only way to tell series apart.
import { formatPercent, formatValue } from "./number_format.js";
import { axisTicks, chartColumns, niceStep } from "./chart_layout.js";

const SVG = "http://www.w3.org/2000/svg";
const MARGIN = { top: 22, right: 14, bottom: 34, left: 52 };
const MAX_GROUPED_BARS = 160;
const COLUMN_PIXELS = 3;

export const SERIES_STYLES = [
  { colour: "#2f5bd3", dash: "", ink: null },
  { colour: "#c2410c", dash: "8 4", ink: "M0,6 L6,0 M-1,1 L1,-1 M5,7 L7,5" },
  { colour: "#0f766e", dash: "2 3", ink: "dot" },
  { colour: "#7e22ce", dash: "10 3 2 3", ink: "M0,0 L6,6 M6,0 L0,6" },
  { colour: "#a16207", dash: "4 2", ink: "M0,1.5 L6,1.5 M0,4.5 L6,4.5" },
  { colour: "#be185d", dash: "12 3 2 3 2 3", ink: "M1.5,0 L1.5,6 M4.5,0 L4.5,6" },
  { colour: "#4d7c0f", dash: "1 5", ink: "M0,0 L6,6 M-1,5 L1,7 M5,-1 L7,1" },
  { colour: "#334155", dash: "16 4 4 4", ink: "M3,0 L3,6 M0,3 L6,3" },
];

export const VIEW_NAMES = { equal: "P(=)", atLeast: "P(≥)", atMost: "P(≤)" };

function element(name, attributes = {}, parent = null) {
  const made = document.createElementNS(SVG, name);
  for (const [key, value] of Object.entries(attributes)) made.setAttribute(key, String(value));
  if (parent) parent.appendChild(made);
  return made;
}

// The fill patterns, defined once in the document for the chart and the legend:
// solid, hatches, dots and grids, each over a tint of the series' colour.
function ensurePatterns() {
  if (document.getElementById("fill-0")) return;
  const holder = element("svg", { width: 0, height: 0, "aria-hidden": "true", class: "pattern-holder" });
  const defs = element("defs", {}, holder);
  document.body.appendChild(holder);
  SERIES_STYLES.forEach(({ colour, ink }, index) => {
    const pattern = element("pattern", { id: `fill-${index}`, width: 6, height: 6, patternUnits: "userSpaceOnUse" }, defs);
    element("rect", { width: 6, height: 6, fill: colour, "fill-opacity": ink === null ? 0.85 : 0.22 }, pattern);
    if (ink === "dot") element("circle", { cx: 3, cy: 3, r: 1.4, fill: colour }, pattern);
    else if (ink !== null) element("path", { d: ink, stroke: colour, "stroke-width": 1.4 }, pattern);
  });
}

function fill(index) {
  return `url(#fill-${index % SERIES_STYLES.length})`;
}

// A legend swatch showing a series' fill and its line.
export function swatch(index) {
  ensurePatterns();
  const { colour, dash } = SERIES_STYLES[index % SERIES_STYLES.length];
  const svg = element("svg", { width: 34, height: 16, viewBox: "0 0 34 16", "aria-hidden": "true", class: "swatch" });
  element("rect", { x: 1, y: 1, width: 32, height: 9, fill: fill(index), stroke: colour }, svg);
  element("line", { x1: 1, x2: 33, y1: 13.5, y2: 13.5, stroke: colour, "stroke-width": 2, "stroke-dasharray": dash }, svg);
  return svg;
}

// The text of a column: its value, or the values of its bin.
export function columnText({ first, last }, integers) {
  if (first === last) return formatValue(first);
  return integers ? `${formatValue(first)} to ${formatValue(last)}` : `${formatValue(first)} to under ${formatValue(last)}`;
}

// series: [{ label, element }], element as chartColumns takes it; range: the
// values to show; view: "equal", "atLeast" or "atMost". Returns the <svg>, drawn
// for `width` CSS pixels so that its text keeps its size on a phone, the layout
// it drew, and whether it drew bars (else lines).
export function drawHistogram(series, { range, view, description, width = 720 }) {
  const WIDTH = Math.max(280, Math.round(width));
  const HEIGHT = Math.round(Math.min(300, Math.max(200, WIDTH * 0.4)));
  const plotWidth = WIDTH - MARGIN.left - MARGIN.right;
  const plotHeight = HEIGHT - MARGIN.top - MARGIN.bottom;
  const layout = chartColumns(series.map((s) => s.element), range, view, Math.floor(plotWidth / COLUMN_PIXELS));
  const { domain, columns, heights, integers } = layout;
  let top = 1e-9;
  for (const column of heights) for (const h of column) if (h > top) top = h;
  const yStep = niceStep(top, 5);
  const yMax = Math.ceil(top / yStep - 1e-9) * yStep;
  const x = (value) => MARGIN.left + ((value - domain[0]) / (domain[1] - domain[0])) * plotWidth;
  const y = (p) => MARGIN.top + plotHeight * (1 - p / yMax);

  const svg = element("svg", { viewBox: `0 0 ${WIDTH} ${HEIGHT}`, role: "img", "aria-label": description, class: "histogram" });
  ensurePatterns();
  const grid = element("g", { class: "grid" }, svg);
  for (let tick = 0; tick <= yMax + yStep / 2; tick += yStep) {
    element("line", { x1: MARGIN.left, x2: WIDTH - MARGIN.right, y1: y(tick), y2: y(tick) }, grid);
    element("text", { x: MARGIN.left - 6, y: y(tick) + 4, "text-anchor": "end" }, grid).textContent = formatPercent(tick).replace(".00 ", " ");
  }
  const name = view === "equal" && layout.binWidth !== null ? "P(range)" : VIEW_NAMES[view];
  element("text", { x: 2, y: 12, class: "view-name" }, grid).textContent = name;
  const axis = element("g", { class: "axis" }, svg);
  element("line", { x1: MARGIN.left, x2: WIDTH - MARGIN.right, y1: y(0), y2: y(0) }, axis);
  for (const tick of axisTicks(domain[0], domain[1], Math.max(2, Math.floor(plotWidth / 64)), integers)) {
    const at = x(tick);
    element("line", { x1: at, x2: at, y1: y(0), y2: y(0) + 4 }, axis);
    element("text", { x: at, y: HEIGHT - MARGIN.bottom + 18, "text-anchor": "middle" }, axis).textContent = formatValue(tick);
  }

  const columnWidth = plotWidth / columns.length;
  const grouped = series.length === 1 || (columns.length * series.length <= MAX_GROUPED_BARS && columnWidth / series.length >= 2);
  series.forEach(({ label }, index) => {
    const { colour, dash } = SERIES_STYLES[index % SERIES_STYLES.length];
    const group = element("g", { class: "series", "data-series": index }, svg);
    const column = heights[index];
    if (grouped) {
      for (let c = 0; c < columns.length; c++) {
        if (column[c] === 0) continue;
        const left = x(columns[c].left), span = x(columns[c].right) - left;
        const gap = span > 6 && layout.binWidth === null ? span * 0.15 : 0;
        const barWidth = (span - gap) / series.length;
        const bar = element("rect", {
          x: left + gap / 2 + index * barWidth, y: y(column[c]), width: Math.max(barWidth, 0.75), height: y(0) - y(column[c]),
          fill: fill(index), stroke: barWidth > 4 ? colour : "none", "stroke-width": 1, "data-p": column[c],
        }, group);
        element("title", {}, bar).textContent = `${label}: ${columnText(columns[c], integers)}, ${formatPercent(column[c])}`;
      }
    } else {
      const points = columns.map((c, i) => `${((x(c.left) + x(c.right)) / 2).toFixed(1)},${y(column[i]).toFixed(1)}`);
      element("polyline", {
        points: points.join(" "), fill: "none", stroke: colour, "stroke-width": 2,
        "stroke-dasharray": dash, "stroke-linejoin": "round",
      }, group);
    }
  });
  return { svg, layout, bars: grouped };
}
