// The odds tables as CSV (RFC 4180): one row per outcome of every expression (and
// of every element of a set), then one row per error the roll can end with.
// Numbers are written exactly, in their shortest round-trip form. Two million
// rows take seconds to write, so the text is made in slices of a few
// milliseconds, giving the page back in between.

const HEADER = ["expression", "element", "outcome", "probability", "at_least", "at_most"];
const SLICE_MS = 8;

function field(value) {
  const text = String(value);
  return /[",\r\n]/.test(text) ? `"${text.replaceAll('"', '""')}"` : text;
}

function line(fields) {
  return fields.map(field).join(",") + "\r\n";
}

const pause = () => new Promise((resolve) => setTimeout(resolve, 0));

// blocks: the worker's odds blocks; those without a distribution are left out.
// progress(done, total) is called between slices. Resolves to a Blob, made of a
// Blob per slice, so that no step encodes the whole text at once.
export async function oddsCsv(blocks, progress = () => {}) {
  const parts = [line(HEADER)];
  const total = blocks.reduce((sum, b) => sum + (b.elements ?? []).reduce((n, e) => n + e.values.length, 0), 0);
  let done = 0;
  let sliceStart = performance.now();
  for (const block of blocks) {
    if (!block.elements) continue;
    const expression = field(block.consumed);
    for (const [index, { values, probabilities, atLeast, atMost }] of block.elements.entries()) {
      const head = `${expression},${block.isSet ? index + 1 : ""},`;
      let text = "";
      for (let i = 0; i < values.length; i++) {
        text += `${head}${values[i]},${probabilities[i]},${atLeast[i]},${atMost[i]}\r\n`;
        if ((i & 255) === 255 && performance.now() - sliceStart > SLICE_MS) {
          parts.push(new Blob([text]));
          text = "";
          progress(done + i + 1, total);
          await pause();
          sliceStart = performance.now();
        }
      }
      parts.push(new Blob([text]));
      done += values.length;
    }
    for (const { message, probability } of block.errors) parts.push(line([block.consumed, "", `error: ${message}`, probability, "", ""]));
  }
  return new Blob(parts, { type: "text/csv" });
}

// Writes the CSV of `blocks` and hands it to the browser as a download, telling
// `status` how far it has got.
export async function downloadCsv(blocks, status) {
  const blob = await oddsCsv(blocks, (done, total) => {
    status.textContent = `Writing the CSV: ${Math.floor((100 * done) / total)} %`;
  });
  const link = document.createElement("a");
  link.href = URL.createObjectURL(blob);
  link.download = "pipwerk-odds.csv";
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 1000);
  status.textContent = "CSV written.";
}
