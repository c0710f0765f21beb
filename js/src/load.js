// The engine's WebAssembly module from what init() is given: a URL (or its
// text), the module's bytes, a compiled WebAssembly.Module or a fetch
// Response, or a promise of one of them.
import { PipwerkError } from './errors.js';
import { install } from './instance.js';

async function fromResponse(response) {
  if (!response.ok) throw new Error(`HTTP ${response.status}`);
  // Streaming compilation needs the application/wasm type, which not every server gives.
  if (response.headers.get('content-type')?.startsWith('application/wasm')) {
    return WebAssembly.compileStreaming(response);
  }
  return WebAssembly.compile(await response.arrayBuffer());
}

function compile(source) {
  if (source instanceof WebAssembly.Module) return source;
  if (source instanceof ArrayBuffer || ArrayBuffer.isView(source)) return WebAssembly.compile(source);
  if (typeof Response === 'function' && source instanceof Response) return fromResponse(source);
  if (typeof source === 'string' || source instanceof URL) return fetch(source).then(fromResponse);
  const kind = source === null ? 'null' : typeof source === 'object' ? source.constructor?.name ?? 'object' : typeof source;
  throw new TypeError(`init takes a URL, the module's bytes, a WebAssembly.Module or a Response, not ${kind}`);
}

export async function load(source) {
  const given = await source;
  const where = typeof given === 'string' || given instanceof URL ? ` from ${given}` : '';
  let module;
  try {
    module = await compile(given);
  } catch (error) {
    if (error instanceof TypeError && error.message.startsWith('init takes')) throw error;
    throw new PipwerkError(`cannot load the engine${where}: ${error.message}`, { cause: error });
  }
  install(module);
}
