// The page's service worker: keeps every file of the page (the page, its
// scripts, the module and the workers) in a cache named after their
// contents, so that after one visit the page opens and works without the
// network. Files are answered from that cache first. When the page changes,
// its service worker changes with it (the list below is made when the page
// is built): the new one fetches the new files into a cache of their own and,
// once the page asks it to take over (or no page of the old version is open
// any more), the old cache is deleted.
const build = { version: '', files: [] };  // written when the page is built

const cacheName = `vantrel-page-${build.version}`;

self.addEventListener('install', (event) => {
  // Past the browser's own cache, so that a new version is never filled
  // with the old files.
  event.waitUntil(caches.open(cacheName).then((cache) =>
    cache.addAll(build.files.map((file) => new Request(file, { cache: 'reload' })))));
});

self.addEventListener('activate', (event) => {
  event.waitUntil((async () => {
    for (const name of await caches.keys()) {
      if (name.startsWith('vantrel-page-') && name !== cacheName) await caches.delete(name);
    }
    await self.clients.claim();
  })());
});

self.addEventListener('message', (event) => {
  if (event.data?.type === 'take-over') self.skipWaiting();
});

// The page's own files from the cache (the page itself whatever its address
// holds: the settings are in its query); anything else from the network.
self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET' || new URL(request.url).origin !== location.origin) return;
  event.respondWith((async () => {
    const cache = await caches.open(cacheName);
    const page = request.mode === 'navigate' && new URL(request.url).pathname.endsWith('/');
    const found = await cache.match(page ? 'index.html' : request, { ignoreSearch: true });
    return found || fetch(request);
  })());
});
