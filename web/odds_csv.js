// The odds tables as CSV (RFC 4180): one row per outcome of every expression (and
// of every element of a set), then one row per error the roll can end with.
// Probabilities are written exactly, in their shortest round-trip form.

const HEADER = ["expression", "element", "outcome", "probability", "at_least", "at_most"];

function field(value) {
  const text = String(value);
  return /[",\r\n]/.test(text) ? `"${text.replaceAll('"', '""')}"` : text;
}

function line(fields) {
  return fields.map(field).join(",") + "\r\n";
}

// blocks: the worker's odds blocks; those without a distribution are left out.
export function oddsCsv(blocks) {
  let text = line(HEADER);
  for (const block of blocks) {
    if (!block.elements) continue;
    const expression = block.consumed;
    block.elements.forEach(({ outcomes }, index) => {
      const element = block.isSet ? index + 1 : "";
      for (const { value, probability, atLeast, atMost } of outcomes) {
        text += line([expression, element, value, probability, atLeast, atMost]);
      }
    });
    for (const { message, probability } of block.errors) {
      text += line([expression, "", `error: ${message}`, probability, "", ""]);
    }
  }
  return text;
}
