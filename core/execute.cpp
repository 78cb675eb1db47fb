// The executor of one instruction and the carry selection.
#include "alu.h"
#include "hex_op.h"
#include "isa.h"
#include "processor.h"

namespace kovar {

unsigned Processor::Carry(unsigned code) {
    unsigned carry = 0;
    switch (code & 3u) {
    case 0: carry = 0; break;
    case 1: carry = 1; break;
    case 2: carry = st_.FL ? 1 : 0; break;
    default: carry = st_.FL ? 0 : 1; break;
    }
    log_.Debug(carry ? std::string_view("Carry:1") : std::string_view("Carry:0"));
    return carry;
}

void Processor::Ret() {
    st_.PC = Pop(StackId::RS);
}

void Processor::parser() {
    // Fields common to several classes, in a fixed order.
    const uint32_t target = DecInstr(28, 0);
    const bool returnBit = DecInstr(28, 28) == 1;
    const unsigned regB = DecInstr(27, 24);
    const unsigned regA = DecInstr(23, 20);
    const unsigned stackAction = DecInstr(19, 16);
    const unsigned condition = DecInstr(13, 10);
    const uint32_t offset = DecInstr(15, 0);
    const unsigned instrClass = DecInstr(31, 29);

    const auto pc = [this] { return static_cast<uint32_t>(st_.PC); };
    switch (instrClass) {
    case isa::Call:
        Push(StackId::RS, static_cast<int32_t>(pc() + 4u));
        refreshStack(StackId::RS);
        st_.PC = static_cast<int32_t>(target);
        refreshPC();
        traceWord("Call", target);
        break;
    case isa::Branch:
        st_.PC = static_cast<int32_t>(target);
        traceWord("Branch", target);
        break;
    case isa::BranchC:
        if (st_.FL) {
            st_.PC = static_cast<int32_t>(target);
            if (tracing()) {
                char hex[8];
                FormatHex8(target, hex);
                log_.Debug({"C Branch: Fl=true ", std::string_view(hex, 8)});
            }
        } else {
            st_.PC = static_cast<int32_t>(pc() + 4u);
            log_.Debug("C Branch: Fl=false");
        }
        break;
    case isa::AluShift:
        if (DecInstr(15, 15) == 0)
            execAlu(regB, regA, stackAction, condition);
        else
            execShift(regB, regA, stackAction);
        break;
    case isa::Load: execLoad(regB, regA, stackAction, offset); break;
    case isa::Save: execSave(regB, regA, stackAction, offset); break;
    case isa::Lal: log_.Debug("Lal nothing do"); break;
    default: log_.Debug("Lah nothing do"); break;
    }

    if (instrClass >= isa::AluShift) {
        if (returnBit)
            Ret();
        else
            st_.PC = static_cast<int32_t>(pc() + 4u);
    }
    refreshPC();
}

void Processor::execAlu(unsigned regB, unsigned regA, unsigned stackAction, unsigned condition) {
    log_.Debug("ALU");
    const auto b = static_cast<uint32_t>(GetValue(regB));
    const auto a = static_cast<uint32_t>(GetValue(regA));
    PopStacks(stackAction);
    PushStacks(stackAction, 0);
    const unsigned carry = Carry(DecInstr(9, 8));
    const AluResult result = ALU(a, b, DecInstr(6, 0), carry);
    st_.C = result.carry;
    uint32_t r = result.value;
    if (DecInstr(7, 7) == 1)
        st_.FL = Conditional(condition, a, b, r, st_.C);
    if (DecInstr(14, 14) == 1)
        r = st_.FL ? 1u : 0u;
    SetValue(regA, static_cast<int32_t>(r));
}

void Processor::execShift(unsigned regB, unsigned regA, unsigned stackAction) {
    log_.Debug("Shift");
    auto b = static_cast<uint32_t>(GetValue(regB));
    const auto a = static_cast<uint32_t>(GetValue(regA));
    const unsigned carry = Carry(DecInstr(9, 8));
    const unsigned direction = DecInstr(6, 5);
    uint32_t out = 0;
    if (direction == 0) {
        out = b >> 31;
        b <<= 1;
    }
    uint32_t r = 0;
    switch (DecInstr(3, 2)) {
    case 0: r = b + carry; break;
    case 1: r = b - a - carry; break;
    case 2: r = b + a + carry; break;
    default: r = b + a + (carry == 1 ? 1u : 0u); break;
    }
    PopStacks(stackAction);
    PushStacks(stackAction, 0);
    if (direction == 1) {
        r >>= 1;
        if (DecInstr(4, 4) == 0 && st_.FL)
            r += 1u;
    }
    if (DecInstr(14, 14) == 0)
        SetValue(regA, static_cast<int32_t>(r));
    if (DecInstr(1, 1) == 1)
        st_.FL = out == 1;
}

void Processor::execLoad(unsigned regB, unsigned regA, unsigned stackAction, uint32_t offset) {
    log_.Debug("Load");
    const uint32_t address = static_cast<uint32_t>(GetValue(regB)) + offset;
    PopStacks(stackAction);
    PushStacks(stackAction, 0);
    traceWord("Load from adress", address);
    SetValue(regA, static_cast<int32_t>(st_.ReadDataWord(address)));
}

void Processor::execSave(unsigned regB, unsigned regA, unsigned stackAction, uint32_t offset) {
    log_.Debug("Save");
    const uint32_t address = static_cast<uint32_t>(GetValue(regA)) + offset;
    traceWord("Save to adress", address);
    const auto word = static_cast<uint32_t>(GetValue(regB));
    PopStacks(stackAction);
    PushStacks(stackAction, 0);
    st_.WriteDataWord(address, word);
    refreshMem();
}

} // namespace kovar
