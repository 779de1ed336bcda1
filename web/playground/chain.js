// The whole tool chain on one program, through the WebAssembly module (web/wasm/playground.cpp):
// the files in, the programs run, every file read back as the programs wrote it. Used by the
// worker and by the exactness test in node. Texts are byte strings (one character a byte).
import { byteString, toBytes } from '../recording.js';
import { maxOutput } from '../vocabulary.js';

// The files a program can write without end (its output, the run file, the stack file) are
// devices that keep their first bytes; past that a write fails as on a full disk, and the
// Interpreter stops with its message. `cut` tells the page. The output keeps what a
// recording keeps of it.
export const caps = {
  '/work/stdout': maxOutput, '/work/program.run': 1 << 20, '/work/program.stk': 16 << 20,
  '/work/trace.out': maxOutput,  // the traced run's output, not kept
};
const ENOSPC = 51;  // emscripten's number for "No space left on device"

function makeSinks(module) {
  const { FS } = module;
  module.sinks = {};
  let minor = 0;
  for (const [path, cap] of Object.entries(caps)) {
    const sink = { chunks: [], length: 0, cut: false };
    const device = FS.makedev(64, minor++);
    FS.registerDevice(device, {
      read: () => 0,
      write(stream, buffer, offset, length) {
        const room = cap - sink.length;
        const kept = Math.min(room, length);
        // `buffer` is the module's memory as signed bytes: keep them unsigned.
        if (kept > 0) sink.chunks.push(new Uint8Array(buffer.buffer, buffer.byteOffset + offset, kept).slice());
        sink.length += kept;
        if (kept < length) {
          sink.cut = true;
          throw new FS.ErrnoError(ENOSPC);
        }
        return length;
      },
    });
    FS.mkdev(path, device);
    module.sinks[path] = sink;
  }
}

// What a device has kept so far, as a byte string.
export function sinkText(sink) {
  return sink.chunks.map(byteString).join('');
}

function readText(module, path) {
  const sink = module.sinks?.[path];
  if (sink) return sinkText(sink);
  const { FS } = module;
  if (!FS.analyzePath(path).exists) return '';
  return byteString(FS.readFile(path));
}

// Starts afresh: a clean folder with the source, the input and empty output devices.
function prepare(module, source, input) {
  const { FS } = module;
  if (FS.analyzePath('/work').exists) {
    for (const name of FS.readdir('/work')) if (name !== '.' && name !== '..') FS.unlink(`/work/${name}`);
  } else {
    FS.mkdir('/work');
  }
  FS.writeFile('/work/program.pl0', toBytes(source));
  FS.writeFile('/work/input', toBytes(input));
  makeSinks(module);
}

// Tokenises, compiles and translates; `status` is the failing program's, or 0. `compiled` is
// the recording without its run: the files, each instruction's line, an error's place.
export function compile(module, source, input) {
  prepare(module, source, input);
  const status = module._pl0_compile();
  const compiled = JSON.parse(readText(module, '/work/compiled.json'));
  const { tokens, code, symbols, opcodes } = compiled.files;
  return { status, stderr: compiled.error?.message ?? '', tokens, code, symbols, opcodes, compiled };
}

// Runs the compiled program with its run file; `onPulse(sink)`, called every few hundredths of a
// second while it runs, may watch the output grow.
export function interpret(module, onPulse) {
  module.onPulse = onPulse && (() => onPulse(module.sinks['/work/stdout']));
  const status = module._pl0_interpret();
  module.onPulse = null;
  return {
    status, stderr: readText(module, '/work/stderr'), output: readText(module, '/work/stdout'),
    runFile: readText(module, '/work/program.run'),
    cut: Object.entries(module.sinks).filter(([, sink]) => sink.cut).map(([path]) => path),
  };
}

// The stack file of a run of the compiled program (its first 16 MiB; `cut` past that).
export function trace(module) {
  module._pl0_trace();
  return { stackFile: readText(module, '/work/program.stk'), cut: module.sinks['/work/program.stk'].cut };
}

// The explorer's recording of a run of at most `maxSteps` instructions of the program
// compile() compiled last, as JSON text.
export function record(module, maxSteps) {
  module._pl0_record(maxSteps);
  return readText(module, '/work/recording.json');
}
