// The page's service worker (vite.config.ts fills in the version and the
// file list when the page is built). It caches every file of the page on the
// first visit and then answers the page's requests from that cache, so the
// page works offline and asks the network for nothing once cached.
const VERSION = __VERSION__;
const FILES = __FILES__;
const CACHE = `kovar3-${VERSION}`;

self.addEventListener("install", (event) => {
  event.waitUntil(
    caches
      .open(CACHE)
      .then((cache) => cache.addAll(FILES.map((f) => new Request(f, { cache: "reload" }))))
      .then(() => self.skipWaiting()),
  );
});

self.addEventListener("activate", (event) => {
  event.waitUntil(
    caches
      .keys()
      .then((keys) => Promise.all(keys.filter((k) => k.startsWith("kovar3-") && k !== CACHE).map((k) => caches.delete(k))))
      .then(() => self.clients.claim()),
  );
});

self.addEventListener("fetch", (event) => {
  const request = event.request;
  if (request.method !== "GET" || new URL(request.url).origin !== location.origin) return;
  event.respondWith(
    caches.open(CACHE).then(async (cache) => {
      // Every page of the scope is the one page (a link's program is in the
      // fragment, which never reaches here).
      const hit =
        request.mode === "navigate"
          ? await cache.match(new URL("./", location.href))
          : await cache.match(request, { ignoreSearch: true });
      return hit ?? fetch(request);
    }),
  );
});
