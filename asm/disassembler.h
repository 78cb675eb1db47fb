// The disassembler: one word to its text, and whole memories as a listing or
// as program text that assembles back to the same bytes and marks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "machine_state.h"

namespace kovar {

// The text of one word; every word has one, and assembling it gives the
// word back.
std::string Disassemble(uint32_t word);

// The same text written into `out`, which must hold kMaxDisassemblyLength
// characters; returns the length (no terminating zero is written).
inline constexpr std::size_t kMaxDisassemblyLength = 192;
std::size_t DisassembleTo(uint32_t word, char* out);

// The listing of memory: one row per 4-byte block at a multiple of 4 that
// holds a non-zero byte or a breakpoint mark (address, bytes, text, marks).
std::string ListMemory(const MachineState& state);

// Program text that assembles back to exactly the memory and the breakpoint
// marks of `state`, and to its PC when PC lies in 0..1000.
std::string MemoryAsSource(const MachineState& state);

} // namespace kovar
