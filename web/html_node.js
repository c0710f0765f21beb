// Every view builds its HTML elements through this one function.
export function node(tag, attributes = {}, text = null) {
  const made = document.createElement(tag);
  for (const [key, value] of Object.entries(attributes)) made.setAttribute(key, String(value));
  if (text !== null) made.textContent = text;
  return made;
}
