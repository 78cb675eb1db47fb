// The page's side of the engine: loads the WebAssembly module (our C++
// libraries without windows) and wraps its C interface (web/engine.md) in
// typed calls that take and give JavaScript strings and numbers.
import engineUrl from "./generated/kovar-engine.wasm?url";
import { wasiImports } from "./wasi";

export enum Place {
  Memory = 0,
  Mark = 1,
  DS = 2,
  RS = 3,
  URD = 4,
  PC = 5,
  FL = 6,
  IR = 7,
}

export enum Stop {
  Halt = 1,
  Breakpoint = 2,
  MaxStep = 4,
}

export const kChangesDS = 1001;
export const kChangesRS = 1017;
export const kChangesURD = 1033;
export const kChangesPC = 1037;
export const kChangesFL = 1038;
export const kChangesSize = 1039;

export interface Message {
  text: string;
  fault: boolean; // a fault box rather than the error dialog
}

export interface AsmError {
  line: number;
  column: number;
  text: string; // as the desktop's list shows it
}

type Exports = Record<string, (...args: number[]) => number> & { memory: WebAssembly.Memory };

export class Engine {
  private readonly k: Exports;
  private readonly encoder = new TextEncoder();
  private readonly decoder = new TextDecoder();

  constructor(instance: WebAssembly.Instance) {
    this.k = instance.exports as unknown as Exports;
  }

  private bytes(): Uint8Array {
    return new Uint8Array(this.k.memory.buffer);
  }

  // Writes text going in; returns [address, byte count].
  private put(text: string | Uint8Array): [number, number] {
    const bytes = typeof text === "string" ? this.encoder.encode(text) : text;
    const at = this.k.kovar_input(bytes.length);
    this.bytes().set(bytes, at);
    return [at, bytes.length];
  }

  private text(n: number): string {
    if (n === 0) return "";
    const at = this.k.kovar_result();
    return this.decoder.decode(this.bytes().subarray(at, at + n));
  }

  // The messages of the last reporting call, each given once: a command
  // that reports nothing (a step after a Run that hit the step limit) must
  // not show the Run's message again.
  messages(): Message[] {
    const out: Message[] = [];
    const n = this.k.kovar_message_count();
    for (let i = 0; i < n; i++) {
      const text = this.text(this.k.kovar_message(i));
      out.push({ text, fault: this.k.kovar_message_kind(i) === 1 });
    }
    if (n > 0) this.k.kovar_clear_messages();
    return out;
  }

  get(what: Place, index = 0): number {
    return this.k.kovar_get(what, index);
  }
  set(what: Place, index: number, value: number): boolean {
    return this.k.kovar_set(what, index, value) === 1;
  }
  getText(what: Place, index = 0): string {
    return this.text(this.k.kovar_get_text(what, index));
  }
  // Leaving a field with this text (HexToInt; reports).
  setText(what: Place, index: number, text: string): number {
    return this.k.kovar_set_text(what, index, ...this.put(text));
  }
  toggleMark(address: number): number {
    return this.k.kovar_toggle_mark(address);
  }

  // Read-only views, made anew for each use (the memory may grow).
  memory(): Uint8Array {
    return new Uint8Array(this.k.memory.buffer, this.k.kovar_memory(), 1001);
  }
  marks(): Uint8Array {
    return new Uint8Array(this.k.memory.buffer, this.k.kovar_marks(), 1001);
  }
  stack(what: Place.DS | Place.RS): Int32Array {
    return new Int32Array(this.k.memory.buffer, this.k.kovar_stack(what), 16);
  }
  urd(): Int32Array {
    return new Int32Array(this.k.memory.buffer, this.k.kovar_urd(), 4);
  }
  changes(): Uint8Array {
    return new Uint8Array(this.k.memory.buffer, this.k.kovar_changes(), kChangesSize);
  }

  step() {
    this.k.kovar_step();
  }
  run(): number {
    return this.k.kovar_run();
  }
  continueRun(): number {
    return this.k.kovar_continue();
  }
  stepBack(): boolean {
    return this.k.kovar_step_back() !== 0;
  }
  restart(): boolean {
    return this.k.kovar_restart() !== 0;
  }
  canStepBack(): boolean {
    return this.k.kovar_can_step_back() !== 0;
  }
  canRestart(): boolean {
    return this.k.kovar_can_restart() !== 0;
  }
  reset() {
    this.k.kovar_new();
  }
  unsaved(): boolean {
    return this.k.kovar_unsaved() !== 0;
  }

  saveImage(): Uint8Array<ArrayBuffer> {
    const n = this.k.kovar_save_image();
    const at = this.k.kovar_result();
    return this.bytes().slice(at, at + n);
  }
  // The same 2148 bytes without counting as a save (for the work kept in
  // the browser): the engine's views are already in the file's order and
  // byte order.
  imageBytes(): Uint8Array<ArrayBuffer> {
    const out = new Uint8Array(2148);
    out.set(this.memory(), 0);
    out.set(this.marks(), 1001);
    out.set(new Uint8Array(this.stack(Place.DS).slice().buffer), 2002);
    out.set(new Uint8Array(this.stack(Place.RS).slice().buffer), 2066);
    out.set(new Uint8Array(this.urd().slice().buffer), 2130);
    const pc = this.get(Place.PC);
    out[2146] = pc & 0xff;
    out[2147] = (pc >>> 8) & 0xff;
    return out;
  }
  loadImage(bytes: Uint8Array) {
    this.k.kovar_load_image(...this.put(bytes));
  }

  traceEnabled(): boolean {
    return this.k.kovar_trace_enabled() !== 0;
  }
  setTrace(on: boolean) {
    this.k.kovar_set_trace(on ? 1 : 0);
  }
  clearTrace() {
    this.k.kovar_clear_trace();
  }
  traceCount(): number {
    return this.k.kovar_trace_count() >>> 0;
  }
  traceGeneration(): number {
    return this.k.kovar_trace_generation() >>> 0;
  }
  // Lines first..first+n-1, as far as they exist.
  traceLines(first: number, n: number): string[] {
    if (n <= 0) return [];
    const text = this.text(this.k.kovar_trace_range(first, n));
    return text ? text.split("\n") : [];
  }
  // Every line, each followed by "\n", as a trace file holds them.
  traceFile(): Uint8Array<ArrayBuffer> {
    const n = this.k.kovar_trace_since(0);
    if (n === 0) return new Uint8Array(0);
    const at = this.k.kovar_result();
    const out = new Uint8Array(n + 1);
    out.set(this.bytes().subarray(at, at + n));
    out[n] = 10;
    return out;
  }
  traceFind(text: string, from: number, backward: boolean): number {
    return this.k.kovar_trace_find(...this.put(text), from, backward ? 1 : 0, 1);
  }

  // Assembles; with `apply` and no error the program goes into memory.
  assemble(source: string, apply: boolean): AsmError[] {
    const n = this.k.kovar_assemble(...this.put(source), apply ? 1 : 0);
    const errors: AsmError[] = [];
    for (let i = 0; i < n; i++)
      errors.push({
        line: this.k.kovar_asm_error_line(i),
        column: this.k.kovar_asm_error_column(i),
        text: this.text(this.k.kovar_asm_error_text(i)),
      });
    return errors;
  }
  asmStart(): number {
    return this.k.kovar_asm_start();
  }
  asmBytes(): number {
    return this.k.kovar_asm_bytes();
  }
  disassemble(word: number): string {
    return this.text(this.k.kovar_disassemble(word));
  }
  instructionWord(address: number): number {
    return this.k.kovar_instruction_word(address);
  }

  hexToInt(text: string): number {
    return this.k.kovar_hex_to_int(...this.put(text));
  }
  intToHex(value: number, bytes: number): string {
    return this.text(this.k.kovar_int_to_hex(value, bytes));
  }

  convert(field: number, text: string) {
    this.k.kovar_convert(field, ...this.put(text));
  }
  converterText(field: number): string {
    return this.text(this.k.kovar_converter_text(field));
  }
  calcSet(field: number, text: string) {
    this.k.kovar_calc_set(field, ...this.put(text));
  }
  calcEvaluate(): boolean {
    return this.k.kovar_calc_evaluate() === 1;
  }
  calcText(field: number): string {
    return this.text(this.k.kovar_calc_text(field));
  }
}

// Fetches, compiles and starts the engine. A host that serves .wasm under
// another media type still works: the bytes are compiled from a buffer.
export async function loadEngine(onOutput: (text: string) => void = console.warn): Promise<Engine> {
  const response = await fetch(engineUrl);
  if (!response.ok) throw new Error(`${engineUrl}: ${response.status}`);
  let module: WebAssembly.Module;
  try {
    module = await WebAssembly.compileStreaming(response.clone());
  } catch {
    module = await WebAssembly.compile(await response.arrayBuffer());
  }
  let memory: WebAssembly.Memory | undefined;
  const imports = wasiImports(module, () => memory!, { write: (_fd, text) => onOutput(text) });
  const instance = await WebAssembly.instantiate(module, imports);
  memory = instance.exports.memory as WebAssembly.Memory;
  (instance.exports._initialize as () => void)();
  return new Engine(instance);
}
