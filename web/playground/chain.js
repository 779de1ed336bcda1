// The whole tool chain on one program, through the WebAssembly module (web/wasm/playground.cpp):
// the files in, the programs run, every file read back as the programs wrote it. Used by the
// worker and by the exactness test in node. Texts are byte strings (one character a byte).

const files = {
  tokens: '/work/program.tok',
  code: '/work/program.code',
  symbols: '/work/program.sym',
  opcodes: '/work/program.ops',
  runFile: '/work/program.run',
  stackFile: '/work/program.stk',
  output: '/work/stdout',
  stderr: '/work/stderr',
};

export function toBytes(text) {
  const bytes = new Uint8Array(text.length);
  for (let i = 0; i < text.length; i++) bytes[i] = text.charCodeAt(i) & 0xff;
  return bytes;
}

// The files a program can write without end (its output, the run file, the stack file) are
// devices that keep their first bytes; past that a write fails as on a full disk, and the
// Interpreter stops with its message. `cut` tells the page.
export const caps = {
  '/work/stdout': 1 << 20, '/work/program.run': 1 << 20, '/work/program.stk': 16 << 20,
  '/work/trace.out': 1 << 20, '/work/trace.run': 1 << 20,  // the traced run's, not kept
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

function bytesToString(bytes) {
  let text = '';
  for (let i = 0; i < bytes.length; i += 8192) text += String.fromCharCode(...bytes.subarray(i, i + 8192));
  return text;
}

function readText(module, path) {
  const sink = module.sinks?.[path];
  if (sink) return sink.chunks.map(bytesToString).join('');
  const { FS } = module;
  if (!FS.analyzePath(path).exists) return '';
  return bytesToString(FS.readFile(path));
}

// Starts a run: a fresh folder with the source, the input and empty output devices.
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

function readAll(module, result) {
  for (const [name, path] of Object.entries(files)) result[name] = readText(module, path);
  result.cut = Object.entries(module.sinks).filter(([, sink]) => sink.cut).map(([path]) => path);
  return result;
}

// Tokenises, compiles, translates and records the run; `status` is the first failure's, or 0.
export function compileAndRecord(module, source, input, maxSteps) {
  prepare(module, source, input);
  const status = module._pl0_compile(maxSteps);
  const result = readAll(module, { status });
  result.recording = readText(module, '/work/recording.json');
  return result;
}

// Runs the Interpreter on the compiled program, with its run file and stack file.
export function interpret(module, result) {
  const status = module._pl0_interpret();
  return readAll(module, { ...result, status });
}
