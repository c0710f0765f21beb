// The native command-line roller, the reference the WebAssembly build is
// checked against: PIPWERK_CLI, else the Release build's (build/dev), else
// `pipwerk` on PATH.
import { spawnSync } from 'node:child_process';
import { existsSync } from 'node:fs';
import { fileURLToPath } from 'node:url';

function findCli() {
  if (process.env.PIPWERK_CLI) return process.env.PIPWERK_CLI;
  const built = fileURLToPath(new URL('../../build/dev/src/cli/pipwerk', import.meta.url));
  if (existsSync(built)) return built;
  return 'pipwerk';
}

export const cli = findCli();

// One JSON object per expression, from one run of the roller over stdin.
export function nativeLines(expressions, args) {
  for (const e of expressions) {
    if (/[\n\r]/.test(e)) throw new Error(`an expression for the CLI cannot hold a line break: ${JSON.stringify(e)}`);
  }
  const run = spawnSync(cli, args, { input: expressions.join('\n') + '\n', encoding: 'utf8', maxBuffer: 1 << 30 });
  if (run.error) throw new Error(`cannot run the native CLI ${cli} (set PIPWERK_CLI): ${run.error.message}`);
  const lines = run.stdout.split('\n');
  if (lines.at(-1) === '') lines.pop();
  if (lines.length !== expressions.length) {
    throw new Error(`${cli} ${args.join(' ')} gave ${lines.length} lines for ${expressions.length} expressions: ${run.stderr}`);
  }
  return lines.map((line) => JSON.parse(line));
}
