// The page: the simulator window's commands, keys and views around the
// engine, the program editor with the listing, the two tool panels, and what
// only the browser edition has (the link that carries a program, the work
// kept in the browser, the guard against a second tab).
import type { EditorView } from "@codemirror/view";
import { askSaveChanges, dialogOpen, showError, showFault, showNotice } from "./dialogs";
import { download, el } from "./dom";
import { createEditor, goTo, setErrorLines, setText } from "./editor";
import { Engine, Place } from "./engine";
import { commitFocused } from "./fields";
import { MachineView } from "./machine-view";
import { Listing, calculatorPanel, converterPanel } from "./panels";
import { makeLink, readLink } from "./share";
import { WorkStore, base64ToBytes, bytesToBase64, type Work } from "./storage";
import { TraceView } from "./trace";

// The editor takes program texts up to this size; a larger file is refused
// with a message (a program for 1001 bytes of memory is far smaller).
const kMaxEditorBytes = 1 << 20;
const kImageSize = 2148;

interface Command {
  caption: string;
  key: string; // as shown in the hint
  hint?: string;
  act: () => void | Promise<void>;
}

function enable(button: HTMLButtonElement, on: boolean) {
  if (button.disabled === on) button.disabled = !on;
}

export class App {
  private view: MachineView;
  private trace: TraceView;
  private listing: Listing;
  private editor!: EditorView;
  private errorList: HTMLOListElement;
  private status: HTMLElement;
  private banner: HTMLElement;
  private linkBox: HTMLElement;
  private linkField: HTMLInputElement;
  private traceSwitch: HTMLInputElement;
  private buttons = new Map<string, HTMLButtonElement>();
  private imageInput: HTMLInputElement;
  private sourceInput: HTMLInputElement;
  private imageName = "kovar3.emu";
  private sourceName = "program.kasm";
  private store: WorkStore;
  private fileNote: HTMLElement;
  private page = document.createDocumentFragment();

  constructor(readonly engine: Engine) {
    this.store = new WorkStore((owner) => this.ownerChanged(owner));
    this.view = new MachineView({ engine, edited: () => this.afterEdit(), run: () => this.command(() => this.N6Click()) });
    this.trace = new TraceView({
      count: () => engine.traceCount(),
      lines: (first, n) => engine.traceLines(first, n),
      find: (text, from, backward) => engine.traceFind(text, from, backward),
    });
    this.listing = new Listing(engine, () => this.afterEdit());

    const commands: [string, Command[]][] = [
      [
        "Файл",
        [
          { caption: "Новый", key: "Ctrl+N", act: () => this.N10Click() },
          { caption: "Сохранить", key: "F2", act: () => this.N8Click() },
          { caption: "Загрузить", key: "F3", act: () => this.N11Click() },
          { caption: "Сохранить трассу...", key: "", hint: "Записать отладочную информацию в текстовый файл", act: () => this.SaveTraceClick() },
        ],
      ],
      [
        "Проект",
        [
          { caption: "Запуск", key: "F9", act: () => this.N6Click() },
          { caption: "По шагам", key: "F7", act: () => this.N7Click() },
          {
            caption: "Шаг назад",
            key: "Shift+F7",
            hint: 'Отменить последнюю выполненную команду. Правка памяти, точек останова, стеков, регистров, PC или FL, загрузка, "Новый" и вставка из конструктора команд начинают новую историю.',
            act: () => this.StepBackClick(),
          },
          {
            caption: "Перезапуск",
            key: "Ctrl+R",
            hint: "Вернуть машину к состоянию перед первым шагом или запуском после последней правки или загрузки; программа остаётся в памяти",
            act: () => this.RestartClick(),
          },
          { caption: "Продолжить", key: "Shift+F9", hint: 'Выполнить команду в точке останова и продолжить, как "Запуск"', act: () => this.ContinueClick() },
        ],
      ],
    ];
    const menus = el("nav", { class: "menus", "aria-label": "Команды" });
    for (const [menu, list] of commands) {
      const group = el("div", { class: "menu", role: "toolbar", "aria-label": menu }, el("span", { class: "menu-title", text: menu, "aria-hidden": "true" }));
      for (const c of list) {
        const b = el("button", { type: "button", text: c.caption, "aria-keyshortcuts": c.key || undefined });
        b.title = (c.key ? `${c.caption} (${c.key})` : c.caption) + (c.hint ? `\n${c.hint}` : "");
        b.addEventListener("click", () => this.command(c.act));
        group.append(b);
        this.buttons.set(c.caption, b);
      }
      menus.append(group);
    }

    this.imageInput = el("input", { type: "file", accept: ".emu", hidden: true, "aria-label": "Файл образа памяти" });
    this.imageInput.addEventListener("change", () => this.imageChosen());
    this.sourceInput = el("input", { type: "file", accept: ".kasm,.txt,text/plain", hidden: true, "aria-label": "Файл программы" });
    this.sourceInput.addEventListener("change", () => this.sourceChosen());

    // ---- trace pane ----
    this.traceSwitch = el("input", { type: "checkbox", id: "deb-enable", checked: engine.traceEnabled() });
    this.traceSwitch.addEventListener("change", () => {
      engine.setTrace(this.traceSwitch.checked);
      this.persist();
    });
    const hint = "Вкл/откл вывод отладочной информации";
    const clear = el("button", { type: "button", class: "icon", text: "✕", "aria-label": "Очистить отладочную информацию", title: "Очистить отладочную информацию" });
    clear.addEventListener("click", () => this.command(() => this.BitBtn4Click()));
    const find = el("button", { type: "button", text: "Найти", "aria-label": "Найти в отладочной информации", title: "Найти (Ctrl+F)" });
    find.addEventListener("click", () => this.trace.openFind());
    const tracePanel = el(
      "section",
      { class: "panel trace-panel", "aria-label": "Отладка" },
      el(
        "div",
        { class: "trace-head" },
        el("label", { for: "deb-enable", text: "Отладка", title: hint }),
        this.traceSwitch,
        el("span", { class: "spacer" }),
        find,
        clear,
      ),
      this.trace.element,
    );
    this.traceSwitch.title = hint;

    // ---- program text ----
    const asmBar = el("div", { class: "asm-bar", role: "toolbar", "aria-label": "Ассемблер" });
    const asmButton = (caption: string, key: string, act: () => void) => {
      const b = el("button", { type: "button", text: caption, title: key ? `${caption} (${key})` : caption, "aria-keyshortcuts": key || undefined });
      b.addEventListener("click", act);
      asmBar.append(b);
      this.buttons.set(caption, b);
    };
    asmButton("Открыть...", "", () => this.sourceInput.click());
    asmButton("Сохранить как...", "", () => this.saveSource());
    asmButton("Ассемблировать", "Ctrl+Enter", () => this.command(() => this.AssembleClick()));
    asmButton("Ссылка на программу", "", () => void this.shareLink());
    this.linkField = el("input", { type: "text", readonly: true, "aria-label": "Ссылка на программу", class: "link-field" });
    this.linkBox = el("div", { class: "link-box", hidden: true }, el("span", { text: "Ссылка на программу (текст программы в ней самой, на сервер не попадает):" }), this.linkField);
    this.errorList = el("ol", { class: "asm-errors", "aria-label": "Ошибки", title: "Щелчок: перейти к строке с ошибкой" });
    this.status = el("p", { class: "asm-status", role: "status" });
    const editorBox = el("div", { class: "editor" });
    const asmPanel = el(
      "section",
      { class: "panel asm", "aria-labelledby": "asm-title" },
      el("h2", { id: "asm-title", text: "Ассемблер" }),
      asmBar,
      this.linkBox,
      editorBox,
      this.errorList,
      this.status,
    );

    this.banner = el("div", { class: "banner", role: "alert", hidden: true });
    this.fileNote = el("p", { class: "file-note", role: "status" });

    this.page.append(
      el(
        "header",
        { class: "top" },
        el("h1", { text: "KOVAR 3 simulator (01.10.02)" }),
        menus,
      ),
      this.banner,
      this.fileNote,
      el(
        "main",
        { class: "desk" },
        this.view.memory,
        tracePanel,
        this.view.registers,
        asmPanel,
        this.listing.element,
        converterPanel(engine, () => this.report()),
        calculatorPanel(engine, () => this.report()),
      ),
      this.imageInput,
      this.sourceInput,
    );

    this.editor = createEditor(editorBox, "", () => this.persist(), () => this.command(() => this.AssembleClick()));
    window.addEventListener("keydown", (ev) => this.key(ev), { capture: true });
    window.addEventListener("pagehide", () => this.store.saveNow(() => this.work()));
    document.addEventListener("visibilitychange", () => {
      if (document.visibilityState === "hidden") this.store.saveNow(() => this.work());
    });
  }

  // Restores the stored work (read before the engine was ready), puts the
  // page into `root`, then opens the program of a link when the address
  // carries one.
  async start(root: HTMLElement, work: Work | null) {
    if (work) {
      const image = base64ToBytes(work.image);
      if (image.length > 0) this.engine.loadImage(image.subarray(0, kImageSize));
      if (this.engine.get(Place.PC) !== work.pc) this.engine.set(Place.PC, 0, work.pc);
      if ((this.engine.get(Place.FL) !== 0) !== work.fl) this.engine.set(Place.FL, 0, work.fl ? 1 : 0);
      this.engine.setTrace(work.trace);
      this.traceSwitch.checked = work.trace;
      setText(this.editor, work.source);
      if (work.sourceName) this.sourceName = work.sourceName;
    }
    this.refresh();
    root.replaceChildren(this.page);
    // Whether this tab may keep the work is known a moment later; until
    // then nothing is written.
    void this.store.claim(false);
    if (location.hash) await this.openLink(work?.source ?? "");
  }

  private async openLink(previous: string) {
    const result = await readLink(location.hash);
    history.replaceState(null, "", location.pathname + location.search);
    if (!result) return;
    if ("error" in result) {
      void showNotice(result.error);
      return;
    }
    setText(this.editor, result.source);
    this.AssembleClick();
    this.refresh();
    if (previous && previous !== result.source) {
      const back = el("button", { type: "button", text: "Вернуть прежний текст" });
      back.addEventListener("click", () => {
        setText(this.editor, previous);
        this.fileNote.textContent = "";
        this.persist();
      });
      this.fileNote.textContent = "Открыта программа из ссылки. ";
      this.fileNote.append(back);
    } else {
      this.fileNote.textContent = "Открыта программа из ссылки.";
    }
    this.persist();
  }

  private ownerChanged(owner: boolean) {
    this.banner.textContent = "";
    this.banner.hidden = owner;
    if (owner) {
      this.persist();
      return;
    }
    const take = el("button", { type: "button", text: "Сохранять работу этой вкладки" });
    take.addEventListener("click", async () => {
      if (await this.store.claim(true)) this.store.saveNow(() => this.work());
    });
    this.banner.append(
      el("span", {
        text: "Симулятор открыт и в другой вкладке, и сохраняется работа той вкладки. Изменения этой вкладки не сохраняются, чтобы не затереть ту работу. ",
      }),
      take,
    );
  }

  private work(): Work {
    return {
      source: this.editor.state.doc.toString(),
      image: bytesToBase64(this.engine.imageBytes()),
      pc: this.engine.get(Place.PC),
      fl: this.engine.get(Place.FL) !== 0,
      trace: this.engine.traceEnabled(),
      sourceName: this.sourceName,
    };
  }

  private persist() {
    this.store.save(() => this.work());
  }

  // ---- commands ----

  // Runs a command as the desktop does: what was typed into the focused
  // field counts first; then the views are brought up to date once and the
  // messages the engine collected are shown.
  command(act: () => void | Promise<void>) {
    commitFocused();
    const done = act();
    this.refresh();
    this.report();
    if (done) void done.then(() => this.refresh());
  }

  // Shows the messages of the last engine call, one after another.
  report() {
    for (const m of this.engine.messages()) void (m.fault ? showFault(m.text) : showError(m.text));
  }

  private afterEdit() {
    this.report();
    this.refresh();
  }

  // Brings every view up to the engine. Only what differs from what is
  // shown is written, and nothing here reads the layout, so the browser lays
  // the page out once, after the command.
  refresh() {
    this.trace.sync(true);
    this.view.refresh();
    this.listing.refresh();
    enable(this.buttons.get("Шаг назад")!, this.engine.canStepBack());
    enable(this.buttons.get("Перезапуск")!, this.engine.canRestart());
    this.persist();
  }

  N6Click() {
    this.engine.run();
  }
  N7Click() {
    this.engine.step();
  }
  StepBackClick() {
    this.engine.stepBack();
  }
  RestartClick() {
    this.engine.restart();
  }
  ContinueClick() {
    this.engine.continueRun();
  }
  BitBtn4Click() {
    this.engine.clearTrace();
  }

  // Asks about unsaved changes; true when the caller may go on.
  private async mayDiscardChanges(): Promise<boolean> {
    if (!this.engine.unsaved()) return true;
    const answer = await askSaveChanges();
    if (answer === "save") this.N8Click();
    return answer !== "cancel";
  }

  async N10Click() {
    if (!(await this.mayDiscardChanges())) return;
    this.engine.reset();
    this.fileNote.textContent = "";
  }

  N8Click() {
    download(this.imageName, this.engine.saveImage(), "application/octet-stream");
  }

  async N11Click() {
    if (!(await this.mayDiscardChanges())) return;
    this.imageInput.value = "";
    // A browser opens its file chooser only right after the user's own
    // action; where a key does not count as one, the button is offered.
    if (navigator.userActivation && !navigator.userActivation.isActive) {
      this.fileNote.textContent = "Браузер не дал открыть выбор файла: нажмите кнопку «Загрузить».";
      this.buttons.get("Загрузить")!.focus();
      return;
    }
    this.imageInput.click();
  }

  private async imageChosen() {
    const file = this.imageInput.files?.[0];
    if (!file) return;
    let bytes: Uint8Array;
    try {
      // Bytes after the 2148th are ignored, so only those are read: a file
      // of any size loads at once.
      bytes = new Uint8Array(await file.slice(0, kImageSize).arrayBuffer());
    } catch {
      await showError(`Ошибка чтения файла: ${file.name}\nфайл не удалось прочитать`);
      return;
    }
    this.engine.loadImage(bytes);
    this.imageName = /\.emu$/i.test(file.name) ? file.name : `${file.name}.emu`;
    this.fileNote.textContent = `Загружен образ памяти: ${file.name}`;
    this.refresh();
  }

  SaveTraceClick() {
    download("trace.txt", this.engine.traceFile(), "text/plain;charset=utf-8");
  }

  // ---- program text ----

  AssembleClick() {
    const errors = this.engine.assemble(this.editor.state.doc.toString(), true);
    this.errorList.textContent = "";
    this.editor.dispatch({ effects: setErrorLines.of(errors.map((e) => e.line)) });
    if (errors.length > 0) {
      for (const e of errors) {
        const item = el("li", {}, el("button", { type: "button", class: "link", text: e.text }));
        item.addEventListener("click", () => goTo(this.editor, e.line, e.column));
        this.errorList.append(item);
      }
      this.status.textContent = `Ошибок: ${errors.length}. Память не изменена.`;
      return;
    }
    const pc = (this.engine.asmStart() >>> 0).toString(16).toUpperCase().padStart(8, "0");
    this.status.textContent = `Готово: ${this.engine.asmBytes()} байт, PC = ${pc}`;
  }

  private async sourceChosen() {
    const file = this.sourceInput.files?.[0];
    this.sourceInput.value = "";
    if (!file) return;
    if (file.size > kMaxEditorBytes) {
      await showError(`Ошибка чтения файла: ${file.name}\nфайл слишком велик для текста программы (${file.size} байт, можно не больше ${kMaxEditorBytes})`);
      return;
    }
    let text: string;
    try {
      text = new TextDecoder().decode(await file.arrayBuffer());
    } catch {
      await showError(`Ошибка чтения файла: ${file.name}\nфайл не удалось прочитать`);
      return;
    }
    setText(this.editor, text);
    this.sourceName = file.name;
    this.errorList.textContent = "";
    this.status.textContent = "";
    this.fileNote.textContent = `Открыт текст программы: ${file.name}`;
    this.persist();
  }

  private saveSource() {
    const name = /\.kasm$/i.test(this.sourceName) ? this.sourceName : `${this.sourceName}.kasm`;
    download(name, this.editor.state.doc.toString(), "text/plain;charset=utf-8");
  }

  private async shareLink() {
    const link = await makeLink(this.editor.state.doc.toString(), location.href);
    this.linkBox.hidden = false;
    this.linkField.value = link;
    this.linkField.focus();
    this.linkField.select();
    try {
      await navigator.clipboard.writeText(link);
    } catch {
      // The field shows the link selected for copying by hand.
    }
  }

  // ---- keys ----

  private key(ev: KeyboardEvent) {
    if (dialogOpen() || ev.altKey || ev.metaKey) return;
    const ctrl = ev.ctrlKey;
    const name = `${ctrl ? "Ctrl+" : ""}${ev.shiftKey ? "Shift+" : ""}${ev.key.length === 1 ? ev.key.toUpperCase() : ev.key}`;
    const keys: Record<string, () => void> = {
      F7: () => this.command(() => this.N7Click()),
      F9: () => this.command(() => this.N6Click()),
      "Shift+F7": () => this.command(() => this.StepBackClick()),
      "Shift+F9": () => this.command(() => this.ContinueClick()),
      "Ctrl+R": () => this.command(() => this.RestartClick()),
      "Ctrl+К": () => this.command(() => this.RestartClick()),
      F2: () => this.command(() => this.N8Click()),
      F3: () => this.command(() => this.N11Click()),
      "Ctrl+N": () => this.command(() => this.N10Click()),
      "Ctrl+Т": () => this.command(() => this.N10Click()),
    };
    const act = keys[name];
    if (act) {
      ev.preventDefault();
      ev.stopPropagation();
      act();
      return;
    }
    if (name === "F5" && this.view.cells.includes(document.activeElement as HTMLInputElement)) {
      ev.preventDefault();
      this.view.toggleFocusedMark();
    }
  }
}
