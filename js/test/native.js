// The native command-line roller, the reference the WebAssembly build is
// checked against: PIPWERK_CLI, else the Release build's (build/dev), else
// `pipwerk` on PATH. Without one the cross-checks are skipped, except on CI
// (the CI variable set to anything but "", "0" or "false"), where they must run.
// Run directly (npm's pretest), this says in one line which CLI is used.
import { spawnSync } from 'node:child_process';
import { existsSync } from 'node:fs';
import { test } from 'node:test';
import { fileURLToPath, pathToFileURL } from 'node:url';

const CI = !['', '0', 'false'].includes((process.env.CI ?? '').trim().toLowerCase());

function runs(path) {
  return spawnSync(path, ['--version'], { encoding: 'utf8' }).status === 0;
}

function findCli() {
  const given = process.env.PIPWERK_CLI;
  if (given) {
    if (!runs(given)) throw new Error(`PIPWERK_CLI=${given} does not run`);
    return given;
  }
  const built = fileURLToPath(new URL('../../build/dev/src/cli/pipwerk', import.meta.url));
  if (existsSync(built)) return built;
  if (runs('pipwerk')) return 'pipwerk';
  if (CI) throw new Error('no native pipwerk CLI (set PIPWERK_CLI): on CI the cross-checks against it must run');
  return null;
}

export const cli = findCli();
const MISSING = 'no native pipwerk CLI: set PIPWERK_CLI, build build/dev or put pipwerk on PATH';

// A test that checks the WebAssembly build against the native CLI.
export function crossCheck(name, fn) {
  test(name, cli === null ? { skip: 'no native CLI' } : {}, fn);
}

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

if (import.meta.url === pathToFileURL(process.argv[1]).href) {
  console.log(cli === null ? `${MISSING}; the cross-checks against it are skipped` : `native CLI: ${cli}`);
}
