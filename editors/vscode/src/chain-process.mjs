// The WebAssembly tool chain (chain.mjs) in a child process of the desktop extension, so that a
// program that loops ties up neither VS Code nor the language server: Stop ends this process.
// Each message on the IPC channel is one task, answered with its `id`.
import createPl0 from './pl0_playground.mjs';
import { perform, reads } from './chain.mjs';
import { moduleOptions } from './node-module.mjs';

const ready = createPl0(moduleOptions('pl0_playground.wasm'));

process.on('message', async ({ id, task, ...job }) => {
  const module = await ready;
  try {
    process.send({ id, result: task === 'reads' ? reads(module, job.source) : perform(module, { task, ...job }) });
  } catch (error) {
    process.send({ id, error: String(error?.message ?? error) });
  }
});
