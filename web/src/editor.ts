// The program text editor: CodeMirror with line numbers, undo, the
// assembler's colours (as the desktop's source window paints them) and the
// lines that hold errors marked.
import { defaultKeymap, history, historyKeymap, indentWithTab } from "@codemirror/commands";
import { EditorState, RangeSetBuilder, StateEffect, StateField, type Extension } from "@codemirror/state";
import {
  Decoration,
  EditorView,
  ViewPlugin,
  drawSelection,
  highlightActiveLine,
  keymap,
  lineNumbers,
  type DecorationSet,
  type ViewUpdate,
} from "@codemirror/view";

// Words that begin an instruction line.
const kInstructions = new Set(["call", "branch", "branch_c", "alu", "shift", "load", "save", "lal", "lah", "halt"]);
// Register names the assembler accepts (those of the constructor and of the trace).
const kRegisters = new Set([
  "tos", "sos", "3os", "4os", "tor", "sor", "3or", "4or", "3ors",
  "udr0", "udr1", "udr2", "udr3", "urd0", "urd1", "urd2", "urd3",
  "pc", "psw", "zero", "none",
]);

export type TokenClass = "comment" | "label" | "instruction" | "directive" | "number" | "quoted" | "register";

// The coloured spans of one line: [from, to, class], in order.
export function colourLine(text: string): [number, number, TokenClass][] {
  const spans: [number, number, TokenClass][] = [];
  let end = text.length;
  let inQuote = false;
  for (let i = 0; i < text.length; i++) {
    if (text[i] === '"') inQuote = !inQuote;
    else if (text[i] === ";" && !inQuote) {
      end = i;
      break;
    }
  }
  const word = /\.?[A-Za-z_0-9][A-Za-z_0-9.]*|"[^"]*"?/g;
  const code = text.slice(0, end);
  let first = true;
  for (let m = word.exec(code); m; m = word.exec(code)) {
    const w = m[0];
    const at = m.index;
    const after = code.slice(at + w.length).trimStart();
    const isLabel = after.startsWith(":");
    let cls: TokenClass | undefined;
    if (w.startsWith('"')) cls = "quoted";
    else if (isLabel) cls = "label";
    else if (first && w.startsWith(".")) cls = "directive";
    else if (first && kInstructions.has(w.toLowerCase())) cls = "instruction";
    else if (/^[0-9]/.test(w)) cls = "number";
    else if (registerPlace(code, at) && kRegisters.has(w.toLowerCase())) cls = "register";
    if (cls) spans.push([at, at + w.length, cls]);
    if (!isLabel) first = false;
  }
  if (end < text.length) spans.push([end, text.length, "comment"]);
  return spans;
}

// Registers are the first two operands, or the values of a= and b=.
function registerPlace(text: string, at: number): boolean {
  const before = text.slice(0, at);
  return (before.match(/,/g)?.length ?? 0) < 2 || before.trimEnd().endsWith("=");
}

const marks = new Map<TokenClass, Decoration>();
for (const cls of ["comment", "label", "instruction", "directive", "number", "quoted", "register"] as TokenClass[])
  marks.set(cls, Decoration.mark({ class: `tok-${cls}` }));

function colours(view: EditorView): DecorationSet {
  const builder = new RangeSetBuilder<Decoration>();
  for (const { from, to } of view.visibleRanges) {
    for (let pos = from; pos <= to; ) {
      const line = view.state.doc.lineAt(pos);
      for (const [a, b, cls] of colourLine(line.text)) builder.add(line.from + a, line.from + b, marks.get(cls)!);
      pos = line.to + 1;
    }
  }
  return builder.finish();
}

const colouring = ViewPlugin.fromClass(
  class {
    decorations: DecorationSet;
    constructor(view: EditorView) {
      this.decorations = colours(view);
    }
    update(u: ViewUpdate) {
      if (u.docChanged || u.viewportChanged) this.decorations = colours(u.view);
    }
  },
  { decorations: (v) => v.decorations },
);

// Lines (1-based) that hold an error of the last assembly.
export const setErrorLines = StateEffect.define<number[]>();
const errorLine = Decoration.line({ class: "cm-error-line" });
const errorLines = StateField.define<DecorationSet>({
  create: () => Decoration.none,
  update(value, tr) {
    value = value.map(tr.changes);
    for (const e of tr.effects)
      if (e.is(setErrorLines)) {
        const builder = new RangeSetBuilder<Decoration>();
        const lines = [...new Set(e.value)].filter((l) => l >= 1 && l <= tr.state.doc.lines).sort((a, b) => a - b);
        for (const l of lines) {
          const line = tr.state.doc.line(l);
          builder.add(line.from, line.from, errorLine);
        }
        value = builder.finish();
      }
    return value;
  },
  provide: (f) => EditorView.decorations.from(f),
});

// The editor's look, from the page's colours (custom properties reach into
// the editor's shadow root).
const theme = EditorView.theme({
  "&": { height: "100%", backgroundColor: "var(--field)", color: "var(--fg)", fontSize: "14px" },
  "&.cm-focused": { outline: "2px solid var(--accent)", outlineOffset: "-2px" },
  ".cm-scroller": { fontFamily: "var(--mono)" },
  ".cm-gutters": { backgroundColor: "var(--panel)", color: "var(--muted)", borderRight: "1px solid var(--line)" },
  ".cm-activeLine, .cm-activeLineGutter": { backgroundColor: "transparent" },
  ".cm-content": { caretColor: "var(--fg)" },
  ".cm-cursor, .cm-dropCursor": { borderLeftColor: "var(--fg)" },
  "& .cm-selectionBackground, &.cm-focused .cm-selectionBackground, & .cm-content ::selection": { backgroundColor: "var(--selection)" },
  ".cm-error-line": { backgroundColor: "var(--error-line)" },
  ".tok-comment": { color: "var(--tok-comment)", fontStyle: "italic" },
  ".tok-label": { color: "var(--tok-label)", fontWeight: "bold" },
  ".tok-instruction": { color: "var(--tok-instruction)", fontWeight: "bold" },
  ".tok-directive": { color: "var(--tok-directive)", fontWeight: "bold" },
  ".tok-number": { color: "var(--tok-number)" },
  ".tok-quoted": { color: "var(--tok-quoted)" },
  ".tok-register": { color: "var(--tok-register)" },
});

// The editor lives in a shadow root of `host`: there its styles go into a
// constructed style sheet, which the page's policy (no inline styles)
// allows, where a <style> element in the document would be refused.
export function createEditor(host: HTMLElement, text: string, onChange: () => void, onAssemble: () => void): EditorView {
  const root = host.attachShadow({ mode: "open" });
  const extensions: Extension[] = [
    theme,
    lineNumbers(),
    history(),
    drawSelection(),
    highlightActiveLine(),
    colouring,
    errorLines,
    EditorState.tabSize.of(8),
    keymap.of([
      { key: "Mod-Enter", run: () => (onAssemble(), true) },
      ...defaultKeymap,
      ...historyKeymap,
      indentWithTab,
    ]),
    EditorView.contentAttributes.of({ "aria-label": "Текст программы", spellcheck: "false", autocorrect: "off", autocapitalize: "off" }),
    EditorView.updateListener.of((u) => {
      if (u.docChanged) onChange();
    }),
  ];
  return new EditorView({ parent: root, root, state: EditorState.create({ doc: text, extensions }) });
}

// Puts the cursor at a line and column (both from 1; columns count characters).
export function goTo(view: EditorView, line: number, column: number) {
  const doc = view.state.doc;
  const l = doc.line(Math.min(Math.max(1, line), doc.lines));
  let offset = 0;
  const chars = [...l.text];
  for (let c = 1; c < column && c - 1 < chars.length; c++) offset += chars[c - 1].length;
  const pos = l.from + Math.min(offset, l.length);
  view.dispatch({ selection: { anchor: pos }, scrollIntoView: true });
  view.focus();
}

export function setText(view: EditorView, text: string) {
  view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: text }, effects: setErrorLines.of([]) });
}
