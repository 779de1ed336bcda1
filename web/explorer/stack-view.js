// The stack pane: the cells from the top of the stack down to SP, grouped into frames, each
// cell with its value (and what it was, where the last step changed it) and its meaning (a
// link, a variable, a temporary), and beside them the link arrows. Each cell's row and each
// frame's heading are made once and kept; a step moves, adds and takes away only the rows that
// differ, and rewrites only the texts that do, so that it touches what it changed.
import { frameLinks, stackCells, topCell } from '../vocabulary.js';
import { element, setText, svgElement, scrollWithin, noted, pane } from './dom.js';

const linkLabels = new Map([[frameLinks.staticLink, 'static link'], [frameLinks.dynamicLink, 'dynamic link'],
  [frameLinks.returnAddress, 'return address']]);

export class StackView {
  constructor(explorer) {
    this.explorer = explorer;
    this.body = element('tbody');
    this.rows = [];     // cell -> {row, value, old, meaning}, made when first shown
    this.headers = [];  // cell -> the heading row of a frame based there
    this.arrows = new Links(explorer);
    const table = element('table', { class: 'stack', 'aria-label': `stack, cell ${topCell} down to SP` },
      element('thead', {}, element('tr', {}, ...['Cell', 'Value', 'Meaning']
        .map((h) => element('th', { scope: 'col', text: h })))), this.body);
    // A box that scrolls with nothing inside to focus takes the keys itself.
    this.box = element('div', { class: 'stack-box', role: 'region', 'aria-label': 'stack cells', tabindex: '0' },
      table, this.arrows.svg);
    const legend = element('p', { class: 'legend' },
      element('span', { class: 'key static' }), 'static link: to the frame of the block that declares the procedure ',
      element('span', { class: 'key dynamic' }), 'dynamic link: to the caller\'s frame');
    this.node = pane('stack-pane', noted('Stack', '(highlighted: changed by the last step)'), legend, this.box);
    this.pending = null;
  }

  // Frames from BP outward along the dynamic links, each with the procedure its CAL entered.
  frames(state) {
    const frames = [];
    let base = state.bp;
    for (let guard = 0; guard < stackCells && base >= 0 && base <= topCell; guard++) {
      frames.push({ base, procedure: this.procedureOf(state, base) });
      if (base === topCell) break;
      const caller = state.cells[base - frameLinks.dynamicLink];
      if (!(caller > base)) break;
      base = caller;
    }
    return frames;
  }

  procedureOf(state, base) {
    const procedures = this.explorer.recording.procedures;
    if (base === topCell) return procedures[0];
    const call = this.explorer.instructions[state.cells[base - frameLinks.returnAddress] - 1];
    if (!call) return null;
    return procedures.find((p) => p.body === call[2] || p.jump === call[2]) ?? null;
  }

  show({ step, state, before }) {
    const meaning = new Map();
    const frameOf = new Map();
    const frames = this.frames(state);
    frames.forEach((frame, k) => {
      const name = frame.procedure ? frame.procedure.name || 'main program' : 'unknown procedure';
      for (const [n, label] of linkLabels) meaning.set(frame.base - n, label);
      for (const [variable, offset, cells] of frame.procedure?.variables ?? []) {
        for (let i = 0; i < cells; i++) {
          meaning.set(frame.base - offset - i, cells > 1 ? `${variable}[${i}]` : variable);
        }
      }
      const lowest = k === 0 ? state.sp : frames[k - 1].base + 1;
      for (let c = frame.base; c >= lowest; c--) {
        frameOf.set(c, { k, name });
        if (!meaning.has(c)) meaning.set(c, 'temporary');
      }
    });
    const changed = this.explorer.run.changedCells(step);
    const lowest = Math.max(0, Math.min(state.sp, topCell));
    // A frame's parity counts from the outermost frame, so that a call or a return leaves the
    // classes of the frames below it as they were.
    const wanted = [];
    for (let c = topCell; c >= lowest; c--) {
      const frame = frameOf.get(c);
      if (frame && frames[frame.k].base === c) wanted.push(this.header(c, `${frame.name}: frame at ${c}`));
      const kind = meaning.get(c) ?? '';
      const kindClass = kind.includes('link') || kind === 'return address' ? 'link' : kind === 'temporary' ? 'temporary' : '';
      wanted.push(this.row(c, [frame ? `frame-${(frames.length - 1 - frame.k) % 2}` : '', kindClass].filter(Boolean).join(' '),
        state.cells[c], changed.has(c) && before ? before.cells[c] : null, kind));
    }
    // The rows in order, each put in place only where it is not already; a row no longer
    // wanted is taken out where it stands, rather than every row after it moved past it.
    const keep = new Set(wanted);
    let next = this.body.firstChild;
    for (const node of wanted) {
      while (next && next !== node && !keep.has(next)) {
        const gone = next;
        next = next.nextSibling;
        gone.remove();
      }
      if (node === next) next = next.nextSibling;
      else this.body.insertBefore(node, next);
    }
    while (next) {
      const gone = next;
      next = next.nextSibling;
      gone.remove();
    }
    // Drawn on the next frame, once the rows have their places: only the last step's.
    const wasPending = this.pending !== null;
    this.pending = { frames, state, lowest };
    if (!wasPending) {
      requestAnimationFrame(() => {
        const { frames: f, state: s, lowest: l } = this.pending;
        this.pending = null;
        this.arrows.draw(f, s, (cell) => (cell >= l && cell <= topCell ? this.rows[cell]?.row : null));
        scrollWithin(this.box, this.rows[l]?.row);  // the top of the stack, where things happen
      });
    }
  }

  header(cell, text) {
    if (!this.headers[cell]) {
      this.headers[cell] = element('tr', { class: 'frame-header' }, element('th', { colspan: '3', scope: 'rowgroup' }));
    }
    setText(this.headers[cell].firstChild, text);
    return this.headers[cell];
  }

  // `was`: the value before the last step, or null where it did not change the cell.
  row(cell, className, value, was, kind) {
    if (!this.rows[cell]) {
      const shown = document.createTextNode('');
      const old = element('span', { class: 'old' });
      const valueCell = element('td', { class: 'value' }, shown);
      const meaning = element('td');
      this.rows[cell] = { row: element('tr', {}, element('th', { scope: 'row', text: String(cell) }), valueCell, meaning),
        valueCell, shown, old, meaning };
    }
    const r = this.rows[cell];
    if (r.row.className !== className) r.row.className = className;
    if (r.shown.data !== String(value)) r.shown.data = String(value);
    r.valueCell.classList.toggle('changed', was !== null);
    if (was === null) {
      if (r.old.parentNode) r.old.remove();
    } else {
      setText(r.old, ` was ${was}`);
      if (!r.old.parentNode) r.valueCell.append(r.old);
    }
    setText(r.meaning, kind);
    return r.row;
  }
}

// The link arrows beside the stack: every dynamic link, each in a lane of its own so that a
// deep recursion's links stay apart, and the static links of the current frame's chain only,
// the ones its code can follow. The paths are kept and redrawn; only a changed one is written.
class Links {
  constructor(explorer) {
    const id = explorer.id;
    this.svg = svgElement('svg', { class: 'arrows', 'aria-hidden': 'true', width: '60' });
    const defs = svgElement('defs');
    for (const kind of ['static', 'dynamic']) {
      const marker = svgElement('marker', { id: id(`head-${kind}`), viewBox: '0 0 10 10', refX: '9', refY: '5',
        markerWidth: '6', markerHeight: '6', orient: 'auto-start-reverse' });
      marker.append(svgElement('path', { d: 'M0,0 L10,5 L0,10 z', class: kind }));
      defs.append(marker);
    }
    this.svg.append(defs);
    this.marker = { static: `url(#${id('head-static')})`, dynamic: `url(#${id('head-dynamic')})` };
    this.paths = [];
  }

  // `rowOf(cell)`: the row shown for a cell, or null.
  draw(frames, state, rowOf) {
    const box = this.svg.parentElement.getBoundingClientRect();
    const height = String(Math.max(1, box.height));
    if (this.svg.getAttribute('height') !== height) this.svg.setAttribute('height', height);
    const middle = (cell) => {
      const row = rowOf(cell);
      if (!row) return null;
      const r = row.getBoundingClientRect();
      return r.top - box.top + r.height / 2;
    };
    const chain = new Set();
    for (let base = state.bp, guard = 0; base >= 0 && base < topCell && guard < stackCells; guard++) {
      chain.add(base);
      base = state.cells[base - frameLinks.staticLink];
    }
    const wanted = [];
    frames.forEach((frame, k) => {
      if (frame.base === topCell) return;
      const links = [['dynamic', frame.base - frameLinks.dynamicLink, 30 + (k % 4) * 7]];
      if (chain.has(frame.base)) links.push(['static', frame.base - frameLinks.staticLink, 8 + (k % 3) * 6]);
      for (const [kind, from, reach] of links) {
        const y1 = middle(from);
        const y2 = middle(state.cells[from]);
        if (y1 !== null && y2 !== null) wanted.push([kind, `M0,${y1} C${reach},${y1} ${reach},${y2} 2,${y2}`]);
      }
    });
    while (this.paths.length > wanted.length) this.paths.pop().remove();
    while (this.paths.length < wanted.length) {
      const path = svgElement('path');
      this.svg.append(path);
      this.paths.push(path);
    }
    wanted.forEach(([kind, d], k) => {
      const path = this.paths[k];
      for (const [name, value] of [['d', d], ['class', `arrow ${kind}`], ['marker-end', this.marker[kind]]]) {
        if (path.getAttribute(name) !== value) path.setAttribute(name, value);
      }
    });
  }
}
