// pipwerk without loading on import, for bundlers and pages that place the
// engine's WebAssembly module themselves: every function throws PipwerkError
// until init() has resolved, and is synchronous from then on.
import { loaded } from './src/instance.js';
import { load } from './src/load.js';

export { parse, roll, sample } from './src/roll.js';
export { compare, odds, Odds } from './src/odds.js';
export { trace } from './src/trace.js';
export { OddsTooLargeError, PipwerkError } from './src/errors.js';

// Loads the engine from `source`: a URL, the module's bytes, a compiled
// WebAssembly.Module or a fetch Response. Without one, pipwerk.wasm beside
// this file, where bundlers that follow new URL(..., import.meta.url) put
// it; then a loaded engine is kept.
export function init(source) {
  if (source === undefined) {
    if (loaded()) return Promise.resolve();
    return load(new URL('./pipwerk.wasm', import.meta.url));
  }
  return load(source);
}
