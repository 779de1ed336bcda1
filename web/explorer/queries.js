// What a student asks of a recorded run, answered from the recording alone: where a step
// is, the next step on another line, over a call, out of a procedure, to a breakpoint, and
// every step at which a line starts to run. No page is involved, so node tests it directly.

export class Navigator {
  // `run`: a Run (recording.js); `instructions`: [opcode, level, operand, line] per address.
  constructor(run, instructions) {
    this.run = run;
    this.instructions = instructions;
    this.starts = null;  // line -> the steps at which it starts to run, built on first use
  }

  // The instruction about to run at `step`, or -1 once the program has finished.
  pcAt(step) {
    if (step === this.run.steps && this.run.end === 'finished') return -1;
    return this.run.pc(step);
  }

  line(step) {
    const pc = this.pcAt(step);
    return pc >= 0 && pc < this.instructions.length ? this.instructions[pc][3] : 0;
  }

  nextLine(step) {
    const line = this.line(step);
    let s = step + 1;
    while (s < this.run.steps && this.line(s) === line) s++;
    return s;
  }

  previousLine(step) {
    const line = this.line(step);
    let s = step - 1;
    while (s > 0 && this.line(s) === line) s--;
    const target = this.line(s);
    while (s > 0 && this.line(s - 1) === target) s--;
    return s;
  }

  // The next step on another line in this frame or an outer one: calls are run through.
  stepOver(step) {
    const base = this.run.bp(step);
    const line = this.line(step);
    for (let s = step + 1; s <= this.run.steps; s++) {
      if (this.run.bp(s) >= base && this.line(s) !== line) return s;
    }
    return this.run.steps;
  }

  // The first step back in the caller's frame.
  stepOut(step) {
    const base = this.run.bp(step);
    for (let s = step + 1; s <= this.run.steps; s++) if (this.run.bp(s) > base) return s;
    return this.run.steps;
  }

  // `breaks`: { lines, instructions }, two sets. A line breaks where it starts to run.
  isBreak(step, breaks) {
    if (breaks.instructions.has(this.run.pc(step))) return true;
    const line = this.line(step);
    return breaks.lines.has(line) && (step === 0 || this.line(step - 1) !== line);
  }

  findBreak(step, direction, breaks) {
    if (breaks.lines.size === 0 && breaks.instructions.size === 0) {
      return direction > 0 ? this.run.steps : 0;
    }
    for (let s = step + direction; s >= 0 && s <= this.run.steps; s += direction) {
      if (this.isBreak(s, breaks)) return s;
    }
    return direction > 0 ? this.run.steps : 0;
  }

  // The steps at which `line` starts to run, in order: one pass over the run, the first time
  // any line is asked for.
  stepsOfLine(line) {
    if (!this.starts) {
      this.starts = new Map();
      let previous = -1;
      for (let s = 0; s <= this.run.steps; s++) {
        const current = this.line(s);
        if (current !== previous) {
          if (!this.starts.has(current)) this.starts.set(current, []);
          this.starts.get(current).push(s);
        }
        previous = current;
      }
    }
    return this.starts.get(line) ?? [];
  }
}
