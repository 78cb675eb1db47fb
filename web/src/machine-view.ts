// The machine's views, as in the desktop's simulator window: memory (a
// window of 28 cells with an address field, a scroll bar and "Начало" /
// "Конец"), the FL box and the PC field with the run button, and the pages
// "DS", "RS" and "URD". Every value is shown in hexadecimal and can be
// overwritten; the conversions and their error texts are the engine's. A
// value that the last command changed has an amber background.
import { el, hex } from "./dom";
import { Engine, Place, kChangesDS, kChangesFL, kChangesPC, kChangesRS, kChangesURD } from "./engine";
import { field, onExit, show } from "./fields";

export const kCells = 28;
const kMaxBase = 1001 - kCells; // 973

export interface ViewHost {
  engine: Engine;
  // After an edit: show the engine's messages, then bring every view and
  // the stored work up to date.
  edited(): void;
  run(): void; // the run button
}

function decimalText(value: number): string {
  return `Без знака: ${value >>> 0}\nСо знаком: ${value | 0}`;
}

export class MachineView {
  readonly memory: HTMLElement;
  readonly registers: HTMLElement;
  readonly cells: HTMLInputElement[] = [];
  private labels: HTMLLabelElement[] = [];
  private base = 0;
  private bar: HTMLInputElement;
  private address: HTMLInputElement;
  readonly pc: HTMLInputElement;
  readonly fl: HTMLInputElement;
  private stacks: HTMLInputElement[][] = [[], []];
  private urd: HTMLInputElement[] = [];
  private tabs: HTMLButtonElement[] = [];
  private pages: HTMLElement[] = [];

  constructor(private host: ViewHost) {
    const e = host.engine;

    // ---- memory ----
    this.address = field({ label: "Адрес", value: "00000000", cls: "word" });
    const jump = el("button", { type: "button", class: "icon", text: "→", "aria-label": "Переход на адрес в памяти", title: "Переход на адрес в памяти" });
    jump.addEventListener("click", () => this.BitBtn6Click());
    const grid = el("div", { class: "mem-grid" });
    for (let i = 0; i < kCells; i++) {
      const id = `cell-${i}`;
      const input = field({ label: "", maxLength: 2, cls: "cell" });
      input.removeAttribute("aria-label");
      input.id = id;
      const label = el("label", { for: id, class: "addr" });
      label.addEventListener("dblclick", (ev) => {
        ev.preventDefault();
        this.BP(i);
      });
      onExit(input, () => this.RAMExit(i));
      input.addEventListener("input", () => input.classList.remove("changed"));
      // A click into a cell selects its two digits, so typing replaces them
      // (the cell holds no more than two characters).
      input.addEventListener("mousedown", (ev) => {
        if (document.activeElement === input) return;
        ev.preventDefault();
        input.focus();
        input.select();
      });
      const tip = () => (input.title = this.memoryTip(this.base + i));
      input.addEventListener("pointerenter", tip);
      input.addEventListener("focus", tip);
      input.style.gridRow = String((i % 14) + 1);
      label.style.gridRow = String((i % 14) + 1);
      label.style.gridColumn = String(2 * Math.floor(i / 14) + 1);
      input.style.gridColumn = String(2 * Math.floor(i / 14) + 2);
      grid.append(label, input);
      this.cells.push(input);
      this.labels.push(label);
    }
    this.bar = el("input", {
      type: "range",
      min: 0,
      max: 1000,
      step: 1,
      value: 0,
      class: "mem-bar",
      "aria-label": "Прокрутка памяти",
      "aria-orientation": "vertical",
    });
    this.bar.addEventListener("input", () => this.ScrollBarMemScroll(Number(this.bar.value)));
    grid.addEventListener(
      "wheel",
      (ev) => {
        if (ev.deltaY === 0) return;
        ev.preventDefault();
        const position = Math.min(1000, Math.max(0, Number(this.bar.value) + Math.sign(ev.deltaY) * 3));
        this.bar.value = String(position);
        this.ScrollBarMemScroll(position);
      },
      { passive: false },
    );
    const start = el("button", { type: "button", text: "Начало", title: "Начало памяти" });
    start.addEventListener("click", () => this.GoAdress(0));
    const end = el("button", { type: "button", text: "Конец", title: "Конец памяти" });
    end.addEventListener("click", () => this.GoAdress(1000));

    this.fl = el("input", { type: "checkbox", id: "fl" });
    this.fl.addEventListener("change", () => {
      this.fl.parentElement!.classList.remove("changed");
      e.set(Place.FL, 0, this.fl.checked ? 1 : 0);
      host.edited();
    });
    this.pc = field({ label: "PC", value: "00000000", cls: "word", hint: "Programm counter" });
    this.pc.id = "pc";
    onExit(this.pc, () => this.EditPCExit());
    this.pc.addEventListener("input", () => this.pc.classList.remove("changed"));
    this.pc.addEventListener("pointerenter", () => (this.pc.title = `Programm counter\n${decimalText(e.get(Place.PC))}`));
    const runButton = el("button", { type: "button", class: "icon run", text: "▶", "aria-label": "Запуск программы", title: "Запуск программы" });
    runButton.addEventListener("click", () => host.run());

    this.memory = el(
      "section",
      { class: "panel memory", "aria-labelledby": "memory-title" },
      el("div", { class: "mem-head" }, el("h2", { id: "memory-title", text: "Память" }), this.address, jump),
      el("div", { class: "mem-body" }, grid, this.bar),
      el("div", { class: "mem-ends" }, start, end),
      el(
        "div",
        { class: "pc-row" },
        el("label", { class: "fl" }, this.fl, "FL"),
        el("label", { for: "pc", text: "PC", title: "Programm counter" }),
        this.pc,
        runButton,
      ),
    );

    // ---- stacks and user registers ----
    const tablist = el("div", { role: "tablist", class: "tabs", "aria-label": "Стеки и регистры" });
    const names = ["DS", "RS", "URD"];
    const headings = ["Date Stack", "Return Stack", "User Register"];
    for (let p = 0; p < 3; p++) {
      const tab = el("button", { type: "button", role: "tab", id: `tab-${names[p]}`, "aria-controls": `page-${names[p]}`, text: names[p] });
      tab.addEventListener("click", () => this.showPage(p));
      tab.addEventListener("keydown", (ev) => {
        if (ev.key === "ArrowRight" || ev.key === "ArrowLeft") {
          const next = (p + (ev.key === "ArrowRight" ? 1 : 2)) % 3;
          this.showPage(next);
          this.tabs[next].focus();
        }
      });
      tablist.append(tab);
      this.tabs.push(tab);
      const page = el("div", { role: "tabpanel", id: `page-${names[p]}`, "aria-labelledby": tab.id, class: "page" }, el("div", { class: "page-title", text: headings[p] }));
      const rows = p < 2 ? 16 : 4;
      for (let i = 0; i < rows; i++) {
        const name = p < 2 ? (i === 0 ? "T" : i === 1 ? "S" : (i + 1).toString(16).toUpperCase()) + (p === 0 ? "OS" : "OR") : `URD${i}`;
        const input = field({ label: name, maxLength: 8, cls: "word" });
        input.removeAttribute("aria-label");
        input.id = `${names[p]}-${i}`;
        const place = p === 0 ? Place.DS : p === 1 ? Place.RS : Place.URD;
        onExit(input, () => this.ItemExit(place, i, input));
        input.addEventListener("input", () => input.classList.remove("changed"));
        input.addEventListener("pointerenter", () => (input.title = decimalText(e.get(place, i))));
        page.append(el("div", { class: "reg-row" }, el("label", { for: input.id, text: name }), input));
        if (p < 2) this.stacks[p].push(input);
        else this.urd.push(input);
      }
      this.pages.push(page);
    }
    this.registers = el("section", { class: "panel registers", "aria-label": "Стеки и регистры" }, tablist, ...this.pages);
    this.showPage(0);
  }

  private showPage(p: number) {
    this.tabs.forEach((t, i) => {
      t.setAttribute("aria-selected", String(i === p));
      t.tabIndex = i === p ? 0 : -1;
    });
    this.pages.forEach((page, i) => (page.hidden = i !== p));
  }

  private memoryTip(address: number): string {
    const e = this.host.engine;
    const byte = e.get(Place.Memory, address);
    const word = e.instructionWord(address);
    return (
      `Байт: ${byte} без знака, ${(byte << 24) >> 24} со знаком\n` +
      `Слово с этого адреса (старший байт первым, как хранятся команды): ${hex(word, 8)}\n` +
      `= ${word >>> 0} без знака, ${word | 0} со знаком`
    );
  }

  // ---- the desktop's handlers ----

  GoAdress(target: number) {
    this.base = Math.min(kMaxBase, Math.max(0, target | 0));
    this.bar.value = String(this.base);
    this.refreshMemory();
  }

  ScrollBarMemScroll(position: number) {
    this.GoAdress(position);
    // The bar stays where the user moved it, also where the view was clamped.
    this.bar.value = String(position);
  }

  BitBtn6Click() {
    const e = this.host.engine;
    const target = e.hexToInt(this.address.value);
    this.GoAdress(target);
    this.address.value = e.intToHex(target, 4);
    this.host.edited();
  }

  RAMExit(i: number) {
    this.host.engine.setText(Place.Memory, this.base + i, this.cells[i].value);
    this.host.edited();
  }

  BP(i: number) {
    this.host.engine.toggleMark(this.base + i);
    this.host.edited();
  }

  // F5 on the memory cell that has the focus.
  toggleFocusedMark(): boolean {
    const i = this.cells.indexOf(document.activeElement as HTMLInputElement);
    if (i < 0) return false;
    this.BP(i);
    return true;
  }

  ItemExit(place: Place, i: number, input: HTMLInputElement) {
    this.host.engine.setText(place, i, input.value);
    this.host.edited();
  }

  EditPCExit() {
    this.host.engine.setText(Place.PC, 0, this.pc.value);
    this.host.edited();
  }

  // ---- redrawing from the engine ----

  refreshMemory() {
    const e = this.host.engine;
    const memory = e.memory();
    const marks = e.marks();
    const changes = e.changes();
    for (let i = 0; i < kCells; i++) {
      const a = this.base + i;
      show(this.cells[i], hex(memory[a], 2));
      this.cells[i].classList.toggle("changed", changes[a] !== 0);
      const label = this.labels[i];
      const text = hex(a, 8);
      if (label.textContent !== text) label.textContent = text;
      label.classList.toggle("mark", marks[a] !== 0);
      const name = marks[a] !== 0 ? `${text}, точка останова` : text;
      if (this.cells[i].getAttribute("aria-description") !== name) this.cells[i].setAttribute("aria-description", name);
    }
  }

  refresh() {
    const e = this.host.engine;
    this.refreshMemory();
    const changes = e.changes();
    const offsets = [kChangesDS, kChangesRS];
    for (let s = 0; s < 2; s++) {
      const values = e.stack(s === 0 ? Place.DS : Place.RS);
      let any = false;
      for (let i = 0; i < 16; i++) {
        show(this.stacks[s][i], hex(values[i], 8));
        const changed = changes[offsets[s] + i] !== 0;
        this.stacks[s][i].classList.toggle("changed", changed);
        any ||= changed;
      }
      this.tabs[s].classList.toggle("changed", any);
    }
    const urd = e.urd();
    let anyURD = false;
    for (let i = 0; i < 4; i++) {
      show(this.urd[i], hex(urd[i], 8));
      const changed = changes[kChangesURD + i] !== 0;
      this.urd[i].classList.toggle("changed", changed);
      anyURD ||= changed;
    }
    this.tabs[2].classList.toggle("changed", anyURD);
    show(this.pc, hex(e.get(Place.PC), 8));
    this.pc.classList.toggle("changed", changes[kChangesPC] !== 0);
    this.fl.checked = e.get(Place.FL) !== 0;
    this.fl.parentElement!.classList.toggle("changed", changes[kChangesFL] !== 0);
  }
}
