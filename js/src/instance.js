// The running engine: one instance of the compiled WebAssembly module, its
// exports and views of its memory. An instance that trapped is never called
// again; the next call of the package starts a fresh one (ready()).
import { outOfMemory, PipwerkError } from './errors.js';
import { LAYOUT } from './exchange.js';

const ENOSYS = 52;
const EBADF = 8;

// The few WASI calls the C library makes. The engine reads no files, no
// environment and no clock (the package seeds every call); fd_write carries
// the C library's last words before a trap, which go to the console.
function wasiImports(module, memory) {
  const calls = {
    clock_time_get(_clock, _precision, out) {
      const nanos = BigInt(Math.round((performance.timeOrigin + performance.now()) * 1e6));
      new DataView(memory().buffer).setBigUint64(out, nanos, true);
      return 0;
    },
    fd_write(fd, iovs, count, written) {
      const view = new DataView(memory().buffer);
      let text = '';
      let total = 0;
      for (let i = 0; i < count; i++) {
        const ptr = view.getUint32(iovs + 8 * i, true);
        const len = view.getUint32(iovs + 8 * i + 4, true);
        text += new TextDecoder().decode(new Uint8Array(memory().buffer, ptr, len));
        total += len;
      }
      if (fd === 1 || fd === 2) console.error(text.replace(/\n$/, ''));
      view.setUint32(written, total, true);
      return 0;
    },
    fd_close: () => EBADF,
    fd_seek: () => EBADF,
  };
  const wasi = {};
  for (const entry of WebAssembly.Module.imports(module)) {
    if (entry.module !== 'wasi_snapshot_preview1' || entry.kind !== 'function') continue;
    wasi[entry.name] = calls[entry.name] ?? (() => ENOSYS);
  }
  return { wasi_snapshot_preview1: wasi };
}

const NOT_LOADED = 'the engine is not loaded: call init() and wait for it before any other call';
const NO_MEMORY = new Uint8Array(0);

let module = null;

// null while no instance runs: before init, and from a trap to the next call.
export let exports = null;
export let u8 = NO_MEMORY;
export let u32 = new Uint32Array(0);
export let f64 = new Float64Array(0);
// Node's Buffer over the same memory (null elsewhere): it decodes a short
// UTF-8 slice faster than TextDecoder.
export let bytes = null;
// Where the exchange record (src/wasm/exchange.hpp) sits, as indices into
// u32 (its words) and f64 (its numbers, LAYOUT.numbersAt bytes in).
export let exchangeWord = 0;
export let exchangeNumber = 0;
// Counts the instances started: what the package keeps in an instance's
// memory (the input, a lent distribution) is valid only in the same epoch.
export let epoch = 0;
const nodeBuffer = typeof globalThis.Buffer?.prototype?.utf8Slice === 'function' ? globalThis.Buffer : null;

// Views of the memory, made again whenever it has grown (growing detaches
// the old buffer, so the old views read as empty).
export function refresh() {
  if (u8.length !== 0) return;
  const buffer = exports.memory.buffer;
  u8 = new Uint8Array(buffer);
  u32 = new Uint32Array(buffer);
  f64 = new Float64Array(buffer);
  bytes = nodeBuffer?.from(buffer) ?? null;
}

// Drops the instance and everything that holds its memory, so that the
// collector can free it before a fresh one asks for memory of its own.
export function stop() {
  exports = null;
  u8 = NO_MEMORY;
  u32 = new Uint32Array(0);
  f64 = new Float64Array(0);
  bytes = null;
}

function start() {
  let memory = null;
  const instance = new WebAssembly.Instance(module, wasiImports(module, () => memory));
  memory = instance.exports.memory;
  instance.exports._initialize();
  const at = instance.exports.pw_exchange();
  exchangeWord = at >>> 2;
  exchangeNumber = (at + LAYOUT.numbersAt) >>> 3;
  epoch += 1;
  exports = instance.exports;
  refresh();
}

// Makes sure an instance runs: after a trap, a fresh one. When none can be
// started (memory is still short), this call fails and the next one tries again.
export function ready() {
  if (exports !== null) return;
  if (module === null) throw new PipwerkError(NOT_LOADED);
  try {
    start();
  } catch (error) {
    stop();
    throw outOfMemory(`the engine cannot start (${error.message})`, error);
  }
}

// Runs the engine from a compiled module, in place of any before it.
export function install(compiled) {
  stop();
  module = compiled;
  ready();
}

export function loaded() {
  return module !== null;
}
