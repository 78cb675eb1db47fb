// Step and Run: the heading line, the halt word, breakpoints, the step limit
// and its report through ShowError, and the trace switch.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "core_helpers.h"

namespace kovar::test {
namespace {

using Texts = std::vector<std::string>;

void Put(MachineState& st, uint32_t address, std::initializer_list<uint32_t> words) {
    for (uint32_t w : words) {
        st.WriteInstructionWord(address, w);
        address += 4;
    }
}

const std::string kZeros(32, '0');
const std::string kOnes(32, '1');

// URD0 := URD0 + 1, twice, then the halt word.
constexpr uint32_t kIncrement = Alu({.b = ZERO, .a = URD0, .carry = 1, .op = OpAPlusCarry});
const char* const kIncrementIR = "6E880143 01101110100010000000000101000011";

// URD0 := URD0 - 1 with FL := (result != 0), then loop while FL: two steps a
// turn, so a count of n runs 2n instructions and stops on the halt word at 8.
constexpr uint32_t kDecrement =
    Alu({.b = ZERO, .a = URD0, .cond = CondNotZ, .setFL = true, .op = OpAMinusNotCarry});
void PutCountdown(MachineState& st, int32_t n) {
    Put(st, 0, {kDecrement, BranchC(0), kHalt});
    st.URD[0] = n;
}

TEST(StepTest, HeadingThenInstructionThenNextFetch) {
    Machine m;
    Put(m.st, 0, {0x6101004F, kHalt});
    m.st.DS[0] = 2;
    m.st.DS[1] = 3;
    m.cpu.StepPrg();
    EXPECT_EQ(Lines(m.log),
              (Texts{"PC: 00000000 IR: 6101004F 01100001000000010000000001001111", "ALU",
                     "SOS: 00000003", "TOS: 00000002", "Pop DS", "Carry:0", "TOS: 00000005"}));
    EXPECT_EQ(m.st.PC, 4);
    EXPECT_EQ(m.st.IR.text(), "FFFFFFFF");
}

TEST(StepTest, HeadingQuotesThePCField) {
    struct FieldViews : MachineViews {
        std::string PCFieldText(const MachineState&) const override { return "12ab"; }
    } views;
    Machine m;
    m.cpu.setViews(&views);
    m.st.PC = 8;
    m.cpu.StepPrg();
    EXPECT_EQ(m.log.line(0), "PC: 12ab IR: 00000000 " + kZeros);
}

TEST(StepTest, PCOutsideMemoryFetchesZeroWhichIsACall) {
    Machine m;
    m.st.PC = -16;
    m.cpu.StepPrg();
    EXPECT_EQ(Lines(m.log), (Texts{"PC: FFFFFFF0 IR: 00000000 " + kZeros, "Call: 00000000"}));
    EXPECT_EQ(m.st.RS[0], -12);
    EXPECT_EQ(m.st.PC, 0);
}

TEST(StepTest, ExecutesTheHaltWordAsAReturn) {
    Machine m;
    Put(m.st, 0, {kHalt});
    Put(m.st, 40, {0x6101004F});
    m.st.RS[0] = 40;
    m.st.RS[1] = 5;
    m.cpu.StepPrg();
    EXPECT_EQ(Lines(m.log), (Texts{"PC: 00000000 IR: FFFFFFFF " + kOnes, "Lah nothing do"}));
    EXPECT_EQ(m.st.PC, 40);
    EXPECT_EQ(m.st.RS[0], 5);
    EXPECT_EQ(m.st.IR.text(), "6101004F");
}

TEST(RunTest, HaltWordAtPCExecutesNothing) {
    Machine m;
    Put(m.st, 0, {kHalt});
    m.st.RS[0] = 40;
    MachineState expected = m.st;
    expected.IR.set(kHalt);
    const RunReport r = m.cpu.RunPrg();
    EXPECT_EQ(Lines(m.log), Texts{"Halt"});
    EXPECT_EQ(m.st, expected);
    EXPECT_TRUE(r.halt);
    EXPECT_FALSE(r.breakpoint);
    EXPECT_FALSE(r.maxStep);
    EXPECT_EQ(r.steps, 0u);
}

TEST(RunTest, RunsUntilTheHaltWord) {
    Machine m;
    Put(m.st, 0, {kIncrement, kIncrement, kHalt});
    const RunReport r = m.cpu.RunPrg();
    const std::string ir = kIncrementIR;
    EXPECT_EQ(Lines(m.log),
              (Texts{"PC: 00000000 IR: " + ir, "ALU", "ZERO: 00000000", "URD0: 00000000", "Carry:1",
                     "URD0: 00000001", "PC: 00000004 IR: " + ir, "ALU", "ZERO: 00000000",
                     "URD0: 00000001", "Carry:1", "URD0: 00000002", "Halt"}));
    EXPECT_EQ(m.st.URD[0], 2);
    EXPECT_EQ(m.st.PC, 8);
    EXPECT_EQ(r.steps, 2u);
    EXPECT_TRUE(r.halt);
}

TEST(RunTest, StopsBeforeAMarkedInstruction) {
    Machine m;
    Put(m.st, 0, {kIncrement, kIncrement, kHalt});
    m.st.BreakpointMarks[4] = 1;
    const RunReport r = m.cpu.RunPrg();
    EXPECT_EQ(m.log.size(), 7u);
    EXPECT_EQ(m.log.line(6), "Breakpoint");
    EXPECT_EQ(m.st.URD[0], 1);
    EXPECT_EQ(m.st.PC, 4);
    EXPECT_EQ(m.st.IR.text(), "6E880143");
    EXPECT_TRUE(r.breakpoint);
    EXPECT_FALSE(r.halt);
    EXPECT_EQ(r.steps, 1u);
}

TEST(RunTest, StartedAtAMarkExecutesNothing) {
    Machine m;
    Put(m.st, 0, {kIncrement, kHalt});
    m.st.BreakpointMarks[0] = 0x80; // any nonzero byte is a mark
    const RunReport r = m.cpu.RunPrg();
    EXPECT_EQ(Lines(m.log), Texts{"Breakpoint"});
    EXPECT_EQ(m.st.URD[0], 0);
    EXPECT_EQ(m.st.IR.text(), "6E880143");
    EXPECT_EQ(r.steps, 0u);
}

TEST(RunTest, StepIgnoresMarksAndRunGoesOnFromThere) {
    Machine m;
    Put(m.st, 0, {kIncrement, kIncrement, kHalt});
    m.st.BreakpointMarks[0] = 1;
    m.cpu.StepPrg();
    EXPECT_EQ(m.st.URD[0], 1);
    m.Forget();
    const RunReport r = m.cpu.RunPrg();
    EXPECT_EQ(m.st.URD[0], 2);
    EXPECT_EQ(m.log.line(m.log.size() - 1), "Halt");
    EXPECT_EQ(r.steps, 1u);
}

TEST(RunTest, HaltAndMarkAtTheSamePCGiveBothLines) {
    Machine m;
    Put(m.st, 0, {kHalt});
    m.st.BreakpointMarks[0] = 1;
    const RunReport r = m.cpu.RunPrg();
    EXPECT_EQ(Lines(m.log), (Texts{"Halt", "Breakpoint"}));
    EXPECT_TRUE(r.halt);
    EXPECT_TRUE(r.breakpoint);
}

TEST(RunTest, PCOutsideMemoryCarriesNoMark) {
    Machine m;
    m.st.BreakpointMarks.fill(1);
    m.st.PC = 1001;
    const RunReport r = m.cpu.RunPrg();
    EXPECT_EQ(Lines(m.log),
              (Texts{"PC: 000003E9 IR: 00000000 " + kZeros, "Call: 00000000", "Breakpoint"}));
    EXPECT_EQ(m.st.RS[0], 1005);
    EXPECT_EQ(r.steps, 1u);
}

TEST(RunLimitTest, EndlessLoopStopsAfterAThousandSteps) {
    ErrorRecorder errors;
    Machine m;
    Put(m.st, 0, {Branch(0)});
    const RunReport r = m.cpu.RunPrg();
    ASSERT_EQ(m.log.size(), 2001u);
    for (std::size_t i = 0; i < 2000; i += 2) {
        ASSERT_EQ(m.log.line(i), "PC: 00000000 IR: 20000000 001" + std::string(29, '0'));
        ASSERT_EQ(m.log.line(i + 1), "Branch: 00000000");
    }
    EXPECT_EQ(m.log.line(2000), "MaxStep:1000");
    EXPECT_EQ(errors.messages, Texts{"MaxStep:1000"});
    EXPECT_TRUE(r.maxStep);
    EXPECT_FALSE(r.halt);
    EXPECT_EQ(r.steps, 1000u);
}

TEST(RunLimitTest, ThousandthStepLandingOnHaltReportsBoth) {
    ErrorRecorder errors;
    Machine m;
    PutCountdown(m.st, 500);
    const RunReport r = m.cpu.RunPrg();
    ASSERT_EQ(m.log.size(), 500u * 8 + 2);
    EXPECT_EQ(m.log.line(4000), "Halt");
    EXPECT_EQ(m.log.line(4001), "MaxStep:1000");
    EXPECT_EQ(errors.messages, Texts{"MaxStep:1000"});
    EXPECT_EQ(m.st.URD[0], 0);
    EXPECT_EQ(m.st.PC, 8);
    EXPECT_TRUE(r.halt);
    EXPECT_TRUE(r.maxStep);
    EXPECT_EQ(r.steps, 1000u);
}

TEST(RunLimitTest, HaltBeforeTheLimitIsNotReported) {
    ErrorRecorder errors;
    Machine m;
    PutCountdown(m.st, 499);
    const RunReport r = m.cpu.RunPrg();
    EXPECT_EQ(m.log.line(m.log.size() - 1), "Halt");
    EXPECT_TRUE(errors.messages.empty());
    EXPECT_EQ(r.steps, 998u);
    EXPECT_FALSE(r.maxStep);
}

TEST(RunLimitTest, LimitReachedOneTurnShortOfTheHalt) {
    ErrorRecorder errors;
    Machine m;
    PutCountdown(m.st, 501);
    const RunReport r = m.cpu.RunPrg();
    EXPECT_EQ(m.log.line(m.log.size() - 2), "C Branch: Fl=true 00000000");
    EXPECT_EQ(m.log.line(m.log.size() - 1), "MaxStep:1000");
    EXPECT_EQ(errors.messages, Texts{"MaxStep:1000"});
    EXPECT_EQ(m.st.URD[0], 1);
    EXPECT_EQ(m.st.PC, 0);
    EXPECT_FALSE(r.halt);
}

TEST(RunLimitTest, OtherLimitIsReportedWithItsNumber) {
    ErrorRecorder errors;
    Machine m;
    Put(m.st, 0, {Branch(0)});
    const RunReport r = m.cpu.RunPrg(7);
    EXPECT_EQ(r.steps, 7u);
    EXPECT_EQ(m.log.size(), 15u);
    EXPECT_EQ(m.log.line(14), "MaxStep:7");
    EXPECT_EQ(errors.messages, Texts{"MaxStep:7"});
}

// A program touching every kind of refresh: CALL, SAVE, LOAD, a shift, a
// user register and a return, looping until the step limit.
void PutMixedProgram(MachineState& st) {
    Put(st, 0,
        {Call(100),   // 0
         Branch(0)}); // 4
    Put(st, 100,
        {Alu({.b = ZERO, .a = URD1, .carry = 1, .op = OpAPlusCarry}),  // 100
         Save({.b = URD1, .a = ZERO, .stack = PushDS, .offset = 600}), // 104
         Load({.b = ZERO, .a = TOS, .stack = PushRS, .offset = 600}),  // 108
         Shift({.b = TOS, .a = SOS, .stack = PopRS, .dir = Left, .flFromOut = true}),
         Lal({.ret = true})}); // 116
}

TEST(TraceSwitchTest, OffChangesNothingButTheLog) {
    Machine on, off;
    PutMixedProgram(on.st);
    PutMixedProgram(off.st);
    off.log.Debug("kept");
    off.log.setEnabled(false);

    for (int i = 0; i < 3; ++i) {
        on.cpu.StepPrg();
        off.cpu.StepPrg();
    }
    EXPECT_EQ(on.st, off.st);

    ErrorRecorder errors;
    const RunReport a = on.cpu.RunPrg();
    const RunReport b = off.cpu.RunPrg();
    EXPECT_EQ(on.st, off.st);
    EXPECT_EQ(on.views.calls, off.views.calls);
    EXPECT_EQ(a.steps, b.steps);
    EXPECT_EQ(a.maxStep, b.maxStep);
    EXPECT_EQ(Lines(off.log), Texts{"kept"});
    EXPECT_GT(on.log.size(), 3000u);
    // The limit is still reported through the dialog with the trace off.
    EXPECT_EQ(errors.messages, (Texts{"MaxStep:1000", "MaxStep:1000"}));
}

} // namespace
} // namespace kovar::test
