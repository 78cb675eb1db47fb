// Speed and size of the browser edition, in Debian's Chromium (headless),
// all measured in one run:
//   - bytes a first visit transfers (every file of web/dist, gzip -9);
//   - the page interactive: from navigation to the engine started and the
//     controls answering (the page's mark), and on to the first frame that
//     shows them, from a local server, without a cached copy;
//   - F9 (1000 traced steps of the desktop benchmark's loop, about 7,500
//     lines) and F7, each from the key event until the views and the trace
//     pane hold the result and the layout is done; F9 also with a million
//     lines already in the pane.
//
//   node bench/web_bench.mjs        (after ./kovar.sh web --build)
import { readFileSync, readdirSync, statSync } from "node:fs";
import { join, relative } from "node:path";
import { gzipSync } from "node:zlib";
import { distDir, launch, openPage, serve } from "../web/tests/support.mjs";

const kLoop = `; the desktop benchmark's loop: ALU and SHIFT pushing both stacks, a branch back
.word 0x6105014F, 0x61058010, 0x6105014F, 0x61058010, 0x6105014F, 0x61058010, 0x6105014F
.word 0x20000000
`;

function files(dir) {
  return readdirSync(dir).flatMap((f) => (statSync(join(dir, f)).isDirectory() ? files(join(dir, f)) : [join(dir, f)]));
}

const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];
const pct = (xs, p) => [...xs].sort((a, b) => a - b)[Math.min(xs.length - 1, Math.floor(xs.length * p))];
const ms = (x) => `${x.toFixed(2)} ms`;

// ---- size ----
let raw = 0;
let gz = 0;
const rows = [];
for (const f of files(distDir)) {
  const bytes = readFileSync(f);
  const z = gzipSync(bytes, { level: 9 }).length;
  raw += bytes.length;
  gz += z;
  rows.push([relative(distDir, f), bytes.length, z]);
}

const server = await serve();
const browser = await launch();
try {
  // ---- page interactive, a fresh profile each time ----
  const ready = [];
  const shown = [];
  for (let i = 0; i < 11; i++) {
    const context = await browser.newContext({ serviceWorkers: "block" });
    // Measured in the page: the first frame drawn after the page says it is
    // ready (its style, layout and paint done).
    await context.addInitScript(() => {
      new MutationObserver((_, observer) => {
        if (!document.documentElement?.dataset.ready) return;
        observer.disconnect();
        requestAnimationFrame(() => {
          const channel = new MessageChannel();
          channel.port1.onmessage = () => (window.kovarShown = performance.now());
          channel.port2.postMessage(null);
        });
      }).observe(document, { subtree: true, attributes: true, attributeFilter: ["data-ready"] });
    });
    const page = await openPage(context, server.url);
    ready.push(await page.evaluate(() => performance.getEntriesByName("kovar-ready")[0].startTime));
    shown.push(await (await page.waitForFunction(() => window.kovarShown)).jsonValue());
    await context.close();
  }

  // ---- F7 and F9 ----
  const context = await browser.newContext();
  const page = await openPage(context, server.url);
  const [chooser] = await Promise.all([page.waitForEvent("filechooser"), page.getByRole("button", { name: "Открыть..." }).click()]);
  await chooser.setFiles({ name: "loop.kasm", mimeType: "text/plain", buffer: Buffer.from(kLoop) });
  await page.getByRole("button", { name: "Ассемблировать" }).click();
  const press = (key, times) =>
    page.evaluate(
      async ({ key, times }) => {
        const out = [];
        const closeDialogs = () => {
          for (const d of document.querySelectorAll("dialog[open]")) d.close();
        };
        for (let i = 0; i < times; i++) {
          // The step-limit report of the last press (a modal dialog opens
          // after the key's handler) is closed outside the measured time:
          // with a dialog open, the page ignores the keys.
          await new Promise((r) => setTimeout(r, 0));
          closeDialogs();
          const t0 = performance.now();
          window.dispatchEvent(new KeyboardEvent("keydown", { key, bubbles: true, cancelable: true }));
          document.body.getBoundingClientRect(); // style and layout of what changed
          out.push(performance.now() - t0);
        }
        await new Promise((r) => setTimeout(r, 0));
        closeDialogs();
        return out;
      },
      { key, times },
    );
  await press("F9", 5); // warm-up
  const f7 = await press("F7", 300);
  const f9 = await press("F9", 60);
  const lines = () =>
    page.evaluate(() => Math.max(...[...document.querySelectorAll(".trace-row[data-line]")].map((r) => Number(r.dataset.line) + 1)));
  while ((await lines()) < 1_000_000) await press("F9", 20);
  const f9Million = await press("F9", 40);
  const traceLines = Math.round(await lines());
  const memory = await page.evaluate(() => performance.memory?.usedJSHeapSize ?? 0);

  console.log("KOVAR 3 in the browser: Chromium", browser.version());
  console.log("\nFirst visit (every file of web/dist):");
  for (const [name, size, z] of rows) console.log(`  ${name.padEnd(40)} ${String(size).padStart(8)} B  gzip ${String(z).padStart(7)} B`);
  console.log(`  ${"total".padEnd(40)} ${String(raw).padStart(8)} B  gzip ${String(gz).padStart(7)} B (${(gz / 1024).toFixed(1)} KiB; limit 600 KB)`);
  console.log(`\nPage ready after navigation:       median ${ms(median(ready))}, max ${ms(Math.max(...ready))} (engine started, controls answer)`);
  console.log(`Page interactive after navigation: median ${ms(median(shown))}, max ${ms(Math.max(...shown))} (and on the screen; limit 500 ms)`);
  console.log(`F7, one step:                      median ${ms(median(f7))}, 90% ${ms(pct(f7, 0.9))} (limit 2 ms)`);
  console.log(`F9, 1000 traced steps:             median ${ms(median(f9))}, 90% ${ms(pct(f9, 0.9))} (limit 10 ms)`);
  console.log(`F9 with ${traceLines.toLocaleString("en")} lines in the pane: median ${ms(median(f9Million))}, 90% ${ms(pct(f9Million, 0.9))}`);
  if (memory) console.log(`JavaScript heap with those lines:  ${(memory / 1048576).toFixed(1)} MiB (the lines live in the engine)`);
  await context.close();
} finally {
  await browser.close();
  await server.stop();
}
