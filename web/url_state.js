// The page's state lives in the URL fragment: the expressions, each URL-encoded,
// separated by "&" ("#4d6k3&2d20kl1%2B5"), so a link reproduces the page.

// Characters that encodeURIComponent escapes but a fragment may hold as they are;
// leaving them readable keeps shared links legible ("{1d6, 2d6}" stays mostly plain).
const READABLE = { "%7B": "{", "%7D": "}", "%2C": ",", "%3D": "=", "%2F": "/" };

export function encodeExpression(expression) {
  return encodeURIComponent(expression).replace(/%7B|%7D|%2C|%3D|%2F/g, (escape) => READABLE[escape]);
}

// A malformed escape ("%zz", or a lone "%") is taken as typed rather than dropped.
function decodeExpression(part) {
  try {
    return decodeURIComponent(part);
  } catch {
    return part;
  }
}

// The expressions of a fragment such as location.hash; empty parts are skipped.
export function readFragment(hash) {
  const body = hash.startsWith("#") ? hash.slice(1) : hash;
  return body.split("&").filter((part) => part !== "").map(decodeExpression);
}

// The fragment for a list of expressions; blank ones are left out.
export function writeFragment(expressions) {
  const parts = expressions.filter((text) => text.trim() !== "").map(encodeExpression);
  return parts.length === 0 ? "" : "#" + parts.join("&");
}
