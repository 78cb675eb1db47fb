// Modal dialogs: the error dialog ("Ошибка", one message, "Ok"), the fault
// box of the calculator and the converter ("KOVAR"), and the question about
// unsaved work. Messages that arrive while one is open wait their turn.
import { el } from "./dom";

let chain: Promise<unknown> = Promise.resolve();
let open = 0;

export function dialogOpen(): boolean {
  return document.querySelector("dialog[open]") !== null;
}

function modal<T>(title: string, message: string, choices: [string, T][], cancel: T): Promise<T> {
  const run = () =>
    new Promise<T>((resolve) => {
      const text = el("p", { class: "dialog-message" });
      text.textContent = message;
      const heading = el("h2", { text: title, id: `dialog-title-${open}` });
      const row = el("div", { class: "dialog-buttons" });
      const dialog = el(
        "dialog",
        { class: "dialog", "aria-labelledby": heading.id, "aria-describedby": "" },
        heading,
        text,
        row,
      );
      let result = cancel;
      for (const [caption, value] of choices) {
        const b = el("button", { type: "button", text: caption });
        b.addEventListener("click", () => {
          result = value;
          dialog.close();
        });
        row.append(b);
      }
      dialog.addEventListener("close", () => {
        dialog.remove();
        open--;
        resolve(result);
      });
      open++;
      document.body.append(dialog);
      dialog.showModal();
      (row.firstElementChild as HTMLElement | null)?.focus();
    });
  const next = chain.then(run, run);
  chain = next;
  return next;
}

// ShowError: the message in the error dialog.
export function showError(message: string): Promise<void> {
  return modal("Ошибка", message, [["Ok", undefined]], undefined);
}

// A fault that ends a handler (calculator arithmetic, unreadable decimal).
export function showFault(message: string): Promise<void> {
  return modal("KOVAR", message, [["OK", undefined]], undefined);
}

export type SaveAnswer = "save" | "discard" | "cancel";

export function askSaveChanges(): Promise<SaveAnswer> {
  return modal<SaveAnswer>(
    "KOVAR",
    "Сохранить изменения?",
    [
      ["Сохранить", "save"],
      ["Не сохранять", "discard"],
      ["Отмена", "cancel"],
    ],
    "cancel",
  );
}

// A plain notice for what only the page can report (a file too large, a
// link that cannot be read).
export function showNotice(message: string): Promise<void> {
  return modal("KOVAR", message, [["OK", undefined]], undefined);
}
