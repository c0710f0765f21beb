// The page's state lives in the URL fragment, one box after another (the
// grammar is in docs/web.md):
//   #4d6k3@1234&6%234d6k3~highest
// Each box is its expression, URL-encoded, then "@" and the seed of its last
// roll while the box still holds what was rolled, then "~" and an across-the-set
// choice. A link therefore reproduces the page, rolls and all.

// Characters that encodeURIComponent escapes but a fragment may hold as they are;
// leaving them readable keeps shared links legible ("{1d6, 2d6}" stays mostly plain).
const READABLE = { "%7B": "{", "%7D": "}", "%2C": ",", "%3D": "=", "%2F": "/" };
const MAX_SEED = 2n ** 64n - 1n;

// "~" separates the across choice, so an expression's own "~" is escaped too.
export function encodeExpression(expression) {
  return encodeURIComponent(expression)
    .replace(/%7B|%7D|%2C|%3D|%2F/g, (escape) => READABLE[escape])
    .replaceAll("~", "%7E");
}

// A malformed escape ("%zz", or a lone "%") is taken as typed rather than dropped.
function decodeText(part) {
  try {
    return decodeURIComponent(part);
  } catch {
    return part;
  }
}

// box := expression ["@" seed] ["~" across]; an "@" not followed by a seed in
// range belongs to the expression.
function readBox(part) {
  const tilde = part.indexOf("~");
  const across = tilde < 0 ? null : decodeText(part.slice(tilde + 1));
  let text = tilde < 0 ? part : part.slice(0, tilde);
  let seed = null;
  const seeded = /^(.*)@(\d{1,20})$/s.exec(text);
  if (seeded && BigInt(seeded[2]) <= MAX_SEED) {
    text = seeded[1];
    seed = BigInt(seeded[2]);
  }
  return { expression: decodeText(text), seed, across };
}

// The boxes of a fragment such as location.hash: [{ expression, seed, across }],
// seed a BigInt or null, across a string or null. Empty parts are skipped.
export function readFragment(hash) {
  const body = hash.startsWith("#") ? hash.slice(1) : hash;
  return body.split("&").filter((part) => part !== "").map(readBox);
}

// The fragment for a list of boxes (as readFragment gives them; seed and across
// may be left out); blank expressions are left out.
export function writeFragment(boxes) {
  const parts = boxes.filter(({ expression }) => expression.trim() !== "").map(({ expression, seed, across }) =>
    encodeExpression(expression) + (seed == null ? "" : `@${seed}`) + (across == null ? "" : `~${encodeExpression(across)}`));
  return parts.length === 0 ? "" : "#" + parts.join("&");
}
