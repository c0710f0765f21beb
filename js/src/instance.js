// Loads the engine's WebAssembly module once (top-level await in the callers'
// import), and gives the package its exports and views of its memory.
//
// In Node the module is read from disk beside this package; in a browser it
// is fetched relative to this file's URL, so the package works from any
// static server without a bundler.

const wasmUrl = new URL('../pipwerk.wasm', import.meta.url);

async function wasmBytes() {
  const inNode = typeof process === 'object' && process !== null && typeof process.versions?.node === 'string';
  if (inNode && wasmUrl.protocol === 'file:') {
    const { readFile } = await import('node:fs/promises');
    return readFile(wasmUrl);
  }
  const response = await fetch(wasmUrl);
  if (!response.ok) throw new Error(`pipwerk: cannot load ${wasmUrl}: HTTP ${response.status}`);
  return response.arrayBuffer();
}

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

const module = await WebAssembly.compile(await wasmBytes());

export let exports;
export let u8;
export let u32;
export let f64;
// Node's Buffer over the same memory (null elsewhere): it decodes a short
// UTF-8 slice faster than TextDecoder.
export let bytes = null;
const nodeBuffer = typeof globalThis.Buffer?.prototype?.utf8Slice === 'function' ? globalThis.Buffer : null;

// A fresh instance: at load, and after a trap (out of memory), which may
// leave the old one's state half changed.
export function start() {
  const instance = new WebAssembly.Instance(module, wasiImports(module, () => exports.memory));
  exports = instance.exports;
  exports._initialize();
  u8 = undefined;
  refresh();
}

// Views of the memory, made again whenever it has grown (growing detaches
// the old buffer, so the old views read as empty).
export function refresh() {
  if (u8 !== undefined && u8.length !== 0) return;
  const buffer = exports.memory.buffer;
  u8 = new Uint8Array(buffer);
  u32 = new Uint32Array(buffer);
  f64 = new Float64Array(buffer);
  bytes = nodeBuffer?.from(buffer) ?? null;
}

start();
