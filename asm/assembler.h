// The assembler: program text in, bytes for memory (with breakpoint marks and
// a start address) or a plain list of words out. The language is described in
// docs/assembly.md.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "machine_state.h"

namespace kovar {

struct AsmError {
    int line = 0;   // from 1
    int column = 0; // from 1, in characters
    std::string message;
};

// "line 7, column 12: unknown register 'TOX'; expected ..."
std::string FormatAsmError(const AsmError& error);

// Bytes laid down from one address on, in the order the source wrote them.
struct AsmRegion {
    uint32_t address = 0;
    std::vector<uint8_t> bytes;
    int line = 0; // where the region began
};

struct AsmMark {
    uint32_t address = 0;
    uint8_t value = 1;
};

struct AssembleResult {
    std::vector<AsmRegion> regions; // no two overlap; in source order
    std::vector<AsmMark> marks;
    // The start: the label "start" when defined, else the first instruction,
    // else 0.
    uint32_t start = 0;
    std::vector<AsmError> errors; // in line order; non-empty means nothing is usable
    bool ok() const { return errors.empty(); }
};

enum class AsmBound {
    Memory,   // every byte and mark must lie in 0..1000
    Unbounded // addresses up to 2^32 - 1 (benchmarks, word lists)
};

AssembleResult Assemble(std::string_view source, AsmBound bound = AsmBound::Memory);

// The source's bytes taken as words, most significant byte first, in address
// order, without the memory bound: the form for long instruction lists. Fills
// `errors` (when given) and returns nothing on an error.
std::vector<uint32_t> AssembleWords(std::string_view source,
                                    std::vector<AsmError>* errors = nullptr);

// One instruction line (no labels needed) to its word; false on any error.
bool AssembleOne(std::string_view line, uint32_t& word);

// Replaces the machine's memory and breakpoint marks by the result's and sets
// PC to its start; stacks, user registers and FL are kept. The result must be
// ok() and assembled with AsmBound::Memory.
void ApplyProgram(const AssembleResult& result, MachineState& state);

// The longest program text the assembler takes; a longer one is an error.
// Programs reading a text from a file read at most one byte more.
inline constexpr std::size_t kMaxSourceBytes = std::size_t{64} << 20;

} // namespace kovar
