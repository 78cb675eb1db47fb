// The engine of the browser edition: one simulated machine with its trace,
// step-back journal and restart point, the assembler and disassembler, the
// number converter and the calculator, behind a C interface that a
// WebAssembly host calls by name. web/engine.md describes every function.
//
// Conventions (details in web/engine.md):
// - Every value crossing is a 32-bit integer (a pointer is an address in the
//   module's memory).
// - Text going in: write UTF-8 bytes into the buffer that kovar_input(n)
//   returns, then pass its address and the byte count.
// - Text or bytes coming out: the function returns the byte count, and the
//   bytes (followed by a zero byte) are at kovar_result(), valid until the
//   next call that returns text or bytes.
// - Messages: what the desktop shows in a dialog (an input error, the step
//   limit, a calculator fault) is collected during a call; kovar_message_count
//   and kovar_message read it. Each call that can report empties the list
//   first.
#pragma once

#include <stdint.h>

#if defined(__wasm__)
#define KOVAR_EXPORT(name) __attribute__((export_name(#name), visibility("default")))
#else
#define KOVAR_EXPORT(name) __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

// ---- the interface itself ----

// The version of this interface: 1 as first published, 2 with the source
// map, 3 with kovar_clear_messages; raised when functions are added.
KOVAR_EXPORT(kovar_version) int32_t kovar_version(void);

// A buffer of at least `size` bytes for text or bytes going in; reused by the
// next kovar_input. Null above 64 MiB + 1 bytes (the longest program text
// the assembler takes, and one byte more to tell a longer one).
KOVAR_EXPORT(kovar_input) char* kovar_input(uint32_t size);

// Where the last text or bytes returned lie (zero-terminated).
KOVAR_EXPORT(kovar_result) const char* kovar_result(void);

// ---- messages (error dialogs and fault boxes) ----

enum {
    KOVAR_MESSAGE_ERROR = 0, // the error dialog "Ошибка" with "Ok"
    KOVAR_MESSAGE_FAULT = 1  // a fault box (converter, calculator)
};
KOVAR_EXPORT(kovar_message_count) int32_t kovar_message_count(void);
// Returns the byte count of message `index` (0 first, in the order shown).
KOVAR_EXPORT(kovar_message) uint32_t kovar_message(int32_t index);
KOVAR_EXPORT(kovar_message_kind) int32_t kovar_message_kind(int32_t index);
// Forgets the messages (interface version 3): the page calls it once it has
// shown them, so that a later call that reports nothing does not show them
// again.
KOVAR_EXPORT(kovar_clear_messages) void kovar_clear_messages(void);

// ---- the machine: reading and writing ----

// What a value belongs to.
enum {
    KOVAR_MEMORY = 0,    // index 0..1000, a byte
    KOVAR_MARK = 1,      // index 0..1000, the breakpoint mark byte
    KOVAR_DS = 2,        // index 0..15, entry 0 the top
    KOVAR_RS = 3,        // index 0..15
    KOVAR_URD = 4,       // index 0..3
    KOVAR_PC = 5,        // index 0
    KOVAR_FL = 6,        // index 0, 0 or 1
    KOVAR_IR = 7,        // index 0, read only: the word last fetched
    KOVAR_C = 8,         // index 0, read only: the ALU carry
    KOVAR_IR_FETCHED = 9 // index 0, read only: 1 once IR holds a fetched word
};

// The value; 0 for an index out of range.
KOVAR_EXPORT(kovar_get) int32_t kovar_get(int32_t what, int32_t index);
// Stores a value as the user's edit (a byte keeps its low 8 bits, FL is
// nonzero or not). Returns 1 when the value changed, which begins a new
// history; 0 when it did not or the place is read only or out of range.
KOVAR_EXPORT(kovar_set) int32_t kovar_set(int32_t what, int32_t index, int32_t value);
// What the desktop's field shows for the value: 2 hex digits for a byte or a
// mark, 8 for a word, "0"/"1" for FL and C. Returns the byte count.
KOVAR_EXPORT(kovar_get_text) uint32_t kovar_get_text(int32_t what, int32_t index);
// What leaving the desktop's field with this text does: the text is read as
// hexadecimal (a malformed text reports "Ошибка ввода hex числа" and stores
// 0), stored as by kovar_set; returns the value stored. Reports.
KOVAR_EXPORT(kovar_set_text)
int32_t kovar_set_text(int32_t what, int32_t index, const char* text, uint32_t length);
// The double-click on an address: flips the lowest bit of its mark. Returns
// the new mark byte.
KOVAR_EXPORT(kovar_toggle_mark) int32_t kovar_toggle_mark(int32_t address);

// Direct views of the machine for fast redraws (read only: write through
// kovar_set, so that the history and the unsaved state follow). The
// addresses stay valid for the module's life; words are little-endian int32.
KOVAR_EXPORT(kovar_memory) const uint8_t* kovar_memory(void);       // 1001 bytes
KOVAR_EXPORT(kovar_marks) const uint8_t* kovar_marks(void);         // 1001 bytes
KOVAR_EXPORT(kovar_stack) const int32_t* kovar_stack(int32_t what); // KOVAR_DS/RS: 16 words
KOVAR_EXPORT(kovar_urd) const int32_t* kovar_urd(void);             // 4 words

// ---- the machine: commands ----

// Why a Run (or Continue) stopped: bits, more than one may be set.
enum { KOVAR_STOP_HALT = 1, KOVAR_STOP_BREAKPOINT = 2, KOVAR_STOP_MAXSTEP = 4 };

// F7 "По шагам": one instruction.
KOVAR_EXPORT(kovar_step) void kovar_step(void);
// F9 "Запуск": until the halt word, a marked PC or 1000 steps; returns the
// stop bits. The step limit reports "MaxStep:1000". Reports.
KOVAR_EXPORT(kovar_run) int32_t kovar_run(void);
// Shift+F9 "Продолжить": the instruction at a marked PC once, then a Run.
KOVAR_EXPORT(kovar_continue) int32_t kovar_continue(void);
// The instructions executed by the last kovar_run or kovar_continue.
KOVAR_EXPORT(kovar_last_steps) int32_t kovar_last_steps(void);
// Shift+F7 "Шаг назад": undoes the last instruction; 0 when there is none.
KOVAR_EXPORT(kovar_step_back) int32_t kovar_step_back(void);
// Ctrl+R "Перезапуск": back to the state before the first Step or Run since
// the last edit or load; 0 when there is no such point.
KOVAR_EXPORT(kovar_restart) int32_t kovar_restart(void);
KOVAR_EXPORT(kovar_can_step_back) int32_t kovar_can_step_back(void);
KOVAR_EXPORT(kovar_can_restart) int32_t kovar_can_restart(void);
// Ctrl+N "Новый": the machine emptied (IR and C kept), the trace cleared.
KOVAR_EXPORT(kovar_new) void kovar_new(void);

// What the last command (step, run, continue, step back, restart) changed,
// one byte per place, 1 = changed: memory 0..1000 at offset 0, DS at 1001,
// RS at 1017, URD at 1033, PC at 1037, FL at 1038 (KOVAR_CHANGES_SIZE
// bytes). New, load and assembling mark nothing; an edit clears the mark of
// the place edited.
enum {
    KOVAR_CHANGES_DS = 1001,
    KOVAR_CHANGES_RS = 1017,
    KOVAR_CHANGES_URD = 1033,
    KOVAR_CHANGES_PC = 1037,
    KOVAR_CHANGES_FL = 1038,
    KOVAR_CHANGES_SIZE = 1039
};
KOVAR_EXPORT(kovar_changes) const uint8_t* kovar_changes(void);
KOVAR_EXPORT(kovar_changed) int32_t kovar_changed(int32_t what, int32_t index);

// Whether the machine holds changes made since it was last saved, loaded or
// emptied (Step and Run are not changes of the user's work).
KOVAR_EXPORT(kovar_unsaved) int32_t kovar_unsaved(void);

// ---- the memory image file ("emu", 2148 bytes) ----

// The machine as the file's 2148 bytes (at kovar_result()); the machine
// counts as saved from now on. Returns 2148.
KOVAR_EXPORT(kovar_save_image) uint32_t kovar_save_image(void);
// Takes a file's bytes as the desktop's Load does: a shorter file fills the
// blocks it reaches, bytes after 2148 are ignored, FL, IR, C and the trace
// are kept. A new history begins and nothing is marked changed.
KOVAR_EXPORT(kovar_load_image) void kovar_load_image(const uint8_t* bytes, uint32_t length);

// ---- the trace ----

KOVAR_EXPORT(kovar_trace_enabled) int32_t kovar_trace_enabled(void);
// The "Отладка" switch: while off, commands append no lines.
KOVAR_EXPORT(kovar_set_trace) void kovar_set_trace(int32_t on);
// The clear button: removes every line.
KOVAR_EXPORT(kovar_clear_trace) void kovar_clear_trace(void);
KOVAR_EXPORT(kovar_trace_count) uint32_t kovar_trace_count(void);
// Changes whenever the lines are cleared (clear, New), so that a view can
// tell a cleared trace from one that merely has as many lines as before.
// Stepping back removes the lines of the undone instruction without a
// change here: the count simply drops.
KOVAR_EXPORT(kovar_trace_generation) uint32_t kovar_trace_generation(void);
// Lines first..count-1 joined by "\n" (no newline after the last). Returns
// the byte count; 0 when first >= count.
KOVAR_EXPORT(kovar_trace_since) uint32_t kovar_trace_since(uint32_t first);
// Lines first..first+count-1 (as far as they exist), joined by "\n".
KOVAR_EXPORT(kovar_trace_range) uint32_t kovar_trace_range(uint32_t first, uint32_t count);
// The first line at or after `from` (before it when backward is nonzero)
// that contains the text; flags bit 0: ignore the case of ASCII letters.
// Returns the line number, or -1.
KOVAR_EXPORT(kovar_trace_find)
int32_t kovar_trace_find(const char* text, uint32_t length, uint32_t from, int32_t backward,
                         int32_t flags);

// ---- the assembler and disassembler ----

// Assembles the program text. With `apply` nonzero and no error, the
// program replaces memory and marks and sets PC to its start (stacks, URD
// and FL kept), as "Ассемблировать" does; this counts as the user's edit.
// Returns the number of errors (0: success).
KOVAR_EXPORT(kovar_assemble)
int32_t kovar_assemble(const char* text, uint32_t length, int32_t apply);
// The errors of the last kovar_assemble, in line order.
KOVAR_EXPORT(kovar_asm_error_line) int32_t kovar_asm_error_line(int32_t index); // from 1
KOVAR_EXPORT(kovar_asm_error_column)
int32_t kovar_asm_error_column(int32_t index); // from 1, characters
// The message alone, and the whole text as the desktop lists it.
KOVAR_EXPORT(kovar_asm_error_message) uint32_t kovar_asm_error_message(int32_t index);
KOVAR_EXPORT(kovar_asm_error_text) uint32_t kovar_asm_error_text(int32_t index);
// Of the last successful kovar_assemble: the start address and the number of
// bytes laid down.
KOVAR_EXPORT(kovar_asm_start) int32_t kovar_asm_start(void);
KOVAR_EXPORT(kovar_asm_bytes) int32_t kovar_asm_bytes(void);

// The source map of the last assembly without errors (interface version 2).
// Its items: one per instruction and per directive item (`.word a, b` gives
// two, `.space n` one), in source order, as int32 quadruples
// [address, size in bytes, line from 1, kind] at kovar_asm_spans(), kind 0
// instruction, 1 .word, 2 .data, 3 .byte, 4 .space (bytes skipped, not
// written), as assembled. An edit of a memory byte through kovar_set or
// kovar_set_text drops the items holding it from the lookups below; New, a
// load and a failed assembly empty the map.
enum {
    KOVAR_ITEM_INSTRUCTION = 0,
    KOVAR_ITEM_WORD = 1,
    KOVAR_ITEM_DATA = 2,
    KOVAR_ITEM_BYTE = 3,
    KOVAR_ITEM_SPACE = 4
};
KOVAR_EXPORT(kovar_asm_span_count) int32_t kovar_asm_span_count(void);
KOVAR_EXPORT(kovar_asm_spans) const int32_t* kovar_asm_spans(void);
// The labels, in source order: name (as written), address, line.
KOVAR_EXPORT(kovar_asm_label_count) int32_t kovar_asm_label_count(void);
KOVAR_EXPORT(kovar_asm_label_name) uint32_t kovar_asm_label_name(int32_t index);
KOVAR_EXPORT(kovar_asm_label_address) int32_t kovar_asm_label_address(int32_t index);
KOVAR_EXPORT(kovar_asm_label_line) int32_t kovar_asm_label_line(int32_t index);
// The line that laid down the byte at an address (a .space line for a byte
// it skipped), 0 when none did or the item was dropped.
KOVAR_EXPORT(kovar_asm_line_at) int32_t kovar_asm_line_at(int32_t address);
// The address of the instruction on a line, -1 when the line holds none.
KOVAR_EXPORT(kovar_asm_instruction_of_line)
int32_t kovar_asm_instruction_of_line(int32_t line);

// The text of one instruction word.
KOVAR_EXPORT(kovar_disassemble) uint32_t kovar_disassemble(int32_t word);
// The word at an address, most significant byte first, as instructions are
// stored (bytes outside memory read as 0).
KOVAR_EXPORT(kovar_instruction_word) int32_t kovar_instruction_word(int32_t address);
// The listing of memory (rows of address, bytes, text, marks).
KOVAR_EXPORT(kovar_listing) uint32_t kovar_listing(void);
// Program text that assembles back to this memory, its marks and PC.
KOVAR_EXPORT(kovar_memory_as_source) uint32_t kovar_memory_as_source(void);

// ---- number texts ----

// HexToInt of the text: a malformed text reports "Ошибка ввода hex числа"
// and gives 0. Reports.
KOVAR_EXPORT(kovar_hex_to_int) int32_t kovar_hex_to_int(const char* text, uint32_t length);
// The value as at least 2*bytes upper-case hex digits (IntToHexBytes).
KOVAR_EXPORT(kovar_int_to_hex) uint32_t kovar_int_to_hex(int32_t value, int32_t bytes);

// The number converter "Hex<->bin<->dec": three fields that start at "0".
enum { KOVAR_CONV_DEC = 0, KOVAR_CONV_HEX = 1, KOVAR_CONV_BIN = 2 };
// The user leaves `field` with this text: the field takes it and the others
// are recomputed as the desktop does, with its messages. Reports.
KOVAR_EXPORT(kovar_convert)
void kovar_convert(int32_t field, const char* text, uint32_t length);
// The field's text now.
KOVAR_EXPORT(kovar_converter_text) uint32_t kovar_converter_text(int32_t field);

// The calculator "RPN-калькулятор": its fields and its postfix list.
enum {
    KOVAR_CALC_INFIX = 0,   // starts empty
    KOVAR_CALC_POSTFIX = 1, // starts empty
    KOVAR_CALC_A = 2,       // A..D start at "0.0"
    KOVAR_CALC_B = 3,
    KOVAR_CALC_C = 4,
    KOVAR_CALC_D = 5,
    KOVAR_CALC_ANSWER = 6 // starts empty
};
// Sets a field's text as typed. For the infix field this is leaving it: a
// text that is not blank is converted into the list and the postfix field
// (a malformed text reports "Error"). Reports.
KOVAR_EXPORT(kovar_calc_set)
void kovar_calc_set(int32_t field, const char* text, uint32_t length);
// The "=" button: evaluates the list with A..D; the answer field takes the
// result, or keeps its text when a fault is reported. Returns 1 on a
// result, 0 on a fault. Reports.
KOVAR_EXPORT(kovar_calc_evaluate) int32_t kovar_calc_evaluate(void);
KOVAR_EXPORT(kovar_calc_text) uint32_t kovar_calc_text(int32_t field);

#ifdef __cplusplus
}
#endif
