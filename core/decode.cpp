// Fetch, field extraction, the stack primitives and register access by code.
#include <array>

#include "hex_op.h"
#include "isa.h"
#include "processor.h"

namespace kovar {

Processor::Processor(MachineState& state, TraceLog& log, MachineViews* views)
    : st_(state), log_(log), views_(views) {}

void Processor::setViews(MachineViews* views) {
    views_ = views;
}

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
        refreshStack(StackId::DS);
    } else if (code < 8) {
        st_.RS[code - 4] = word;
        refreshStack(StackId::RS);
    } else if (code < 12) {
        st_.URD[code - 8] = word;
        refreshURD();
    } else if (code == isa::RegPC) {
        st_.PC = word;
        refreshPC();
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
