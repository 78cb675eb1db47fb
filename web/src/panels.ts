// The panels beside the machine: the listing (memory shown as
// instructions), the number converter "Hex<->bin<->dec" and the calculator
// "RPN-калькулятор". Their conversions, texts and messages are the engine's.
import { el, hex } from "./dom";
import { Engine, Place } from "./engine";
import { field, onExit, show } from "./fields";

const kLastAddress = 1000;

// ---- the listing ----

export class Listing {
  readonly element: HTMLElement;
  private start = 0;
  private rows: HTMLElement[] = [];
  // What each row shows: its four bytes, and its marks and PC bits; a row
  // is written again only when these change.
  private shownBytes = new Int32Array(0);
  private shownFlags = new Int32Array(0);
  private box: HTMLElement;
  // The box's geometry, read where the layout is done anyway (resizing,
  // scrolling), so that following the PC reads no layout after a step.
  private rowHeight = 0;
  private viewHeight = 0;
  private top = 0;
  private pcRow = -1;
  private startField: HTMLInputElement;
  private follow: HTMLInputElement;

  constructor(private engine: Engine, private edited: () => void) {
    this.startField = field({ label: "Начало:", value: "00000000", maxLength: 8, cls: "word", hint: "Адрес первой строки (шестнадцатеричный, 0..3E8)" });
    this.startField.id = "listing-start";
    this.startField.removeAttribute("aria-label");
    onExit(this.startField, () => this.EditStartExit());
    this.startField.addEventListener("keydown", (ev) => {
      if (ev.key === "Enter") this.EditStartExit();
    });
    this.follow = el("input", { type: "checkbox", checked: true });
    this.follow.addEventListener("change", () => this.refresh());
    this.box = el("div", { class: "listing-rows", tabindex: 0, title: "Двойной щелчок: точка останова", role: "list", "aria-label": "Листинг" });
    this.box.addEventListener("dblclick", (ev) => {
      const row = (ev.target as HTMLElement).closest<HTMLElement>(".listing-row");
      if (!row) return;
      this.engine.toggleMark(Number(row.dataset.address));
      this.edited();
    });
    this.box.addEventListener("scroll", () => (this.top = this.box.scrollTop));
    new ResizeObserver(() => {
      this.rowHeight = this.rows[0]?.offsetHeight ?? 0;
      this.viewHeight = this.box.clientHeight;
      this.top = this.box.scrollTop;
      this.followPC();
    }).observe(this.box);
    this.element = el(
      "section",
      { class: "panel listing", "aria-labelledby": "listing-title" },
      el("h2", { id: "listing-title", text: "Листинг" }),
      el(
        "div",
        { class: "listing-head" },
        el("label", { for: "listing-start", text: "Начало:" }),
        this.startField,
        el("label", {}, this.follow, "Следовать за PC"),
      ),
      this.box,
    );
    this.build();
  }

  private build() {
    this.box.textContent = "";
    this.rows = [];
    for (let a = this.start; a <= kLastAddress; a += 4) {
      const row = el("div", { class: "listing-row", role: "listitem" });
      row.dataset.address = String(a);
      this.rows.push(row);
    }
    this.shownBytes = new Int32Array(this.rows.length);
    this.shownFlags = new Int32Array(this.rows.length).fill(-1);
    this.box.append(...this.rows);
  }

  EditStartExit() {
    const text = this.startField.value.trim();
    const value = /^[0-9a-fA-F]{1,8}$/.test(text) ? parseInt(text, 16) : this.start;
    const address = Math.min(value, kLastAddress);
    this.startField.value = hex(address, 8);
    if (address !== this.start) {
      this.start = address;
      this.build();
      this.refresh();
    }
  }

  refresh() {
    const memory = this.engine.memory();
    const marks = this.engine.marks();
    const pc = this.engine.get(Place.PC) >>> 0;
    this.pcRow = -1;
    for (let r = 0; r < this.rows.length; r++) {
      const a = this.start + 4 * r;
      let bytes = 0;
      let markBits = 0;
      for (let i = 0; i < 4 && a + i <= kLastAddress; i++) {
        bytes |= memory[a + i] << (8 * i);
        if (marks[a + i] !== 0) markBits |= 1 << i;
      }
      const flags = markBits | (a === pc ? 16 : 0);
      if (a === pc) this.pcRow = r;
      const row = this.rows[r];
      // The text follows the bytes only (the marks and the PC are colours),
      // so a step that moves the PC rewrites no text.
      if (this.shownFlags[r] < 0 || this.shownBytes[r] !== bytes) {
        const word = this.engine.instructionWord(a);
        let text = "";
        for (let i = 0; i < 4; i++) text += a + i <= kLastAddress ? hex(memory[a + i], 2) + " " : "-- ";
        row.textContent = `${hex(a, 8)}  ${text} ${this.engine.disassemble(word)}`;
        row.classList.toggle("empty", word === 0);
        this.shownBytes[r] = bytes;
      }
      if (this.shownFlags[r] !== flags) {
        row.classList.toggle("pc", a === pc);
        row.classList.toggle("mark", (markBits & 1) !== 0);
        row.classList.toggle("mark-inside", markBits > 1 && (markBits & 1) === 0);
        this.shownFlags[r] = flags;
      }
    }
    this.followPC();
  }

  // Scrolls the PC's row into sight when it is out of it.
  private followPC() {
    if (this.pcRow < 0 || !this.follow.checked || this.rowHeight === 0) return;
    const top = this.pcRow * this.rowHeight;
    if (top < this.top || top + this.rowHeight > this.top + this.viewHeight) {
      this.box.scrollTop = Math.max(0, top - this.viewHeight / 3);
      this.top = this.box.scrollTop;
    }
  }
}

// ---- the number converter ----

export function converterPanel(engine: Engine, report: () => void): HTMLElement {
  const names = ["Dec", "Hex", "Bin"];
  const lengths = [11, 8, 32];
  const inputs = names.map((name, f) => {
    const input = field({ label: name, maxLength: lengths[f], value: engine.converterText(f) });
    input.id = `conv-${name}`;
    input.removeAttribute("aria-label");
    return input;
  });
  const refresh = () => inputs.forEach((input, f) => show(input, engine.converterText(f)));
  inputs.forEach((input, f) =>
    onExit(input, () => {
      engine.convert(f, input.value);
      refresh();
      report();
    }),
  );
  return el(
    "section",
    { class: "panel converter", "aria-labelledby": "converter-title" },
    el("h2", { id: "converter-title", text: "Hex<->bin<->dec" }),
    el(
      "div",
      { class: "converter-grid" },
      ...names.flatMap((name, f) => [el("label", { for: inputs[f].id, text: name }), inputs[f]]),
    ),
  );
}

// ---- the calculator ----

const kInfix = 0;
const kPostfix = 1;
const kAnswer = 6;

export function calculatorPanel(engine: Engine, report: () => void): HTMLElement {
  const make = (label: string, f: number) => {
    const input = field({ label, value: engine.calcText(f) });
    input.id = `calc-${f}`;
    input.removeAttribute("aria-label");
    return input;
  };
  const infix = make("Инфиксная запись", kInfix);
  const postfix = make("Постфиксная запись", kPostfix);
  const answer = make("Результат", kAnswer);
  const vars = ["A:", "B:", "C:", "D:"].map((name, i) => make(name, 2 + i));
  const all = [infix, postfix, ...vars, answer];
  const fieldOf = (input: HTMLInputElement) => Number(input.id.slice(5));
  const refresh = () => all.forEach((input) => show(input, engine.calcText(fieldOf(input))));
  // Every field but the infix one takes its text as typed; leaving the
  // infix field converts the expression.
  for (const input of [postfix, ...vars, answer])
    input.addEventListener("input", () => engine.calcSet(fieldOf(input), input.value));
  onExit(infix, () => {
    engine.calcSet(kInfix, infix.value);
    refresh();
    report();
  });
  // A graphic button: clicking it leaves the focus where it was, so an
  // expression still being typed is not converted, as on the desktop.
  const equals = el("button", { type: "button", class: "icon", text: "=", title: "Вычислить" });
  equals.addEventListener("mousedown", (ev) => ev.preventDefault());
  equals.addEventListener("click", () => {
    engine.calcEvaluate();
    refresh();
    report();
  });
  const row = (input: HTMLInputElement, label: string) => [el("label", { for: input.id, text: label }), input];
  return el(
    "section",
    { class: "panel calculator", "aria-labelledby": "calc-title" },
    el("h2", { id: "calc-title", text: "RPN-калькулятор" }),
    el(
      "div",
      { class: "calc-grid" },
      el("div", { class: "calc-main" }, ...row(infix, "Инфиксная запись"), ...row(postfix, "Постфиксная запись"), equals, ...row(answer, "Результат")),
      el("div", { class: "calc-vars" }, ...vars.flatMap((v, i) => row(v, ["A:", "B:", "C:", "D:"][i]))),
    ),
  );
}
