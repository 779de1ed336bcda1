// Keeps the playground working offline once it has been loaded: every file of the site is
// answered from the cache first, and fetched (and cached) when it is not there yet. The build
// names the cache after the site's content (version.cmake), and a new worker drops the caches
// of older builds.
const cacheName = 'pl0-playground-dev';
const files = ['./', 'index.html', 'playground.js', 'playground.css', 'explorer.css', 'worker.js',
  'pl0_playground.mjs', 'pl0_playground.wasm', 'language-worker.js', 'pl0_language_server.mjs',
  'pl0_language_server.wasm', 'examples.json'];

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(cacheName).then((cache) => cache.addAll(files)));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(caches.keys().then((names) => Promise.all(
    names.filter((name) => name.startsWith('pl0-playground-') && name !== cacheName).map((name) => caches.delete(name)))));
});

self.addEventListener('fetch', (event) => {
  event.respondWith(caches.match(event.request, { ignoreSearch: true }).then((cached) => cached ?? fetch(event.request).then((response) => {
    if (response.ok && new URL(event.request.url).origin === location.origin) {
      const copy = response.clone();
      caches.open(cacheName).then((cache) => cache.put(event.request, copy));
    }
    return response;
  })));
});
