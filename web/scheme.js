// The reader's colour scheme for both pages: the system's (prefers-color-scheme) until the
// switch picks light or dark, a choice kept in the browser's storage. The styles read it from
// data-scheme on <html>; with none there, CSS follows the system by itself, so a page whose
// storage is off still gets the system's scheme.
const storageKey = 'pl0-scheme';
const choices = [['', 'as the system'], ['light', 'light'], ['dark', 'dark']];

function apply(scheme) {
  if (scheme) document.documentElement.dataset.scheme = scheme;
  else delete document.documentElement.dataset.scheme;
}

export function applyKeptScheme() {
  try {
    const kept = localStorage.getItem(storageKey) ?? '';
    apply(choices.some(([value]) => value === kept) ? kept : '');
  } catch { /* storage off: the system's scheme */ }
}

// A labelled select; its change applies and keeps the choice at once.
export function schemeSwitch() {
  const select = document.createElement('select');
  select.id = 'scheme';
  for (const [value, text] of choices) select.append(new Option(text, value));
  select.value = document.documentElement.dataset.scheme ?? '';
  select.addEventListener('change', () => {
    apply(select.value);
    try {
      if (select.value) localStorage.setItem(storageKey, select.value);
      else localStorage.removeItem(storageKey);
    } catch { /* storage off: the choice lasts as long as the page */ }
  });
  const label = document.createElement('label');
  label.className = 'scheme';
  label.append('Colours ', select);
  return label;
}
