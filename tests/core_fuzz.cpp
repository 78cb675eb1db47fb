// Random words from random states, PC anywhere in 32 bits. Built with the
// sanitizers, this proves that no word reads or writes outside the machine's
// arrays; in every build it checks what each class may and may not change,
// and that the trace switch and the views change nothing but the log.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core_helpers.h"

namespace kovar::test {
namespace {

class Fuzzer {
public:
    explicit Fuzzer(uint32_t seed) : gen_(seed) {}

    uint32_t word() { return static_cast<uint32_t>(gen_()); }
    bool chance(unsigned percent) { return word() % 100 < percent; }

    // A value near memory (so that LOAD, SAVE and branches land at the
    // edges) or anywhere.
    uint32_t address() {
        switch (word() % 4) {
        case 0: return word() % 1016 - 8; // -8 .. 1007, wrapping below 0
        case 1: return (word() % 250) * 4;
        default: return word();
        }
    }

    uint32_t instruction() {
        uint32_t w = word();
        if (chance(40)) // small offsets and bases, so addresses meet the edges
            w = (w & 0xFFFF0000u) | (word() % 1100);
        if (chance(10))
            w = kHalt;
        return w;
    }

    void randomize(MachineState& st) {
        for (auto& b : st.Memory)
            b = static_cast<uint8_t>(word());
        st.BreakpointMarks.fill(0);
        for (int i = 0; i < 4; ++i)
            st.BreakpointMarks[word() % kMemorySize] = 1;
        for (auto& v : st.DS)
            v = W(address());
        for (auto& v : st.RS)
            v = W(address());
        for (auto& v : st.URD)
            v = W(address());
        st.PC = W(address());
        st.FL = chance(50);
        st.C = chance(50) ? 1 : 0;
        st.IR.set(word());
    }

private:
    std::mt19937 gen_;
};

// The machine with the trace on and the views recorded, the same with the
// trace off, and the same without views: they must end in the same state.
struct Triple {
    Machine on, off;
    MachineState bareState;
    TraceLog bareLog;
    Processor bare{bareState, bareLog, nullptr};

    std::size_t base = 0; // first line of the current round

    Triple() { off.log.setEnabled(false); }
    void load(const MachineState& s) {
        on.st = off.st = bareState = s;
        on.views.clear();
        off.views.clear();
        // The logs are cleared only now and then: each clear gives up the
        // log's storage, which is slow to take again under the sanitizers.
        if (on.log.size() > 100000) {
            on.log.Clear();
            bareLog.Clear();
        }
        base = on.log.size();
    }
    template <typename F> void each(F f) {
        f(on.cpu);
        f(off.cpu);
        f(bare);
    }
    void expectSame(const std::string& where) const {
        ASSERT_EQ(on.st, off.st) << where;
        ASSERT_EQ(on.st, bareState) << where;
        ASSERT_EQ(on.views.calls, off.views.calls) << where;
        ASSERT_EQ(on.log.size(), bareLog.size()) << where;
        for (std::size_t i = base; i < bareLog.size(); ++i)
            ASSERT_EQ(on.log.line(i), bareLog.line(i)) << where;
        ASSERT_EQ(off.log.size(), 0u) << where;
    }
};

uint32_t IRWordAt(const MachineState& st, int32_t pc) {
    uint32_t w = 0;
    for (uint32_t i = 0; i < 4; ++i) {
        const uint32_t a = static_cast<uint32_t>(pc) + i;
        w = (w << 8) | (a < static_cast<uint32_t>(kMemorySize) ? st.Memory[a] : 0u);
    }
    return w;
}

// What one instruction may change, judged against the state before it.
void CheckClassInvariants(uint32_t w, const MachineState& s0, const Machine& m,
                          const std::string& where) {
    const MachineState& s = m.st;
    const uint32_t cls = w >> 29;
    const bool ret = (w >> 28) & 1;
    const bool isAlu = cls == 3 && ((w >> 15) & 1) == 0;
    const uint32_t target = w & 0x1FFFFFFFu;
    const uint32_t next = static_cast<uint32_t>(s0.PC) + 4;

    ASSERT_EQ(s.BreakpointMarks, s0.BreakpointMarks) << where;
    ASSERT_EQ(s.IR, s0.IR) << where;
    if (!isAlu) {
        ASSERT_EQ(s.C, s0.C) << where;
    }
    if (cls != 3) {
        ASSERT_EQ(s.FL, s0.FL) << where;
    }
    if (cls != 5) {
        ASSERT_EQ(s.Memory, s0.Memory) << where;
    }
    ASSERT_FALSE(m.views.calls.empty()) << where;
    ASSERT_EQ(m.views.calls.back(), "[PC]") << where;
    bool refreshedMem = false;
    for (const auto& c : m.views.calls)
        refreshedMem = refreshedMem || c == "[Mem]";
    ASSERT_EQ(refreshedMem, cls == 5) << where;

    switch (cls) {
    case 0: {
        ASSERT_EQ(static_cast<uint32_t>(s.PC), target) << where;
        ASSERT_EQ(static_cast<uint32_t>(s.RS[0]), next) << where;
        for (int i = 1; i < kStackDepth; ++i)
            ASSERT_EQ(s.RS[i], s0.RS[i - 1]) << where;
        ASSERT_EQ(s.DS, s0.DS) << where;
        ASSERT_EQ(s.URD, s0.URD) << where;
        break;
    }
    case 1:
    case 2: {
        const bool taken = cls == 1 || s0.FL;
        ASSERT_EQ(static_cast<uint32_t>(s.PC), taken ? target : next) << where;
        ASSERT_EQ(s.DS, s0.DS) << where;
        ASSERT_EQ(s.RS, s0.RS) << where;
        ASSERT_EQ(s.URD, s0.URD) << where;
        break;
    }
    case 5: {
        int changed = 0;
        for (int i = 0; i < kMemorySize; ++i)
            changed += s.Memory[i] != s0.Memory[i] ? 1 : 0;
        ASSERT_LE(changed, 4) << where;
        break;
    }
    case 6:
    case 7: {
        ASSERT_EQ(s.DS, s0.DS) << where;
        ASSERT_EQ(s.URD, s0.URD) << where;
        ASSERT_EQ(static_cast<uint32_t>(s.PC), ret ? static_cast<uint32_t>(s0.RS[0]) : next)
            << where;
        if (!ret) {
            ASSERT_EQ(s.RS, s0.RS) << where;
        }
        break;
    }
    default: break;
    }
}

TEST(CoreFuzzTest, RandomWordsFromRandomStates) {
    constexpr uint32_t kSeed = 20240611;
    constexpr int kRounds = 20000;
    Fuzzer fz(kSeed);
    Triple t;
    MachineState s0;
    ErrorRecorder errors; // Runs that reach their limit report through ShowError

    for (int round = 0; round < kRounds; ++round) {
        fz.randomize(s0);
        const uint32_t w = fz.instruction();
        s0.IR.set(w);
        const std::string where = "seed " + std::to_string(kSeed) + " round " +
                                  std::to_string(round) + " word " + Hex8(w) + " PC " +
                                  Hex8(static_cast<uint32_t>(s0.PC));
        t.load(s0);

        // The word itself, whatever PC is.
        t.each([](Processor& p) { p.parser(); });
        ASSERT_NO_FATAL_FAILURE(t.expectSame(where));
        ASSERT_GT(t.on.log.size(), t.base) << where;
        ASSERT_NO_FATAL_FAILURE(CheckClassInvariants(w, s0, t.on, where));

        // A few steps on from there, fetching from memory.
        const std::size_t before = t.on.log.size();
        for (int i = 0; i < 3; ++i) {
            t.each([](Processor& p) { p.StepPrg(); });
            ASSERT_EQ(t.on.st.IR.word(), IRWordAt(t.on.st, t.on.st.PC)) << where;
            ASSERT_EQ(t.on.st.IR.text(), Hex8(t.on.st.IR.word())) << where;
        }
        ASSERT_NO_FATAL_FAILURE(t.expectSame(where + " after steps"));
        const std::string heading = std::string(t.on.log.line(before));
        ASSERT_EQ(heading.size(), 58u) << where;
        ASSERT_EQ(heading.substr(0, 4), "PC: ") << where;

        // Now and then a short Run.
        if (round % 20 == 0) {
            std::vector<RunReport> reports;
            t.each([&](Processor& p) { reports.push_back(p.RunPrg(40)); });
            ASSERT_NO_FATAL_FAILURE(t.expectSame(where + " after run"));
            ASSERT_EQ(reports[0].steps, reports[1].steps) << where;
            ASSERT_EQ(reports[0].steps, reports[2].steps) << where;
            ASSERT_LE(reports[0].steps, 40u) << where;
            ASSERT_TRUE(reports[0].halt || reports[0].breakpoint || reports[0].maxStep) << where;
        }
    }
}

} // namespace
} // namespace kovar::test
