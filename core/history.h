// History: a journal of what each executed instruction changed, so that the
// simulator can step back through the last instructions exactly. Before an
// instruction runs, the processor hands the machine to Record, which keeps
// PC, IR, FL, C and the trace length, and, judged from the instruction word
// about to run, only what that instruction can change: a stack it may touch,
// the user register it may write, the four bytes a SAVE may overwrite.
// Breakpoint marks are never changed by an instruction and are not kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "machine_state.h"
#include "trace_log.h"

namespace kovar {

class History {
public:
    static constexpr std::size_t kDefaultDepth = 100'000;

    explicit History(std::size_t depth = kDefaultDepth) : depth_(depth == 0 ? 1 : depth) {}

    // Notes what the instruction at PC may change; the oldest record is
    // dropped once more than depth() instructions are kept.
    void Record(const MachineState& st, const TraceLog& log);
    // Undoes the most recent recorded instruction: the machine returns to
    // what it was before it, and the trace lines it wrote are removed (unless
    // the trace was cleared since). False when nothing is recorded.
    bool Undo(MachineState& st, TraceLog& log);
    void Clear();
    // Replaces the IR noted by the latest record (a Run fetches before its
    // first step).
    void AmendLastIR(const InstructionRegister& ir);

    bool empty() const { return steps_.empty(); }
    std::size_t size() const { return steps_.size(); }
    std::size_t depth() const { return depth_; }
    // Bytes held by the records, for the memory figures.
    std::size_t memoryBytes() const { return steps_.size() * sizeof(Step) + bytes_.size(); }

private:
    enum Kept : uint8_t {
        KeptDS = 1,
        KeptRS = 2,
        KeptURD = 4,
        KeptMem = 8,
        IRFetched = 16,
        FlagFL = 32,
    };
    struct Step {
        uint64_t traceLines;
        uint32_t traceGeneration; // low bits suffice to tell a cleared log
        int32_t pc;
        uint32_t ir;
        uint8_t kept;
        uint8_t c;
        uint16_t payload; // bytes of this step at the end of bytes_
    };

    // The steps' saved bytes, oldest first, in one growing ring: appended
    // and taken back at the end, dropped at the front.
    class ByteRing {
    public:
        void pushBack(const uint8_t* data, std::size_t n);
        void popBack(uint8_t* out, std::size_t n);
        void popFront(std::size_t n);
        void clear() { begin_ = size_ = 0; }
        std::size_t size() const { return size_; }
        std::size_t capacity() const { return buf_.size(); }

    private:
        void grow(std::size_t need);
        std::vector<uint8_t> buf_; // size a power of two, or empty
        std::size_t begin_ = 0;
        std::size_t size_ = 0;
    };

    void dropOldest();

    std::size_t depth_;
    std::deque<Step> steps_;
    ByteRing bytes_;
};

} // namespace kovar
