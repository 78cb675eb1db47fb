// Building the page's elements. Every text, whether ours or the user's (a
// program, a file name, a loaded file, the link's fragment), goes in through
// textContent or an input's value, never as markup.

type Attrs = Record<string, string | number | boolean | undefined>;

export function el<K extends keyof HTMLElementTagNameMap>(
  tag: K,
  attrs: Attrs = {},
  ...children: (Node | string)[]
): HTMLElementTagNameMap[K] {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attrs)) {
    if (value === undefined || value === false) continue;
    if (name === "class") node.className = String(value);
    else if (name === "text") node.textContent = String(value);
    else node.setAttribute(name, value === true ? "" : String(value));
  }
  for (const child of children) node.append(child);
  return node;
}

// A button with a visible caption and, where the caption is short or a
// picture, an accessible name of its own and a hint.
export function button(caption: string, name: string, hint: string, onClick: () => void) {
  const b = el("button", { type: "button", text: caption, title: hint });
  if (name !== caption) b.setAttribute("aria-label", name);
  b.addEventListener("click", onClick);
  return b;
}

export function hex(value: number, digits: number): string {
  return (value >>> 0).toString(16).toUpperCase().padStart(digits, "0");
}

// Downloads bytes or text as a file with the given name.
export function download(name: string, data: BlobPart, type: string) {
  const url = URL.createObjectURL(new Blob([data], { type }));
  const a = el("a", { href: url, download: name });
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10_000);
}
