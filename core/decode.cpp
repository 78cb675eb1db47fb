// Fetch, field extraction, the stack primitives and register access by code.
#include <array>

#include "hex_op.h"
#include "isa.h"
#include "processor.h"

namespace kovar {

namespace {
MachineViews& noViews() {
    static MachineViews none;
    return none;
}
} // namespace

Processor::Processor(MachineState& state, TraceLog& log, MachineViews* views)
    : st_(state), log_(log), views_(views ? views : &noViews()) {}

void Processor::setViews(MachineViews* views) { views_ = views ? views : &noViews(); }

void Processor::refreshStack(StackId id) { views_->RefreshStack(id); }

int32_t Processor::Push(StackId id, int32_t value) {
    Stack& s = st_.stack(id);
    for (int i = kStackDepth - 1; i >= 1; --i)
        s[i] = s[i - 1];
    s[0] = value;
    refreshStack(id);
    return value;
}

int32_t Processor::Pop(StackId id) {
    Stack& s = st_.stack(id);
    const int32_t top = s[0];
    for (int i = 0; i < kStackDepth - 1; ++i)
        s[i] = s[i + 1];
    s[kStackDepth - 1] = 0;
    refreshStack(id);
    return top;
}

void Processor::FetchIR() { st_.IR.set(st_.ReadInstructionWord(static_cast<uint32_t>(st_.PC))); }

uint32_t Processor::DecInstr(unsigned hi, unsigned lo) const {
    const unsigned width = hi - lo + 1;
    const uint32_t shifted = st_.IR.word() >> lo;
    return width >= 32 ? shifted : shifted & ((1u << width) - 1u);
}

void Processor::traceWord(std::string_view name, uint32_t word) {
    if (!tracing())
        return;
    char hex[8];
    FormatHex8(word, hex);
    log_.Debug({name, ": ", std::string_view(hex, 8)});
}

int32_t Processor::GetValue(unsigned code) {
    code &= 15u;
    int32_t value = 0;
    if (code < 4)
        value = st_.DS[code];
    else if (code < 8)
        value = st_.RS[code - 4];
    else if (code < 12)
        value = st_.URD[code - 8];
    else if (code == isa::RegPC)
        value = st_.PC;
    traceWord(isa::kRegisters[code].traceName, static_cast<uint32_t>(value));
    return value;
}

void Processor::SetValue(unsigned code, int32_t word) {
    code &= 15u;
    if (code < 4) {
        st_.DS[code] = word;
        views_->RefreshStack(StackId::DS);
    } else if (code < 8) {
        st_.RS[code - 4] = word;
        views_->RefreshStack(StackId::RS);
    } else if (code < 12) {
        st_.URD[code - 8] = word;
        views_->RefreshURD();
    } else if (code == isa::RegPC) {
        st_.PC = word;
        views_->RefreshPC();
    }
    traceWord(isa::kRegisters[code].traceName, static_cast<uint32_t>(word));
}

void Processor::PopStacks(unsigned code) {
    if (isa::StackActionPopsDS(code)) {
        Pop(StackId::DS);
        log_.Debug(isa::kTracePopDS);
    }
    if (isa::StackActionPopsRS(code)) {
        Pop(StackId::RS);
        log_.Debug(isa::kTracePopRS);
    }
}

void Processor::PushStacks(unsigned code, int32_t word) {
    if (isa::StackActionPushesDS(code)) {
        Push(StackId::DS, word);
        log_.Debug(isa::kTracePushDS);
    }
    if (isa::StackActionPushesRS(code)) {
        Push(StackId::RS, word);
        log_.Debug(isa::kTracePushRS);
    }
}

} // namespace kovar
