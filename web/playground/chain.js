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

function readText(FS, path) {
  if (!FS.analyzePath(path).exists) return '';
  const bytes = FS.readFile(path);
  let text = '';
  for (let i = 0; i < bytes.length; i += 8192) text += String.fromCharCode(...bytes.subarray(i, i + 8192));
  return text;
}

// Starts a run: a fresh folder with the source and the input.
function prepare(FS, source, input) {
  if (FS.analyzePath('/work').exists) {
    for (const name of FS.readdir('/work')) if (name !== '.' && name !== '..') FS.unlink(`/work/${name}`);
  } else {
    FS.mkdir('/work');
  }
  FS.writeFile('/work/program.pl0', toBytes(source));
  FS.writeFile('/work/input', toBytes(input));
}

// Tokenises, compiles, translates and records the run; `status` is the first failure's, or 0.
export function compileAndRecord(module, source, input, maxSteps) {
  prepare(module.FS, source, input);
  const status = module._pl0_compile(maxSteps);
  const result = { status };
  for (const [name, path] of Object.entries(files)) result[name] = readText(module.FS, path);
  result.recording = readText(module.FS, '/work/recording.json');
  return result;
}

// Runs the Interpreter on the compiled program, with its run file and stack file.
export function interpret(module, result) {
  const status = module._pl0_interpret();
  const done = { ...result, status };
  for (const [name, path] of Object.entries(files)) done[name] = readText(module.FS, path);
  return done;
}
