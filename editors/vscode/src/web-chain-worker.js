// The WebAssembly tool chain (chain.mjs) in a worker of the web extension, its module's bytes
// bundled in (a worker of an extension in the browser cannot count on fetching a file beside
// it). Each message is one task, answered with its `id`; Stop ends the worker.
import createPl0 from 'pl0-wasm/pl0_playground.mjs';
import wasmBinary from 'pl0-wasm/pl0_playground.wasm';
import { perform, reads } from './chain.mjs';

// locateFile keeps the module from working out its own address, which a bundle has not.
const ready = createPl0({ wasmBinary, locateFile: (file) => file });

self.onmessage = async ({ data: { id, task, ...job } }) => {
  const module = await ready;
  try {
    self.postMessage({ id, result: task === 'reads' ? reads(module, job.source) : perform(module, { task, ...job }) });
  } catch (error) {
    self.postMessage({ id, error: String(error?.message ?? error) });
  }
};
