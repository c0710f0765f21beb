// npm run build: the engine's WebAssembly module through CMake (the core and
// src/wasm only), copied to js/pipwerk.wasm, and the constants of its ABI
// written to js/src/exchange.js (scripts/exchange.mjs).
//
// Needs clang-19, lld-19, libc++-19-dev-wasm32, libclang-rt-19-dev-wasm32, binaryen and
// wasi-libc (Debian), and CMake >= 3.26 with Ninja: the ones on PATH, or set
// CMAKE=/path/to/cmake (e.g. from `python3 -m pip install cmake ninja` in a venv).
// PIPWERK_WASM_BUILD_DIR overrides the build directory (build/wasm).
import { execFileSync } from 'node:child_process';
import { chmodSync, copyFileSync, statSync, writeFileSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { generated, target as constants } from './exchange.mjs';

const js = resolve(dirname(fileURLToPath(import.meta.url)), '..');
const root = resolve(js, '..');
const build = resolve(process.env.PIPWERK_WASM_BUILD_DIR ?? join(root, 'build', 'wasm'));
const cmake = process.env.CMAKE ?? 'cmake';

function run(args) {
  console.log(`$ ${cmake} ${args.join(' ')}`);
  execFileSync(cmake, args, { stdio: 'inherit' });
}

writeFileSync(constants, generated());
console.log(`${constants}: written from src/wasm/exchange.hpp`);
run(['-S', root, '-B', build, '-G', 'Ninja', '-DCMAKE_BUILD_TYPE=Release',
  `--toolchain=${join(root, 'cmake', 'wasm32-wasi.cmake')}`]);
run(['--build', build, '--target', 'pipwerk_wasm', '-j', process.env.PIPWERK_JOBS ?? '2']);
const target = join(js, 'pipwerk.wasm');
copyFileSync(join(build, 'src', 'wasm', 'pipwerk.wasm'), target);
chmodSync(target, 0o644); // the linker makes it executable, which a data file is not
console.log(`${target}: ${statSync(target).size} bytes`);
