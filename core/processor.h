// The processor: fetch, field decoding, register and stack access by code,
// the executor of one instruction (parser), Step and Run. It works on a
// MachineState, narrates into a TraceLog and keeps the views current through
// the MachineViews door.
#pragma once

#include <cstdint>
#include <string_view>

#include "history.h"
#include "machine_state.h"
#include "trace_log.h"
#include "views.h"

namespace kovar {

inline constexpr uint64_t kDefaultStepLimit = 1000;

// Why a Run stopped; more than one may hold at once.
struct RunReport {
    bool halt = false;
    bool breakpoint = false;
    bool maxStep = false;
    uint64_t steps = 0;
};

class Processor {
public:
    Processor(MachineState& state, TraceLog& log, MachineViews* views = nullptr);

    MachineState& state() { return st_; }
    TraceLog& log() { return log_; }
    void setViews(MachineViews* views);
    // With a history attached, every step notes what it changes first, so
    // that it can be undone; none is attached by default.
    void setHistory(History* history) { history_ = history; }
    History* history() const { return history_; }

    // Stack primitives: a push loses the bottom entry, a pop refills it with 0.
    int32_t Push(StackId stack, int32_t value);
    int32_t Pop(StackId stack);

    // IR := the word at PC, most significant byte first.
    void FetchIR() { st_.IR.set(st_.ReadInstructionWord(static_cast<uint32_t>(st_.PC))); }

    // Bits hi..lo of IR as a non-negative number.
    uint32_t DecInstr(unsigned hi, unsigned lo) const {
        const unsigned width = hi - lo + 1;
        const uint32_t shifted = st_.IR.word() >> lo;
        return width >= 32 ? shifted : shifted & ((1u << width) - 1u);
    }

    // Register and stack access by their 4-bit codes, each narrated.
    int32_t GetValue(unsigned code);
    void SetValue(unsigned code, int32_t word);
    void PopStacks(unsigned code);
    void PushStacks(unsigned code, int32_t word);

    // The carry selected by a 2-bit carry code, narrated as "Carry:0/1".
    unsigned Carry(unsigned code);

    // Executes the instruction in IR.
    void parser();
    // PC := Pop(RS).
    void Ret();

    // One instruction with its heading line.
    void StepPrg();
    // Until the halt word, a marked PC or the step limit; the limit is also
    // reported through ShowError.
    RunReport RunPrg(uint64_t limit = kDefaultStepLimit);

private:
    bool tracing() const { return log_.enabled(); }
    void traceWord(std::string_view name, uint32_t word);
    // Without views (the runner, benchmarks) nothing is refreshed.
    void refreshMem() {
        if (views_)
            views_->RefreshMem();
    }
    void refreshStack(StackId id) {
        if (views_)
            views_->RefreshStack(id);
    }
    void refreshURD() {
        if (views_)
            views_->RefreshURD();
    }
    void refreshPC() {
        if (views_)
            views_->RefreshPC();
    }

    void execAlu(unsigned regB, unsigned regA, unsigned stackAction, unsigned condition);
    void execShift(unsigned regB, unsigned regA, unsigned stackAction);
    void execLoad(unsigned regB, unsigned regA, unsigned stackAction, uint32_t offset);
    void execSave(unsigned regB, unsigned regA, unsigned stackAction, uint32_t offset);

    MachineState& st_;
    TraceLog& log_;
    MachineViews* views_;        // may be null
    History* history_ = nullptr; // may be null
};

} // namespace kovar
