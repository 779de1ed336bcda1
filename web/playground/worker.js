// Runs the tool chain off the page's thread, so that a program that loops never freezes the
// page: Stop ends this worker, and the page starts a new one.
import createPl0 from './pl0_playground.mjs';
import { compileAndRecord, interpret } from './chain.js';

const ready = createPl0();

self.onmessage = async ({ data: { source, input, maxSteps } }) => {
  const module = await ready;
  const compiled = compileAndRecord(module, source, input, maxSteps);
  self.postMessage({ phase: 'compiled', result: compiled });
  if (compiled.status !== 0) {
    self.postMessage({ phase: 'done', result: compiled });
    return;
  }
  self.postMessage({ phase: 'done', result: interpret(module, compiled) });
};
