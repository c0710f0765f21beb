// The package's own errors; docs/web.md's table says which error is thrown when.

// An evaluation error with the engine's message unchanged ("division by zero",
// "dice count exceeds maximum (60), max is 50"), odds that fail on every roll,
// statistics of nothing, memory run out, or the engine not loaded.
export class PipwerkError extends Error {
  constructor(message, options) {
    super(message, options);
    this.name = 'PipwerkError';
  }
}

// Exact odds refused by the work budget ("too large for exact odds: ...").
export class OddsTooLargeError extends PipwerkError {
  constructor(message, options) {
    super(message, options);
    this.name = 'OddsTooLargeError';
  }
}

// What the package throws when memory runs out, in the engine or in
// JavaScript: a PipwerkError that says so, with the platform's error as its cause.
export function outOfMemory(what, cause) {
  return new PipwerkError(`out of memory: ${what}`, { cause });
}
