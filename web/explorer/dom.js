// The few helpers every view of the explorer builds its part of the page with. A view writes a
// node only where the value differs, so that a step touches what it changed and no more.

export function element(tag, attributes = {}, ...children) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) {
    if (name === 'text') node.textContent = value;
    else if (name.startsWith('on')) node.addEventListener(name.slice(2), value);
    else node.setAttribute(name, value);
  }
  for (const child of children) node.append(child);
  return node;
}

const svgSpace = 'http://www.w3.org/2000/svg';

export function svgElement(tag, attributes = {}) {
  const node = document.createElementNS(svgSpace, tag);
  for (const [name, value] of Object.entries(attributes)) node.setAttribute(name, value);
  return node;
}

// A node holding one text node keeps it and has its data changed: one node touched, not three.
export function setText(node, text) {
  const only = node.firstChild;
  if (only !== null && only === node.lastChild && only.nodeType === Node.TEXT_NODE) {
    if (only.data !== text) only.data = text;
  } else if (node.textContent !== text) {
    node.textContent = text;
  }
}

export function setAttribute(node, name, value) {
  if (value === null) {
    if (node.hasAttribute(name)) node.removeAttribute(name);
  } else if (node.getAttribute(name) !== value) {
    node.setAttribute(name, value);
  }
}

// Several explorers can stand on one page: every id one of them gives is `prefix` and a name,
// the prefix being its root's id and a hyphen unless given (an explorer on a root without an id
// makes one up). The page pl0 explore writes holds one explorer alone and gives '', so that its
// ids stay the testing interface the README promises.
let unnamed = 0;
export function idsFor(root, prefix) {
  if (prefix === undefined && !root.id) root.id = `pl0-explorer-${++unnamed}`;
  const start = prefix ?? `${root.id}-`;
  return (name) => `${start}${name}`;
}

// Many buttons, one tab stop: Tab enters at the one last used, and ↑ ↓ Home End PageUp PageDown
// move among them (Home and End then stay inside, rather than going to the first or last step).
export function rove(container, buttons) {
  buttons.forEach((button, k) => { button.tabIndex = k === 0 ? 0 : -1; });
  let entry = buttons[0];
  container.addEventListener('focusin', (event) => {
    if (!buttons.includes(event.target) || event.target === entry) return;
    if (entry) entry.tabIndex = -1;
    entry = event.target;
    entry.tabIndex = 0;
  });
  container.addEventListener('keydown', (event) => {
    const k = buttons.indexOf(event.target);
    const to = { ArrowDown: k + 1, ArrowUp: k - 1, Home: 0, End: buttons.length - 1, PageDown: k + 10, PageUp: k - 10 }[event.key];
    if (k < 0 || to === undefined || event.shiftKey || event.ctrlKey || event.altKey || event.metaKey) return;
    event.preventDefault();
    event.stopPropagation();
    buttons[Math.max(0, Math.min(buttons.length - 1, to))].focus();
  });
}

// Brings `item` into view inside its scrolling `box` only, so that stepping never scrolls the
// page itself.
export function scrollWithin(box, item) {
  if (!box || !item) return;
  const shown = box.getBoundingClientRect();
  const wanted = item.getBoundingClientRect();
  if (wanted.top < shown.top) box.scrollTop -= shown.top - wanted.top;
  else if (wanted.bottom > shown.bottom) box.scrollTop += wanted.bottom - shown.bottom;
}

// A section of the page with its heading: `heading` is a string or a heading already built.
export function pane(kind, heading, ...content) {
  return element('section', { class: `pane ${kind}` },
    typeof heading === 'string' ? element('h2', { text: heading }) : heading, ...content);
}

// Headings with a muted note after the title.
export function noted(title, note) {
  return element('h2', {}, `${title} `, element('small', { text: note }));
}
