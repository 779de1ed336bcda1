// The explorer's own page (pl0 explore): the recording embedded in it, mounted at once, with
// the interface the browser tests drive. esbuild bundles this module and those it imports into
// web/explorer.bundle.js, the one classic script the page inlines (web/bundle-explorer.mjs).
import { mountExplorer } from './view.js';
import { applyKeptScheme } from '../scheme.js';

applyKeptScheme();

// A page with an embedded recording mounts itself and offers the testing interface: the ids
// without a prefix (#pc, #step, #forward, ...), as it is the page's only explorer.
const embedded = document.getElementById('recording');
const root = document.getElementById('explorer');
if (embedded && root) {
  const recording = JSON.parse(embedded.textContent);
  if (recording) {
    window.pl0Explorer = mountExplorer(root, recording, { name: root.dataset.name, schemeSwitch: true, idPrefix: '' });
    root.focus({ focusVisible: false });  // keys work at once, without a frame round the page
  }
}
