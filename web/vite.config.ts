// Builds the page into dist/ with relative URLs only, so that the folder
// works from any static host and any sub-folder. After the bundle is
// written, the service worker is emitted with the list of every file the
// page needs, so that the first visit caches them all.
import { createHash } from "node:crypto";
import { readFileSync } from "node:fs";
import { defineConfig, type Plugin } from "vite";

function serviceWorker(): Plugin {
  return {
    name: "kovar-service-worker",
    apply: "build",
    generateBundle(_options, bundle) {
      const files = Object.keys(bundle).sort();
      const hash = createHash("sha256");
      for (const name of files) {
        const item = bundle[name];
        hash.update(name);
        hash.update(item.type === "chunk" ? item.code : item.source);
      }
      const template = readFileSync(new URL("./src/service-worker.js", import.meta.url), "utf8");
      const source = template
        .replace("__VERSION__", JSON.stringify(hash.digest("hex").slice(0, 16)))
        .replace("__FILES__", JSON.stringify(["./", ...files.map((f) => `./${f}`)]));
      this.emitFile({ type: "asset", fileName: "sw.js", source });
    },
  };
}

export default defineConfig({
  base: "./",
  build: {
    outDir: "dist",
    emptyOutDir: true,
    target: "es2022",
    // Nothing becomes a data: URL: the policy of the page allows only its own files.
    assetsInlineLimit: 0,
    modulePreload: { polyfill: false },
    reportCompressedSize: false,
  },
  plugins: [serviceWorker()],
});
