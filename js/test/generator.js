// Dice expressions drawn from a seeded generator: every construct of the
// language, out-of-range counts and faces, deep nesting, unparsed tails,
// Unicode text and whitespace, so results and errors of both builds can be
// compared on the same inputs.

// mulberry32: small, seeded, the same sequence on every run.
export function randomSource(seed) {
  let state = seed >>> 0;
  const next = () => {
    state = (state + 0x6d2b79f5) >>> 0;
    let t = state;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
  const int = (lo, hi) => lo + Math.floor(next() * (hi - lo + 1));
  const pick = (items) => items[int(0, items.length - 1)];
  const chance = (p) => next() < p;
  return { next, int, pick, chance };
}

const TAILS = ['foo', ' x', ')', '}', 'd', 'k', '+', ' ünï', '🎲', '😀 2d6', 'ß', '\u00e9', '#', ',', '..5', 'e5', ' //'];
const SPACES = ['', ' ', '  ', '\t', '\u00a0', '\u3000', '\u2003'];
const COMPARISONS = ['>', '>=', '<', '<=', '!='];

export function expressionGenerator(seed, { small = false } = {}) {
  const r = randomSource(seed);
  const space = () => (r.chance(0.8) ? r.pick(['', ' ']) : r.pick(SPACES));

  const count = () => (small ? r.int(1, 4) : r.pick([r.int(0, 5), r.int(1, 12), r.int(45, 55), r.int(-2, 0), 2 ** 31 + r.int(0, 3)]));
  const faces = () => (small ? r.pick([2, 4, 6, 8, 10]) : r.pick([r.int(0, 3), 6, 20, 100, r.int(990, 1010), r.int(1, 30)]));

  function number() {
    switch (r.int(0, 6)) {
      case 0: return String(r.int(0, 20));
      case 1: return String(r.int(0, 1e6));
      case 2: return `${r.int(0, 99)}.${r.int(0, 9999)}`;
      case 3: return `${r.int(0, 200)}%`;
      case 4: return small ? String(r.int(1, 3)) : r.pick(['9223372036854775807', '9223372036854775808', '18446744073709551616', '0.1', '1.' + '3'.repeat(r.int(10, 40))]);
      case 5: return small ? '0.5' : `${r.int(0, 9)}.${String(r.int(0, 1e9)).padStart(9, '0')}${r.int(0, 1e9)}`;
      default: return String(r.int(1, 6));
    }
  }

  function dice() {
    let text = (r.chance(0.8) ? String(count()) : '') + 'd' + faces();
    if (r.chance(0.2)) text += 'b' + r.int(small ? 2 : 0, small ? 10 : 1001);
    if (r.chance(0.35)) text += (r.chance(0.6) ? 'k' : 'kl') + r.pick([r.int(0, 6), r.int(1, 3), 2 ** 32 + 1]);
    if (r.chance(0.25)) text += r.pick(COMPARISONS) + r.int(0, small ? 10 : 1000);
    return text;
  }

  function term(depth) {
    if (depth > 4) return r.chance(0.5) ? dice() : number();
    switch (r.int(0, 9)) {
      case 0: case 1: case 2: return dice();
      case 3: return number();
      case 4: return '(' + space() + expr(depth + 1) + space() + ')';
      case 5: return '-' + term(depth + 1);
      case 6: return (small ? r.int(1, 3) : r.pick([r.int(0, 12), 3])) + '#' + term(depth + 1);
      case 7: {
        const items = Array.from({ length: r.int(small ? 1 : 0, small ? 3 : 5) }, () => expr(depth + 2));
        return '{' + items.join(',' + space()) + '}';
      }
      default: return dice();
    }
  }

  function expr(depth = 0) {
    let text = term(depth);
    const terms = r.int(0, small ? 2 : 3);
    for (let i = 0; i < terms; i++) text += space() + r.pick(['+', '-', '*', '/']) + space() + term(depth + 1);
    return text;
  }

  // Brackets, signs or sets nested around the parser's limit.
  function deep() {
    const depth = r.pick([r.int(1, 40), r.int(250, 260)]);
    const kind = r.int(0, 2);
    if (kind === 0) return '('.repeat(depth) + dice() + ')'.repeat(depth);
    if (kind === 1) return '-'.repeat(depth) + dice();
    return '{'.repeat(depth) + '1d6' + '}'.repeat(depth);
  }

  return function next() {
    let text = small ? expr() : r.chance(0.02) ? deep() : expr();
    if (!small) {
      if (r.chance(0.15)) text = r.pick(SPACES) + text;
      if (r.chance(0.25)) text += r.pick(['', ' ']) + r.pick(TAILS);
      if (r.chance(0.03)) text = r.pick(TAILS) + text;
    }
    return text;
  };
}
