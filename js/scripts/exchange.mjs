// The ABI constants of src/wasm/exchange.hpp as a JavaScript module: each
// enum of the header becomes a frozen object of the same name in capitals,
// its members without the k and in camel case (kSummaryStart: summaryStart).
// build.mjs writes the module to js/src/exchange.js; a test checks that the
// file there is what the header gives now.
import { readFileSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '..', '..');
export const header = join(root, 'src', 'wasm', 'exchange.hpp');
export const target = join(root, 'js', 'src', 'exchange.js');

// Each enum's members and values: a member is given (= N) or one more than the one before.
export function enums(text) {
  const found = [];
  const code = text.replace(/\/\/.*$/gm, '');
  for (const [, name, body] of code.matchAll(/\benum\s+(\w+)\s*:\s*std::u?int\d+_t\s*\{([^}]*)\}/g)) {
    let next = 0;
    const members = [];
    for (const item of body.split(',').map((s) => s.trim()).filter(Boolean)) {
      const m = /^k(\w+?)(?:\s*=\s*(\d+))?$/.exec(item);
      if (m === null) throw new Error(`${header}: enum ${name} has a member that is not kName or kName = N: ${item}`);
      const value = m[2] === undefined ? next : Number(m[2]);
      members.push([m[1][0].toLowerCase() + m[1].slice(1), value]);
      next = value + 1;
    }
    found.push([name, members]);
  }
  if (found.length === 0) throw new Error(`${header}: no enums found`);
  return found;
}

export function moduleText(text) {
  const lines = ['// Written by js/scripts/build.mjs from src/wasm/exchange.hpp: edit that file, not this one.'];
  for (const [name, members] of enums(text)) {
    const fields = members.map(([member, value]) => `${member}: ${value}`).join(', ');
    lines.push(`export const ${name.toUpperCase()} = Object.freeze({ ${fields} });`);
  }
  return `${lines.join('\n')}\n`;
}

export function generated() {
  return moduleText(readFileSync(header, 'utf8'));
}
