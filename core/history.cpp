#include "history.h"

#include <algorithm>
#include <cstring>

#include "isa.h"

namespace kovar {

namespace {

// The value a register code reads, as the executor's GetValue sees it.
uint32_t registerValue(const MachineState& st, unsigned code) {
    code &= 15u;
    if (code < 4)
        return static_cast<uint32_t>(st.DS[code]);
    if (code < 8)
        return static_cast<uint32_t>(st.RS[code - 4]);
    if (code < 12)
        return static_cast<uint32_t>(st.URD[code - 8]);
    if (code == isa::RegPC)
        return static_cast<uint32_t>(st.PC);
    return 0;
}

} // namespace

void History::ByteRing::grow(std::size_t need) {
    std::size_t capacity = buf_.empty() ? 4096 : buf_.size();
    while (capacity < need)
        capacity *= 2;
    std::vector<uint8_t> bigger(capacity);
    for (std::size_t i = 0; i < size_; ++i)
        bigger[i] = buf_[(begin_ + i) & (buf_.size() - 1)];
    buf_.swap(bigger);
    begin_ = 0;
}

void History::ByteRing::pushBack(const uint8_t* data, std::size_t n) {
    if (size_ + n > buf_.size())
        grow(size_ + n);
    const std::size_t mask = buf_.size() - 1;
    const std::size_t at = (begin_ + size_) & mask;
    const std::size_t first = std::min(n, buf_.size() - at);
    std::memcpy(buf_.data() + at, data, first);
    std::memcpy(buf_.data(), data + first, n - first);
    size_ += n;
}

void History::ByteRing::popBack(uint8_t* out, std::size_t n) {
    const std::size_t mask = buf_.size() - 1;
    const std::size_t at = (begin_ + size_ - n) & mask;
    const std::size_t first = std::min(n, buf_.size() - at);
    std::memcpy(out, buf_.data() + at, first);
    std::memcpy(out + first, buf_.data(), n - first);
    size_ -= n;
}

void History::ByteRing::popFront(std::size_t n) {
    begin_ = (begin_ + n) & (buf_.size() - 1);
    size_ -= n;
}

void History::Record(const MachineState& st, const TraceLog& log) {
    const uint32_t word = st.ReadInstructionWord(static_cast<uint32_t>(st.PC));
    const unsigned cls = word >> 29;
    const unsigned regA = (word >> 20) & 15u;
    const unsigned action = (word >> 16) & 15u;
    const bool returnBit = (word >> 28) & 1u;

    bool ds = false, rs = cls == isa::Call, urd = false, mem = false;
    if (cls >= isa::AluShift) {
        ds = isa::StackActionPopsDS(action) || isa::StackActionPushesDS(action);
        rs = returnBit || isa::StackActionPopsRS(action) || isa::StackActionPushesRS(action);
        // ALU, SHIFT and LOAD write the register selected by A.
        if (cls == isa::AluShift || cls == isa::Load) {
            ds = ds || regA < 4;
            rs = rs || (regA >= 4 && regA < 8);
            urd = regA >= 8 && regA < 12;
        }
        mem = cls == isa::Save;
    }

    uint8_t payload[2 * sizeof(Stack) + 1 + 4 + 4 + 4];
    std::size_t n = 0;
    const auto put = [&](const void* data, std::size_t size) {
        std::memcpy(payload + n, data, size);
        n += size;
    };
    if (ds)
        put(st.DS.data(), sizeof(Stack));
    if (rs)
        put(st.RS.data(), sizeof(Stack));
    if (urd) {
        const uint8_t k = static_cast<uint8_t>(regA - 8);
        put(&k, 1);
        put(&st.URD[k], 4);
    }
    if (mem) {
        const uint32_t address = registerValue(st, regA) + (word & 0xFFFFu);
        put(&address, 4);
        for (uint32_t i = 0; i < 4; ++i)
            payload[n++] = st.ReadByte(address + i);
    }

    Step step{};
    step.traceLines = log.size();
    step.traceGeneration = static_cast<uint32_t>(log.generation());
    step.pc = st.PC;
    step.ir = st.IR.word();
    step.c = st.C;
    step.payload = static_cast<uint16_t>(n);
    step.kept = static_cast<uint8_t>((ds ? KeptDS : 0) | (rs ? KeptRS : 0) | (urd ? KeptURD : 0) |
                                     (mem ? KeptMem : 0) | (st.IR.empty() ? 0 : IRFetched) |
                                     (st.FL ? FlagFL : 0));
    if (steps_.size() >= depth_)
        dropOldest();
    steps_.push_back(step);
    if (n > 0)
        bytes_.pushBack(payload, n);
}

void History::dropOldest() {
    bytes_.popFront(steps_.front().payload);
    steps_.pop_front();
}

bool History::Undo(MachineState& st, TraceLog& log) {
    if (steps_.empty())
        return false;
    const Step step = steps_.back();
    steps_.pop_back();
    uint8_t payload[2 * sizeof(Stack) + 1 + 4 + 4 + 4];
    if (step.payload > 0)
        bytes_.popBack(payload, step.payload);

    std::size_t n = 0;
    const auto take = [&](void* data, std::size_t size) {
        std::memcpy(data, payload + n, size);
        n += size;
    };
    if (step.kept & KeptDS)
        take(st.DS.data(), sizeof(Stack));
    if (step.kept & KeptRS)
        take(st.RS.data(), sizeof(Stack));
    if (step.kept & KeptURD) {
        uint8_t k = 0;
        take(&k, 1);
        take(&st.URD[k & 3u], 4);
    }
    if (step.kept & KeptMem) {
        uint32_t address = 0;
        take(&address, 4);
        for (uint32_t i = 0; i < 4; ++i)
            st.WriteByte(address + i, payload[n++]);
    }
    st.PC = step.pc;
    if (step.kept & IRFetched)
        st.IR.set(step.ir);
    else
        st.IR.clear();
    st.FL = (step.kept & FlagFL) != 0;
    st.C = step.c;

    if (static_cast<uint32_t>(log.generation()) == step.traceGeneration)
        log.Truncate(static_cast<std::size_t>(step.traceLines));
    return true;
}

void History::AmendLastIR(const InstructionRegister& ir) {
    if (steps_.empty())
        return;
    Step& step = steps_.back();
    step.ir = ir.word();
    step.kept = static_cast<uint8_t>((step.kept & ~IRFetched) | (ir.empty() ? 0 : IRFetched));
}

void History::Clear() {
    steps_.clear();
    bytes_.clear();
}

} // namespace kovar
