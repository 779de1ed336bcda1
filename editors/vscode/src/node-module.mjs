// What the WebAssembly modules need in Node: built as ES modules, they still reach for Node's
// `require` and `__dirname` as globals, and are handed their .wasm (beside this script in the
// packaged extension) rather than left to find it.
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

export function moduleOptions(wasmName) {
  const folder = dirname(fileURLToPath(import.meta.url));
  globalThis.require ??= createRequire(import.meta.url);
  globalThis.__dirname ??= folder;
  return { wasmBinary: readFileSync(join(folder, wasmName)) };
}
