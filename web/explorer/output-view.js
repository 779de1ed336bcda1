// The output pane and the input pane: the bytes written, and read, so far, shown as UTF-8. A
// step changes at most the end of either, so each keeps the text it shows and adds or cuts
// only that end, rather than decoding up to a megabyte again.
import { toBytes } from '../recording.js';

const decoder = new TextDecoder('utf-8');
import { element, pane } from './dom.js';

// A byte string shown as UTF-8 by its prefixes. The text is kept as what decodes for certain
// (up to a byte that starts a character, where no later byte can change what came before)
// and a tail of at most three bytes that the next byte may yet complete.
class GrowingText {
  constructor(node) {
    this.node = node;
    this.settled = document.createTextNode('');
    this.tail = document.createTextNode('');
    node.append(this.settled, this.tail);
    this.marks = [];  // [bytes, characters] of `settled` at each place it was cut
    this.bytes = 0;
    this.shown = 0;   // the bytes shown, with the tail
  }

  // `bytes`: a Uint8Array, of which the first `length` are shown.
  show(bytes, length) {
    if (length === this.shown) return;
    this.shown = length;
    if (length < this.bytes) {
      while (this.marks.length > 0 && this.marks.at(-1)[0] > length) this.marks.pop();
      const [kept, characters] = this.marks.pop() ?? [0, 0];
      this.settled.deleteData(characters, this.settled.length - characters);
      this.bytes = kept;
    }
    const end = settledEnd(bytes, this.bytes, length);
    if (end > this.bytes) {
      this.marks.push([this.bytes, this.settled.length]);
      this.settled.appendData(decoder.decode(bytes.subarray(this.bytes, end)));
      this.bytes = end;
    }
    const tail = decoder.decode(bytes.subarray(end, length));
    if (this.tail.data !== tail) this.tail.data = tail;
  }
}

// Where the text of bytes[0, length) is certain: before the last of its final three bytes
// that starts a character, unless that character is whole.
function settledEnd(bytes, from, length) {
  for (let k = length - 1; k >= Math.max(from, length - 3); k--) {
    const b = bytes[k];
    if (b >= 0x80 && b < 0xc0) continue;  // a continuation byte
    const size = b < 0xc0 ? 1 : b < 0xe0 ? 2 : b < 0xf0 ? 3 : b < 0xf8 ? 4 : 1;
    return k + size <= length ? length : k;
  }
  return length;
}

export class OutputView {
  constructor(explorer) {
    this.explorer = explorer;
    const run = explorer.run;
    // Boxes that scroll with nothing inside to focus take the keys themselves.
    const box = (label) => ({ role: 'region', 'aria-label': label, tabindex: '0' });
    this.outputBox = element('pre', { id: explorer.id('output'), class: 'output', ...box('output so far') });
    this.inputBox = element('pre', { id: explorer.id('input-consumed'), class: 'input', ...box('input consumed so far') });
    this.output = new GrowingText(this.outputBox);
    this.input = new GrowingText(this.inputBox);
    // Made once: a step decodes only the bytes it adds.
    this.outputBytes = toBytes(run.output);
    this.inputBytes = toBytes(explorer.recording.input);
    this.cut = run.outputCut ? element('span', { class: 'note', id: explorer.id('output-cut'),
      text: `\n[The output is cut here: the recording keeps its first ${run.output.length} bytes.]` }) : null;
    this.outputPane = pane('output-pane', 'Output', this.outputBox);
    this.inputPane = pane('input-pane', 'Input consumed', this.inputBox);
  }

  show({ step }) {
    const run = this.explorer.run;
    const length = run.outputLength(step);
    this.output.show(this.outputBytes, length);
    this.outputBox.classList.toggle('changed', step > 0 && length !== run.outputLength(step - 1));
    if (this.cut) {
      const whole = length === this.outputBytes.length;
      if (whole && !this.cut.parentNode) this.outputBox.append(this.cut);
      else if (!whole && this.cut.parentNode) this.cut.remove();
    }
    this.input.show(this.inputBytes, run.inputConsumed(step));
  }
}
