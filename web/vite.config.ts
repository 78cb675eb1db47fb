// Builds the page into dist/ with relative URLs only, so that the folder
// works from any static host and any sub-folder. After the files are
// written, the service worker is written beside them with the list of every
// file of the page, so that the first visit caches them all.
import { createHash } from "node:crypto";
import { readFileSync, readdirSync, statSync, writeFileSync } from "node:fs";
import { join, relative } from "node:path";
import { defineConfig, type Plugin } from "vite";

function filesIn(dir: string): string[] {
  return readdirSync(dir).flatMap((f) => (statSync(join(dir, f)).isDirectory() ? filesIn(join(dir, f)) : [join(dir, f)]));
}

function serviceWorker(): Plugin {
  let outDir = "dist";
  return {
    name: "kovar-service-worker",
    apply: "build",
    configResolved(config) {
      outDir = config.build.outDir;
    },
    writeBundle() {
      // The engine and the script of the views (which the start script
      // imports only when it runs) are fetched as soon as the page is read,
      // beside the start script, instead of one after another.
      const html = join(outDir, "index.html");
      const built = filesIn(outDir).map((f) => relative(outDir, f).split("\\").join("/"));
      const entry = /<script type="module" crossorigin src="\.\/([^"]+)"/.exec(readFileSync(html, "utf8"))?.[1];
      const links = [
        ...built.filter((f) => f.endsWith(".wasm")).map((f) => `<link rel="preload" href="./${f}" as="fetch" type="application/wasm" crossorigin>`),
        ...built.filter((f) => f.endsWith(".js") && f !== entry && f !== "sw.js").map((f) => `<link rel="modulepreload" href="./${f}" crossorigin>`),
      ];
      writeFileSync(html, readFileSync(html, "utf8").replace("</title>", ["</title>", ...links].join("\n    ")));
      const files = filesIn(outDir)
        .map((f) => relative(outDir, f).split("\\").join("/"))
        .filter((f) => f !== "sw.js" && f !== "index.html")
        .sort();
      const hash = createHash("sha256");
      for (const f of ["index.html", ...files]) hash.update(f).update(readFileSync(join(outDir, f)));
      const template = readFileSync(new URL("./src/service-worker.js", import.meta.url), "utf8");
      const source = template
        .replace("__VERSION__", JSON.stringify(hash.digest("hex").slice(0, 16)))
        .replace("__FILES__", JSON.stringify(["./", ...files.map((f) => `./${f}`)]));
      writeFileSync(join(outDir, "sw.js"), source);
    },
  };
}

export default defineConfig({
  base: "./",
  build: {
    outDir: "dist",
    emptyOutDir: true,
    target: "es2022",
    // Nothing becomes a data: URL: the page's policy allows only its own files.
    assetsInlineLimit: 0,
    modulePreload: { polyfill: false },
    reportCompressedSize: false,
  },
  plugins: [serviceWorker()],
});
