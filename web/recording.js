// The recording of one run (docs/recording.md), decoded once into typed arrays so that the state
// before any step is rebuilt from the nearest snapshot in at most `snapshotEvery` changes.

const decoder = new TextDecoder('utf-8');

// Byte strings carry one byte per character (code 0 to 255): the form in which the programs'
// files travel here. These four convert them.
export function toBytes(bytes) {
  const array = new Uint8Array(bytes.length);
  for (let i = 0; i < bytes.length; i++) array[i] = bytes.charCodeAt(i) & 0xff;
  return array;
}

export function byteString(array) {
  let text = '';
  for (let i = 0; i < array.length; i += 8192) text += String.fromCharCode(...array.subarray(i, i + 8192));
  return text;
}

// Shown as the UTF-8 text they spell.
export function bytesToText(bytes) {
  return decoder.decode(toBytes(bytes));
}

// Text as the byte string of its UTF-8 encoding, the form the programs read.
export function textToBytes(text) {
  return byteString(new TextEncoder().encode(text));
}

export class Run {
  constructor(run) {
    this.end = run.end;
    this.message = run.message;
    this.steps = run.steps;
    this.maxSteps = run.maxSteps;
    this.output = run.output;
    this.outputCut = run.outputCut;
    const states = run.steps + 1;
    // Registers: differences from the state before, summed back up.
    this.registers = new Int32Array(6 * states);
    const r = run.registers;
    for (let k = 0; k < r.length; k++) this.registers[k] = k < 6 ? r[k] : (this.registers[k - 6] + r[k]) | 0;
    // Changed cells: the changes of state s are changeCell/changeValue[changeStart[s] .. changeStart[s+1]).
    const count = run.changes.length / 3;
    this.changeStart = new Int32Array(states + 1);
    this.changeCell = new Int16Array(count);
    this.changeValue = new Int32Array(count);
    let state = 0;
    for (let c = 0; c < count; c++) {
      state += run.changes[3 * c];
      this.changeStart[state + 1]++;
      this.changeCell[c] = run.changes[3 * c + 1];
      this.changeValue[c] = run.changes[3 * c + 2];
    }
    for (let s = 1; s <= states; s++) this.changeStart[s] += this.changeStart[s - 1];
    this.snapshotEvery = run.snapshotEvery;
    this.snapshots = run.snapshots.map((cells) => Int32Array.from(cells));
    this.outputAt = pairs(run.outputAt);
    this.inputAt = pairs(run.inputAt);
  }

  pc(step) {
    return this.registers[6 * step];
  }
  bp(step) {
    return this.registers[6 * step + 2];
  }

  // {step, pc, sp, bp, ax, bx, tx, cells} before instruction `step`.
  state(step) {
    const base = Math.floor(step / this.snapshotEvery);
    const cells = Array.from(this.snapshots[base]);
    for (let c = this.changeStart[base * this.snapshotEvery + 1]; c < this.changeStart[step + 1]; c++) {
      cells[this.changeCell[c]] = this.changeValue[c];
    }
    const [pc, sp, bp, ax, bx, tx] = this.registers.subarray(6 * step, 6 * step + 6);
    return { step, pc, sp, bp, ax, bx, tx, cells };
  }

  // The cells that the instruction before `step` changed.
  changedCells(step) {
    const changed = new Set();
    if (step === 0) return changed;
    for (let c = this.changeStart[step]; c < this.changeStart[step + 1]; c++) changed.add(this.changeCell[c]);
    return changed;
  }

  outputLength(step) {
    return lastAtOrBefore(this.outputAt, step);
  }
  inputConsumed(step) {
    return lastAtOrBefore(this.inputAt, step);
  }
}

function pairs(flat) {
  const list = [];
  for (let k = 0; k < flat.length; k += 2) list.push([flat[k], flat[k + 1]]);
  return list;
}

// The value of the last (state, value) pair at or before `step`, or 0.
function lastAtOrBefore(list, step) {
  let low = 0;
  let high = list.length;
  while (low < high) {
    const mid = (low + high) >> 1;
    if (list[mid][0] <= step) low = mid + 1;
    else high = mid;
  }
  return low === 0 ? 0 : list[low - 1][1];
}
