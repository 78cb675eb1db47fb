// Starts the page: loads the engine, builds the views, restores the stored
// work and registers the service worker that keeps the page usable offline.
import { el } from "./dom";
import { loadEngine } from "./engine";
import { readWork } from "./storage";

// Resolves once the browser has drawn a frame with what the page holds now.
function drawn(): Promise<void> {
  // A tab in the background draws nothing until it is shown.
  if (document.visibilityState === "hidden") return Promise.resolve();
  return new Promise((resolve) =>
    requestAnimationFrame(() => {
      const channel = new MessageChannel();
      channel.port1.onmessage = () => resolve();
      channel.port2.postMessage(null);
    }),
  );
}

async function main() {
  const root = document.getElementById("app")!;
  try {
    // index.html has asked for the engine and the script of the views at
    // once; the engine compiles while that script loads and parses, and the
    // stored work (the browser's storage opens slowly the first time) is
    // read meanwhile.
    const parts = Promise.all([loadEngine(), import("./app")]);
    const work = readWork();
    const [engine, { App }] = await parts;
    await new App(engine).start(root, work);
  } catch (error) {
    root.textContent = "";
    root.append(el("p", { class: "fatal", role: "alert", text: `Симулятор не удалось запустить: ${String(error)}` }));
    throw error;
  }
  document.documentElement.dataset.ready = "1";
  performance.mark("kovar-ready");
  // The worker fetches every file of the page to keep it: after the page is
  // on the screen, so that it does not hold up the first view.
  await drawn();
  if ("serviceWorker" in navigator && location.protocol !== "file:")
    navigator.serviceWorker.register("./sw.js", { scope: "./" }).catch(() => {
      // Without the worker the page still works; it only needs the network.
    });
}

void main();
