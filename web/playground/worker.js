// Runs the tool chain off the page's thread, so that a program that loops never freezes the
// page: Stop ends this worker, and the page starts a new one. Each message is one task on its
// own source and input, so any worker can take any task:
//   run:    the compiled files, then a pulse every few hundredths of a second with the output
//           when it has grown, then the whole run;
//   record: the explorer's recording; trace: the stack file.
import createPl0 from './pl0_playground.mjs';
import { compile, interpret, record, sinkText, trace } from './chain.js';

const ready = createPl0();

self.onmessage = async ({ data: { task, id, source, input, maxSteps } }) => {
  const module = await ready;
  const post = (phase, result) => self.postMessage({ id, phase, result });
  const compiled = compile(module, source, input);
  if (task === 'record') {
    post('recording', record(module, maxSteps));
    return;
  }
  if (task === 'trace') {
    post('trace', compiled.status === 0 ? trace(module) : { stackFile: '', cut: false });
    return;
  }
  post('compiled', compiled);
  if (compiled.status !== 0) return;
  let shown = 0;
  // Every pulse is posted, grown or not: the page waits for the next one to stop the run.
  const ran = interpret(module, (sink) => {
    if (sink.length === shown) {
      post('pulse');
      return;
    }
    shown = sink.length;
    post('output', sinkText(sink));
  });
  post('ran', ran);
};
