// Starts the page: loads the engine, builds the views, restores the stored
// work and registers the service worker that keeps the page usable offline.
import { el } from "./dom";
import { loadEngine } from "./engine";

async function main() {
  const root = document.getElementById("app")!;
  // The engine compiles while the rest of the page (the editor above all)
  // loads and parses.
  const app = import("./app");
  try {
    const engine = await loadEngine();
    const { App } = await app;
    root.textContent = "";
    await new App(engine, root).start();
    document.documentElement.dataset.ready = "1";
    performance.mark("kovar-ready");
  } catch (error) {
    root.textContent = "";
    root.append(el("p", { class: "fatal", role: "alert", text: `Симулятор не удалось запустить: ${String(error)}` }));
    throw error;
  }
  if ("serviceWorker" in navigator && location.protocol !== "file:")
    navigator.serviceWorker.register("./sw.js", { scope: "./" }).catch(() => {
      // Without the worker the page still works; it only needs the network.
    });
}

void main();
