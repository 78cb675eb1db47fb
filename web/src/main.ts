// Starts the page: loads the engine, builds the views, restores the stored
// work and registers the service worker that keeps the page usable offline.
import { App } from "./app";
import { el } from "./dom";
import { loadEngine } from "./engine";

async function main() {
  const root = document.getElementById("app")!;
  try {
    const engine = await loadEngine();
    root.textContent = "";
    const app = new App(engine, root);
    await app.start();
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
