// The errors the engine reports, carrying its message unchanged.

// An evaluation error ("division by zero", "dice count exceeds maximum (60),
// max is 50"), or odds that fail on every roll.
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
