// Keeps the user's work in the browser's storage, so that the program text
// and the machine survive a reload or a closed tab, and makes sure that two
// tabs never overwrite each other's work without saying so.
//
// One tab at a time owns the stored work: it holds a Web Lock for as long as
// it lives (the browser releases it when the tab closes or crashes). A tab
// opened while another owns the work loads the stored work but does not
// write it; it says so in a bar, and its button takes the work over, upon
// which the former owner stops writing and says so in its own bar.

const kKey = "kovar3.work";
const kLock = "kovar3-work-owner";

export interface Work {
  source: string;
  image: string; // the 2148 image bytes, base64
  pc: number; // the whole PC (the image keeps only 16 bits)
  fl: boolean;
  trace: boolean; // the trace switch
  sourceName: string;
}

export function readWork(): Work | null {
  try {
    const text = localStorage.getItem(kKey);
    if (!text) return null;
    const w = JSON.parse(text) as Partial<Work>;
    if (typeof w !== "object" || w === null) return null;
    return {
      source: typeof w.source === "string" ? w.source : "",
      image: typeof w.image === "string" ? w.image : "",
      pc: typeof w.pc === "number" ? w.pc | 0 : 0,
      fl: w.fl === true,
      trace: w.trace !== false,
      sourceName: typeof w.sourceName === "string" ? w.sourceName : "",
    };
  } catch {
    return null;
  }
}

export function bytesToBase64(bytes: Uint8Array): string {
  let s = "";
  for (let i = 0; i < bytes.length; i += 0x8000) s += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  return btoa(s);
}

export function base64ToBytes(text: string): Uint8Array {
  try {
    const s = atob(text);
    const out = new Uint8Array(s.length);
    for (let i = 0; i < s.length; i++) out[i] = s.charCodeAt(i);
    return out;
  } catch {
    return new Uint8Array(0);
  }
}

export type OwnerChange = (owner: boolean) => void;

export class WorkStore {
  private owner = false;
  private timer = 0;
  private pending: (() => Work) | null = null;

  constructor(private onOwnerChange: OwnerChange) {}

  get isOwner(): boolean {
    return this.owner;
  }

  // Tries to become the owner without waiting; `steal` takes the work over
  // from another tab.
  async claim(steal: boolean): Promise<boolean> {
    if (!("locks" in navigator)) {
      this.setOwner(true);
      return true;
    }
    return new Promise<boolean>((resolve) => {
      const options: LockOptions = steal ? { steal: true } : { ifAvailable: true };
      navigator.locks
        .request(kLock, options, (lock) => {
          if (!lock) {
            this.onOwnerChange(false); // another tab owns the work
            resolve(false);
            return undefined;
          }
          this.setOwner(true);
          resolve(true);
          // Held until the tab closes, or another tab takes it.
          return new Promise<void>(() => {});
        })
        .catch(() => {
          // Another tab took the work over.
          this.setOwner(false);
        });
    });
  }

  private setOwner(owner: boolean) {
    if (this.owner === owner) return;
    this.owner = owner;
    if (!owner) {
      clearTimeout(this.timer);
      this.pending = null;
    }
    this.onOwnerChange(owner);
  }

  // Writes the work soon (the latest state wins); only the owner writes.
  save(work: () => Work) {
    if (!this.owner) return;
    this.pending = work;
    clearTimeout(this.timer);
    this.timer = window.setTimeout(() => this.flush(), 250);
  }

  flush() {
    clearTimeout(this.timer);
    const work = this.pending;
    this.pending = null;
    if (!work || !this.owner) return;
    try {
      localStorage.setItem(kKey, JSON.stringify(work()));
    } catch {
      // Storage full or forbidden: the work stays in the tab.
    }
  }

  // Writes now, whatever is pending.
  saveNow(work: () => Work) {
    if (!this.owner) return;
    this.pending = work;
    this.flush();
  }
}
