// The assembler: program text in, bytes for memory (with breakpoint marks and
// a start address) or a plain list of words out. The language is described in
// docs/assembly.md.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
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

// Which form of the source laid bytes down.
enum class AsmItemKind : uint8_t { Instruction, Word, Data, Byte, Space };

// One instruction or one directive item, in source order. `.word a, b, c`
// gives one span per value (4 bytes each), `.byte` one per value (1 byte),
// `.space n` one span of n bytes (none for `.space 0`); `.org`, `.break` and
// labels give none. Space spans cover bytes that are skipped, not written.
struct AsmSpan {
    uint32_t address = 0; // first byte
    uint32_t size = 0;    // bytes laid down, at least 1
    int line = 0;         // from 1
    AsmItemKind kind = AsmItemKind::Instruction;
};

// A label as written (its case kept), the address it stands for and its line.
// In the unbounded form a label after a byte at 0xFFFFFFFF wraps to 0.
struct AsmLabel {
    std::string name;
    uint32_t address = 0;
    int line = 0;
};

struct AssembleResult {
    std::vector<AsmRegion> regions; // no two overlap; in source order
    std::vector<AsmMark> marks;
    // The source map: every byte of every region lies in exactly one span
    // that is not a Space span. Both are empty after an error.
    std::vector<AsmSpan> spans;   // in source order
    std::vector<AsmLabel> labels; // in source order
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

// Which source line laid down an address, and which address a line's
// instruction has: built once from a result, answered by binary search.
class SourceMap {
public:
    SourceMap() = default;
    explicit SourceMap(const AssembleResult& result);

    // The span that wrote the byte at `address`; where nothing was written,
    // the `.space` that skipped it; else nullptr.
    const AsmSpan* SpanAt(uint32_t address) const;
    // The line of SpanAt(address), 0 when there is none.
    int LineAt(uint32_t address) const;
    // The address of the instruction on `line` (a line holds at most one).
    std::optional<uint32_t> InstructionOfLine(int line) const;
    // The first byte that `line` wrote, instruction or data.
    std::optional<uint32_t> FirstAddressOfLine(int line) const;
    // The labels standing for `address`, in source order.
    std::span<const AsmLabel> LabelsAt(uint32_t address) const;

    // Forgets every span holding a byte of `address` .. `address + count - 1`
    // (bytes changed since the assembly): written spans go whole, skipped
    // ranges lose just those bytes.
    void DropBytes(uint32_t address, uint32_t count);

    const std::vector<AsmSpan>& spans() const { return spans_; } // as assembled
    const std::vector<AsmLabel>& labels() const { return labels_; }
    bool empty() const { return spans_.empty() && labels_.empty(); }

private:
    struct Piece {
        uint32_t first, last; // inclusive
        uint32_t span;        // index into spans_
    };
    static const Piece* Find(const std::vector<Piece>& pieces, uint32_t address);

    std::vector<AsmSpan> spans_;
    std::vector<uint8_t> alive_;   // per span: still holds what was assembled
    std::vector<Piece> written_;   // by address; they never overlap
    std::vector<Piece> skipped_;   // the parts of Space spans not written, by address
    std::vector<AsmLabel> labels_; // source order
    std::vector<AsmLabel> labelsByAddress_;
};

// The longest program text the assembler takes; a longer one is an error.
// Programs reading a text from a file read at most one byte more.
inline constexpr std::size_t kMaxSourceBytes = std::size_t{64} << 20;

} // namespace kovar
