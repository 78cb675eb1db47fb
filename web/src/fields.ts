// Edit fields whose typed text takes effect when the focus leaves them, as
// on the desktop: the exit handler converts the text, stores it and writes
// the stored value back. The handler also runs before any command acts, so
// that every command sees what was typed. Switching to another tab or
// window runs nothing; the text stays typed until the focus leaves the
// field inside the page.

const exits = new Map<HTMLElement, () => void>();

export function onExit(field: HTMLInputElement, handler: () => void) {
  exits.set(field, handler);
  field.addEventListener("blur", () => {
    if (document.hasFocus()) handler();
  });
}

// Runs the exit handler of the field that has the focus, if it has one.
export function commitFocused() {
  const focused = document.activeElement;
  if (focused instanceof HTMLElement) exits.get(focused)?.();
}

export function field(attrs: { label: string; maxLength?: number; value?: string; cls?: string; hint?: string }) {
  const input = document.createElement("input");
  input.type = "text";
  input.autocomplete = "off";
  input.spellcheck = false;
  input.setAttribute("autocapitalize", "off");
  input.setAttribute("aria-label", attrs.label);
  if (attrs.maxLength !== undefined) input.maxLength = attrs.maxLength;
  if (attrs.value !== undefined) input.value = attrs.value;
  if (attrs.cls) input.className = attrs.cls;
  if (attrs.hint) input.title = attrs.hint;
  return input;
}

// Writes a value only when it differs: a Run refreshes the same fields often.
export function show(input: HTMLInputElement, text: string) {
  if (input.value !== text) input.value = text;
}
