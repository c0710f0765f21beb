// pipwerk for Node: the engine's WebAssembly module is read from beside this
// file on import (a top-level await), so every function is synchronous.
// Browsers and bundlers take browser.js (package.json's "exports").
import { webcrypto } from 'node:crypto';
import { readFile } from 'node:fs/promises';
import { init as initFrom } from './init.js';
import { useRandomSource } from './src/seed.js';

export * from './init.js';

useRandomSource(webcrypto);

// As in init.js; a file: URL, which Node's fetch does not read, is read from disk.
export function init(source) {
  const url = typeof source === 'string' && source.startsWith('file:') ? new URL(source) : source;
  return initFrom(url instanceof URL && url.protocol === 'file:' ? readFile(url) : url);
}

await init(new URL('./pipwerk.wasm', import.meta.url));
