// A view loaded on demand brings its own styles: a <link> added once, and a
// promise that settles when the sheet has loaded (or failed: the view works
// unstyled rather than not at all).
import { node } from "./html_node.js";

const sheets = new Map();

export function styleSheet(url) {
  const href = String(url);
  if (!sheets.has(href)) {
    sheets.set(href, new Promise((resolve) => {
      const link = node("link", { rel: "stylesheet", href });
      link.onload = link.onerror = resolve;
      document.head.append(link);
    }));
  }
  return sheets.get(href);
}
