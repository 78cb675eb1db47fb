// The trace pane: every line of the engine's trace log, shown as a virtual
// list that draws only the rows in sight and reads just those lines from the
// engine, so a million lines cost no more to show than ten. Ctrl+F opens a find bar (Enter next, Shift+Enter previous, Esc
// closes); every match in sight is marked.
import { el } from "./dom";

// Where the lines come from: the engine's trace log, read a screenful at a time.
export interface TraceSource {
  count(): number;
  lines(first: number, n: number): string[];
  // The first line at or after `from` (at or before it, backwards) holding
  // the text, ignoring case; -1 when none does.
  find(text: string, from: number, backward: boolean): number;
}

// Browsers cap an element's height near 33 million pixels; past this the
// scroll position is mapped onto the lines in proportion.
const kMaxScrollHeight = 8_000_000;

export class TraceView {
  readonly element: HTMLElement;
  private scroller: HTMLElement;
  private rowsBox: HTMLElement;
  private spacer: HTMLElement;
  private rows: HTMLElement[] = [];
  private rowHeight = 16;
  private viewHeight = 0; // the scroller's client height, from the resize observer
  private top = 0; // its scroll position, as last set or scrolled to
  // Line i is shown by row i % rows.length, each row placed by itself: a
  // step that adds a few lines rewrites only the rows of those lines, and
  // the others keep their text and layout.
  private rowLines: number[] = []; // the line each row shows, -1 for none
  private rowY: number[] = []; // where each row is placed, as last written
  private findBar: HTMLElement;
  readonly findField: HTMLInputElement;
  private current = -1; // the line the find bar stopped at
  private scheduled = false;
  private length = 0; // lines shown
  private lastHeading = -1; // the heading of the step executed last
  private headingKnown = true; // false after new lines, until render finds it

  constructor(private source: TraceSource) {
    this.findField = el("input", {
      type: "search",
      placeholder: "Найти",
      "aria-label": "Найти",
      title: "Enter — следующее, Shift+Enter — предыдущее, Esc — закрыть",
      autocomplete: "off",
      spellcheck: "false",
    });
    const tool = (caption: string, hint: string, act: () => void) => {
      const b = el("button", { type: "button", text: caption, title: hint, "aria-label": hint });
      b.addEventListener("click", act);
      return b;
    };
    this.findBar = el(
      "div",
      { class: "find-bar", hidden: true },
      this.findField,
      tool("↑", "Предыдущее (Shift+Enter)", () => this.findNext(true)),
      tool("↓", "Следующее (Enter)", () => this.findNext(false)),
      tool("×", "Закрыть (Esc)", () => this.closeFind()),
    );
    this.findField.addEventListener("keydown", (e) => {
      if (e.key === "Enter") {
        e.preventDefault();
        this.findNext(e.shiftKey);
      } else if (e.key === "Escape") {
        e.preventDefault();
        this.closeFind();
      }
    });
    this.findField.addEventListener("input", () => this.render());

    this.rowsBox = el("div", { class: "trace-rows" });
    this.spacer = el("div", { class: "trace-spacer" });
    this.scroller = el(
      "div",
      {
        class: "trace-scroller",
        tabindex: 0,
        role: "log",
        "aria-label": "Отладка",
        "aria-live": "off",
      },
      this.rowsBox,
      this.spacer,
    );
    this.scroller.addEventListener("scroll", () => {
      this.top = this.scroller.scrollTop;
      this.schedule();
    });
    this.scroller.addEventListener("keydown", (e) => {
      if (e.key === "f" && (e.ctrlKey || e.metaKey) && !e.altKey) {
        e.preventDefault();
        this.openFind();
      }
    });
    new ResizeObserver(() => this.layout()).observe(this.scroller);
    this.element = el("div", { class: "trace" }, this.findBar, this.scroller);
  }

  focus() {
    this.scroller.focus();
  }

  openFind() {
    this.findBar.hidden = false;
    this.findField.focus();
    this.findField.select();
    this.render();
  }

  closeFind() {
    this.findBar.hidden = true;
    this.current = -1;
    this.scroller.focus();
    this.render();
  }

  // The next match after the current line (before it, backwards), going
  // round the end.
  findNext(backwards: boolean): boolean {
    const n = this.length;
    const needle = this.findField.value;
    if (!needle || n === 0) return false;
    const from = this.current >= 0 ? this.current : backwards ? 0 : n - 1;
    let at = -1;
    if (backwards) {
      if (from > 0) at = this.source.find(needle, from - 1, true);
      if (at < 0) at = this.source.find(needle, n - 1, true);
    } else {
      if (from + 1 < n) at = this.source.find(needle, from + 1, false);
      if (at < 0) at = this.source.find(needle, 0, false);
    }
    if (at < 0) return false;
    this.current = at;
    this.showLine(at);
    return true;
  }

  private visibleRows(): number {
    return Math.max(1, Math.floor(this.viewHeight / this.rowHeight));
  }

  // After a change of the pane's size (the layout is done then, so reading
  // it costs nothing): the rows that fill it.
  private layout() {
    this.rowHeight = parseFloat(getComputedStyle(this.scroller).lineHeight) || 17;
    this.viewHeight = this.scroller.clientHeight;
    this.top = this.scroller.scrollTop;
    const want = Math.ceil(this.viewHeight / this.rowHeight) + 1;
    if (want !== this.rows.length) {
      while (this.rows.length < want) this.rows.push(this.rowsBox.appendChild(el("div", { class: "trace-row unused" })));
      while (this.rows.length > want) this.rows.pop()!.remove();
      // Another row count shows every line in another row.
      this.rowLines = this.rows.map(() => -2);
      this.rowY = this.rows.map(() => -1);
    }
    this.sync(false);
  }

  private contentHeight(): number {
    return Math.min(this.length * this.rowHeight, kMaxScrollHeight);
  }

  // The first line in sight for the scroll position.
  private firstLine(): number {
    const n = this.length;
    const height = this.contentHeight();
    if (height < kMaxScrollHeight) return Math.max(0, Math.min(n - 1, Math.floor(this.top / this.rowHeight)));
    const room = Math.max(0, n - this.visibleRows());
    const range = height - this.viewHeight;
    return range <= 0 ? 0 : Math.min(room, Math.round((this.top / range) * room));
  }

  private scrollTopFor(line: number): number {
    const height = this.contentHeight();
    if (height < kMaxScrollHeight) return line * this.rowHeight;
    const room = Math.max(1, this.length - this.visibleRows());
    return (line / room) * (height - this.viewHeight);
  }

  private showLine(line: number) {
    const first = this.firstLine();
    const visible = this.visibleRows();
    if (line < first || line >= first + visible) {
      this.scroller.scrollTop = this.scrollTopFor(Math.max(0, line - Math.floor(visible / 2)));
      this.top = this.scroller.scrollTop;
    }
    this.render();
  }

  // Brings the pane up to the engine's lines: the spacer takes their height
  // and, when asked, the view goes to the last line. Only the scroll
  // position, when it moves, makes the browser lay the pane out at once;
  // the rest waits for the page's next layout.
  sync(toBottom: boolean) {
    const n = this.source.count();
    if (n !== this.length || toBottom) {
      this.length = n;
      this.headingKnown = false;
    }
    const height = this.contentHeight();
    const spacer = `${height}px`;
    if (this.spacer.style.height !== spacer) this.spacer.style.height = spacer;
    if (this.current >= this.length) this.current = -1;
    if (toBottom) {
      const bottom = Math.max(0, height - this.viewHeight);
      if (bottom !== this.top) {
        this.scroller.scrollTop = bottom;
        this.top = bottom;
      }
    }
    this.render();
  }

  private schedule() {
    if (this.scheduled) return;
    this.scheduled = true;
    requestAnimationFrame(() => {
      this.scheduled = false;
      this.render();
    });
  }

  private render() {
    const n = this.length;
    const first = this.firstLine();
    const needle = this.findBar.hidden ? "" : this.findField.value.toLowerCase();
    const linear = this.contentHeight() < kMaxScrollHeight;
    const count = this.rows.length;
    const lines = this.source.lines(first, Math.min(count, n - first));
    if (!this.headingKnown) this.findLastHeading(first, lines);
    for (let k = 0; k < count; k++) {
      const i = first + k;
      const r = i % count;
      const row = this.rows[r];
      if (k >= lines.length) {
        if (this.rowLines[r] !== -1) {
          this.rowLines[r] = -1;
          row.textContent = "";
          row.className = "trace-row unused";
          delete row.dataset.line;
        }
        continue;
      }
      const text = lines[k];
      let cls = "trace-row";
      if (text.startsWith("PC: ")) cls += i === this.lastHeading ? " heading last" : " heading";
      if (i === this.current) cls += " current";
      if (row.className !== cls) row.className = cls;
      if (this.rowLines[r] !== i) {
        this.rowLines[r] = i;
        row.dataset.line = String(i);
      }
      const y = linear ? i * this.rowHeight : this.top + k * this.rowHeight;
      if (this.rowY[r] !== y) {
        this.rowY[r] = y;
        row.style.transform = `translateY(${y}px)`;
      }
      if (needle && text.toLowerCase().includes(needle)) markMatches(row, text, needle);
      else {
        // The row's one text node takes the new text in place.
        const node = row.firstChild;
        if (node instanceof Text && node === row.lastChild) {
          if (node.data !== text) node.data = text;
        } else row.textContent = text;
      }
    }
  }

  // The heading of the step executed last: among the lines just read when
  // they reach the end, else among the last 64.
  private findLastHeading(first: number, lines: string[]) {
    const n = this.length;
    this.headingKnown = true;
    this.lastHeading = -1;
    if (first + lines.length === n)
      for (let i = lines.length - 1; i >= 0; i--)
        if (lines[i].startsWith("PC: ")) {
          this.lastHeading = first + i;
          return;
        }
    const tail = Math.min(n, 64);
    const last = this.source.lines(n - tail, tail);
    for (let i = last.length - 1; i >= 0; i--)
      if (last[i].startsWith("PC: ")) {
        this.lastHeading = n - tail + i;
        return;
      }
  }
}

// `needle` in lower case.
function markMatches(row: HTMLElement, text: string, want: string) {
  const lower = text.toLowerCase();
  row.textContent = "";
  let at = 0;
  for (let k = lower.indexOf(want); k >= 0; k = lower.indexOf(want, k + want.length)) {
    row.append(text.slice(at, k), el("mark", { text: text.slice(k, k + want.length) }));
    at = k + want.length;
  }
  row.append(text.slice(at));
}
