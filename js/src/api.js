// The package's public names, the same from every entry point.
export { parse, roll } from './roll.js';
export { sample } from './sample.js';
export { compare, odds, Odds } from './odds.js';
export { trace } from './trace.js';
export { OddsTooLargeError, PipwerkError } from './errors.js';
