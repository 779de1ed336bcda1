// How the playground shows a program's files: line by line, each line linked to the source line
// it comes from, and long texts in pieces, so that a 16 MB stack file never freezes the page.
import { bytesToText } from '../recording.js';

const piece = 1 << 16;  // bytes shown at once of a long text

// A file's text scrolls in its own box, which the keyboard must reach to scroll it.
function textBox(id, className) {
  const pre = element('pre', className);
  pre.id = id;
  pre.tabIndex = 0;
  return pre;
}

function element(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

// The token file's words with each symbol's name beside its number. A string's spelling is
// empty where two blanks follow its number.
function tokenLine(row, text, names) {
  const words = text.split(/( +)/);
  let spelling = false;
  for (let k = 0; k < words.length; k++) {
    const word = words[k];
    if (word === '' || word[0] === ' ') {
      row.append(word);
      continue;
    }
    if (spelling) {
      row.append(element('span', 'spelling', word));
      spelling = false;
      continue;
    }
    const name = names[Number(word)] ?? '?';
    row.append(word, element('span', 'name', name));
    spelling = name === 'identifier' || name === 'number' || (name === 'string' && words[k + 1] === ' ');
  }
}

// `text` (a byte string) one line a row, as `<pre id=ID>`; `lineOf(k, text)` names the source
// line of row k (0 for none), and `names` turns the rows into annotated token-file lines.
export function showLines(panel, id, text, lineOf, names) {
  const pre = textBox(`text-${id}`, 'lines');
  const lines = bytesToText(text).split('\n');
  if (lines.at(-1) === '') lines.pop();
  lines.forEach((line, k) => {
    const row = element('span', 'row');
    const source = lineOf(k, line);
    if (source > 0) row.dataset.line = String(source);
    if (names) tokenLine(row, line, names);
    else row.textContent = line;
    pre.append(row, '\n');
  });
  panel.replaceChildren(pre);
}

// A long byte string in `<pre id=ID>`, a piece at a time as it is scrolled into view.
export function showLarge(panel, id, text) {
  const pre = textBox(id, 'large');
  panel.append(pre);
  let at = 0;
  const more = element('span', 'more', '\n… scroll for more …');
  const next = () => {
    let end = Math.min(text.length, at + piece);
    const lineEnd = text.indexOf('\n', end);
    if (lineEnd >= 0 && lineEnd - end < 4096) end = lineEnd + 1;
    while (end < text.length && (text.charCodeAt(end) & 0xc0) === 0x80) end++;  // whole characters
    more.before(bytesToText(text.slice(at, end)));
    at = end;
    if (at >= text.length) more.remove();
  };
  pre.append(more);
  next();
  if (at >= text.length) return;
  const observer = new IntersectionObserver((entries) => {
    if (!entries.some((entry) => entry.isIntersecting)) return;
    next();
    observer.unobserve(more);
    // Observed afresh, it is reported again at once while it is still near: one piece per task.
    if (at < text.length) observer.observe(more);
  }, { root: pre, rootMargin: '600px' });
  observer.observe(more);
}
