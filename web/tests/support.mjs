// What the browser tests and the benchmark share: a static file server for
// web/dist on a free loopback port that counts the requests it answers, and
// Debian's Chromium started headless with a fresh profile through
// playwright-core (which never downloads a browser).
import { createServer } from "node:http";
import { readFile } from "node:fs/promises";
import { extname, join, normalize, resolve } from "node:path";
import { chromium } from "playwright-core";

export const webDir = resolve(new URL("..", import.meta.url).pathname);
export const repoDir = resolve(webDir, "..");
export const distDir = resolve(process.env.KOVAR_WEB_DIST ?? join(webDir, "dist"));

const types = {
  ".html": "text/html; charset=utf-8",
  ".js": "text/javascript; charset=utf-8",
  ".css": "text/css; charset=utf-8",
  ".wasm": "application/wasm",
  ".svg": "image/svg+xml",
  ".json": "application/json",
};

// Serves dist/ as any plain static host would. `requests` lists every path
// asked for; `stop()` closes the server (the page is then offline).
export async function serve(dir = distDir) {
  const requests = [];
  const server = createServer(async (req, res) => {
    const path = decodeURIComponent(new URL(req.url, "http://x").pathname);
    requests.push(path);
    const file = normalize(join(dir, path.endsWith("/") ? `${path}index.html` : path));
    if (!file.startsWith(dir)) {
      res.writeHead(403).end();
      return;
    }
    try {
      const body = await readFile(file);
      res.writeHead(200, { "content-type": types[extname(file)] ?? "application/octet-stream", "cache-control": "no-cache" });
      res.end(body);
    } catch {
      res.writeHead(404).end();
    }
  });
  const sockets = new Set();
  server.on("connection", (s) => {
    sockets.add(s);
    s.on("close", () => sockets.delete(s));
  });
  await new Promise((ok) => server.listen(0, "127.0.0.1", ok));
  const url = `http://127.0.0.1:${server.address().port}/`;
  return {
    url,
    requests,
    stop: () =>
      new Promise((ok) => {
        for (const s of sockets) s.destroy();
        server.close(ok);
      }),
  };
}

export const chromiumPath = process.env.KOVAR_CHROMIUM ?? "/usr/bin/chromium";

// Starts Chromium; a browser that cannot start throws with the reason.
export async function launch() {
  return chromium.launch({
    executablePath: chromiumPath,
    headless: true,
    args: [
      "--headless",
      "--no-sandbox",
      "--disable-gpu",
      "--no-first-run",
      "--disable-background-networking",
      "--disable-component-update",
      "--disable-sync",
    ],
  });
}

// A new page on the server, ready once the engine has started.
export async function openPage(context, url) {
  const page = await context.newPage();
  await page.goto(url);
  await page.waitForSelector("html[data-ready]");
  return page;
}
