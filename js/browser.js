// pipwerk for browsers and bundlers: init.js, with the engine loaded on
// import (a top-level await) from pipwerk.wasm beside this file.
import { init } from './init.js';

export * from './init.js';

await init();
