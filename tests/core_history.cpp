// Stepping back: over many random machines, running steps and undoing them
// one by one must give back the exact machine and trace, whatever the
// instructions did; the journal stays within its memory budget and its depth.
#include <gtest/gtest.h>

#include <random>

#include "core_helpers.h"
#include "history.h"

namespace kovar::test {
namespace {

// A random machine whose values often lie near memory, so that LOAD, SAVE,
// branches and returns land inside it as well as outside.
void Randomize(MachineState& st, std::mt19937& gen) {
    const auto value = [&gen]() -> uint32_t {
        switch (gen() % 3) {
        case 0: return gen() % 1010;
        case 1: return (gen() % 250) * 4;
        default: return static_cast<uint32_t>(gen());
        }
    };
    for (uint32_t a = 0; a + 4 <= kMemorySize; a += 4) {
        uint32_t w = static_cast<uint32_t>(gen());
        if (gen() % 2)
            w = (w & 0xFFFF0000u) | (gen() % 1000);
        st.WriteInstructionWord(a, w);
    }
    st.BreakpointMarks.fill(0);
    for (int i = 0; i < 3; ++i)
        st.BreakpointMarks[gen() % kMemorySize] = 1;
    for (auto& v : st.DS)
        v = W(value());
    for (auto& v : st.RS)
        v = W(value());
    for (auto& v : st.URD)
        v = W(value());
    st.PC = W(gen() % 4 ? (gen() % 250) * 4 : value());
    st.FL = gen() % 2;
    st.C = gen() % 2;
    if (gen() % 4)
        st.IR.set(static_cast<uint32_t>(gen()));
}

TEST(History, RunningAndUndoingEveryStepRestoresMachineAndTrace) {
    ErrorRecorder errors; // the step limit reports through ShowError
    std::mt19937 gen(20261208);
    std::size_t recorded = 0, bytes = 0;
    for (int trial = 0; trial < 300; ++trial) {
        Machine m;
        Randomize(m.st, gen);
        m.log.Debug("before");
        History history;
        m.cpu.setHistory(&history);
        const MachineState start = m.st;
        const std::vector<std::string> startTrace = Lines(m.log);

        // Single steps and Runs mixed. A Run that would stop before its first
        // step executes nothing and is left out.
        std::size_t steps = 0;
        for (int command = 0; command < 8; ++command) {
            const uint64_t limit = gen() % 60;
            const bool runStops = limit == 0 || m.st.IsBreakpoint(m.st.PC) ||
                                  m.st.ReadInstructionWord(static_cast<uint32_t>(m.st.PC)) == kHalt;
            if (gen() % 2 || runStops) {
                m.cpu.StepPrg();
                ++steps;
            } else {
                steps += m.cpu.RunPrg(limit).steps;
            }
            if (trial % 5 == 0)
                m.log.setEnabled(gen() % 2);
        }
        ASSERT_EQ(history.size(), steps);
        recorded += history.size();
        bytes += history.memoryBytes();

        while (history.Undo(m.st, m.log)) {
        }
        ASSERT_EQ(m.st, start) << "trial " << trial;
        ASSERT_EQ(Lines(m.log), startTrace) << "trial " << trial;
        EXPECT_FALSE(history.Undo(m.st, m.log));
    }
    ASSERT_GT(recorded, 1000u);
    EXPECT_LE(bytes / recorded, 256u);
}

TEST(History, KeepsTheMostRecentStepsUpToItsDepthAndSurvivesAClearedTrace) {
    Machine m;
    // An endless loop that pushes the data stack: every step changes it.
    m.st.WriteInstructionWord(0, Alu({.a = TOS, .stack = PushDS, .carry = 1, .op = OpAPlusCarry}));
    m.st.WriteInstructionWord(4, Branch(0));
    History history(49);
    m.cpu.setHistory(&history);
    for (int i = 0; i < 70; ++i)
        m.cpu.StepPrg();
    const MachineState at70 = m.st;
    for (int i = 0; i < 30; ++i)
        m.cpu.StepPrg();
    EXPECT_EQ(history.size(), 49u);
    m.log.Clear(); // the lines the steps wrote are gone; undo leaves the log alone
    m.log.Debug("kept");
    for (int i = 0; i < 30; ++i)
        ASSERT_TRUE(history.Undo(m.st, m.log));
    EXPECT_EQ(m.st, at70);
    EXPECT_EQ(Lines(m.log), std::vector<std::string>{"kept"});
    for (int i = 0; i < 19; ++i)
        ASSERT_TRUE(history.Undo(m.st, m.log));
    EXPECT_FALSE(history.Undo(m.st, m.log));
    EXPECT_EQ(m.st.PC, 4); // the oldest kept step, the 52nd, is the loop's branch
}

} // namespace
} // namespace kovar::test
