// A link that carries a program: the source text, deflated and written in
// base64url into the URL's fragment ("#p=..."). The fragment never leaves
// the browser, so no server sees the program.

export const kLinkPrefix = "p=";
// A program text the assembler takes is at most this long; a fragment that
// would inflate beyond it is refused (no link can make the tab inflate
// without end).
export const kMaxLinkSource = 1 << 20;

function toBase64Url(bytes: Uint8Array): string {
  let s = "";
  for (let i = 0; i < bytes.length; i += 0x8000) s += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  return btoa(s).replace(/\+/g, "-").replace(/\//g, "_").replace(/=+$/, "");
}

function fromBase64Url(text: string): Uint8Array<ArrayBuffer> | null {
  if (!/^[A-Za-z0-9_-]*$/.test(text)) return null;
  try {
    const s = atob(text.replace(/-/g, "+").replace(/_/g, "/"));
    const out = new Uint8Array(s.length);
    for (let i = 0; i < s.length; i++) out[i] = s.charCodeAt(i);
    return out;
  } catch {
    return null;
  }
}

async function pump(stream: ReadableStream<Uint8Array>, limit: number): Promise<Uint8Array<ArrayBuffer> | null> {
  const reader = stream.getReader();
  const parts: Uint8Array[] = [];
  let size = 0;
  try {
    for (;;) {
      const { done, value } = await reader.read();
      if (done) break;
      size += value.length;
      if (size > limit) {
        await reader.cancel();
        return null;
      }
      parts.push(value);
    }
  } catch {
    return null;
  }
  const out = new Uint8Array(size);
  let at = 0;
  for (const p of parts) {
    out.set(p, at);
    at += p.length;
  }
  return out;
}

export async function makeLink(source: string, base: string): Promise<string> {
  const bytes = new TextEncoder().encode(source);
  const packed = await pump(new Blob([bytes]).stream().pipeThrough(new CompressionStream("deflate-raw")), Infinity);
  return `${base.split("#")[0]}#${kLinkPrefix}${toBase64Url(packed!)}`;
}

// The program of a fragment ("#p=..."), null when the fragment holds none,
// or an error when it holds one that cannot be read.
export async function readLink(fragment: string): Promise<{ source: string } | { error: string } | null> {
  const body = fragment.replace(/^#/, "");
  if (!body.startsWith(kLinkPrefix)) return null;
  const bytes = fromBase64Url(body.slice(kLinkPrefix.length));
  if (!bytes) return { error: "Ссылка повреждена: программу из неё прочитать нельзя." };
  const input = new Blob([bytes]).stream().pipeThrough(new DecompressionStream("deflate-raw"));
  const raw = await pump(input, kMaxLinkSource);
  if (!raw) return { error: "Ссылка повреждена или программа в ней слишком велика: программу из неё прочитать нельзя." };
  try {
    return { source: new TextDecoder("utf-8", { fatal: true }).decode(raw) };
  } catch {
    return { error: "Ссылка повреждена: программа в ней не является текстом UTF-8." };
  }
}
