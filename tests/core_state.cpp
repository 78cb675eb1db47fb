// Machine state: both stacks, the fetch, memory at and past its edges, the
// reset, and the trace log with its switch.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core_helpers.h"

namespace kovar::test {
namespace {

TEST(MachineStateTest, StartsZeroWithEmptyIR) {
    MachineState st;
    EXPECT_EQ(st.Memory, (std::array<uint8_t, kMemorySize>{}));
    EXPECT_EQ(st.BreakpointMarks, (std::array<uint8_t, kMemorySize>{}));
    EXPECT_EQ(st.DS, Stack{});
    EXPECT_EQ(st.RS, Stack{});
    EXPECT_EQ(st.URD, (std::array<int32_t, kUserRegisters>{}));
    EXPECT_EQ(st.PC, 0);
    EXPECT_FALSE(st.FL);
    EXPECT_EQ(st.C, 0);
    EXPECT_TRUE(st.IR.empty());
    EXPECT_EQ(st.IR.text(), "");
}

TEST(StackTest, SeventeenPushesLoseTheFirstValue) {
    Machine m;
    for (int32_t v = 1; v <= 17; ++v)
        EXPECT_EQ(m.cpu.Push(StackId::DS, v), v);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(m.st.DS[i], 17 - i) << "entry " << i;
    EXPECT_EQ(m.st.RS, Stack{});
    EXPECT_EQ(m.views.calls, std::vector<std::string>(17, "[DS]"));
    EXPECT_EQ(m.log.size(), 0u) << "Push itself writes no trace line";
}

TEST(StackTest, PopOfFullStackRefillsBottomWithZero) {
    Machine m;
    for (int i = 0; i < 16; ++i)
        m.st.RS[i] = 100 + i;
    EXPECT_EQ(m.cpu.Pop(StackId::RS), 100);
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(m.st.RS[i], 101 + i) << "entry " << i;
    EXPECT_EQ(m.st.RS[15], 0);
    EXPECT_EQ(m.st.DS, Stack{});
    EXPECT_EQ(m.views.calls, std::vector<std::string>{"[RS]"});
    EXPECT_EQ(m.log.size(), 0u);
}

TEST(StackTest, PopOfEmptyStackYieldsZeroAndChangesNothing) {
    Machine m;
    const MachineState before = m.st;
    EXPECT_EQ(m.cpu.Pop(StackId::DS), 0);
    EXPECT_EQ(m.st, before);
    EXPECT_EQ(m.views.calls, std::vector<std::string>{"[DS]"});
}

// FetchIR at and past both ends of memory. The marks array lies right after
// memory, so a mark byte showing up in IR would betray a read past address 1000.
struct FetchCase {
    int32_t pc;
    const char* ir;
};
class FetchTest : public ::testing::TestWithParam<FetchCase> {};

TEST_P(FetchTest, ReadsMostSignificantByteFirstAndZeroOutside) {
    Machine m;
    m.st.Memory[0] = 0xAB;
    m.st.Memory[1] = 0xCD;
    m.st.Memory[2] = 0xEF;
    m.st.Memory[3] = 0x01;
    m.st.Memory[997] = 0xA7;
    m.st.Memory[998] = 0xA8;
    m.st.Memory[999] = 0xA9;
    m.st.Memory[1000] = 0xAA;
    m.st.BreakpointMarks.fill(0xEE);
    m.st.PC = GetParam().pc;
    const MachineState before = m.st;

    m.cpu.FetchIR();

    EXPECT_EQ(m.st.IR.text(), GetParam().ir);
    EXPECT_FALSE(m.st.IR.empty());
    MachineState expected = before;
    expected.IR = m.st.IR;
    EXPECT_EQ(m.st, expected) << "a fetch changes nothing but IR";
    EXPECT_EQ(m.log.size(), 0u);
    EXPECT_TRUE(m.views.calls.empty());
}

INSTANTIATE_TEST_SUITE_P(Edges, FetchTest,
                         ::testing::Values(FetchCase{0, "ABCDEF01"}, FetchCase{997, "A7A8A9AA"},
                                           FetchCase{998, "A8A9AA00"}, FetchCase{1000, "AA000000"},
                                           FetchCase{1001, "00000000"}, FetchCase{-1, "00ABCDEF"},
                                           FetchCase{-3, "000000AB"}, FetchCase{-4, "00000000"},
                                           FetchCase{INT32_MAX, "00000000"},
                                           FetchCase{INT32_MIN, "00000000"}));

// An instruction word stored near either end of memory (as the constructor
// stores at PC): only the bytes inside 0..1000 land, nothing spills into the
// marks.
struct StoreCase {
    uint32_t address;
    std::vector<std::pair<int, uint8_t>> bytes;
};
class StoreEdgeTest : public ::testing::TestWithParam<StoreCase> {};

TEST_P(StoreEdgeTest, OnlyBytesInsideMemoryLand) {
    MachineState st;
    st.WriteInstructionWord(GetParam().address, 0xA1B2C3D4u);
    std::array<uint8_t, kMemorySize> expected{};
    for (const auto& [addr, value] : GetParam().bytes)
        expected[addr] = value;
    EXPECT_EQ(st.Memory, expected);
    EXPECT_EQ(st.BreakpointMarks, (std::array<uint8_t, kMemorySize>{}));
}

INSTANTIATE_TEST_SUITE_P(
    Edges, StoreEdgeTest,
    ::testing::Values(StoreCase{0, {{0, 0xA1}, {1, 0xB2}, {2, 0xC3}, {3, 0xD4}}},
                      StoreCase{997, {{997, 0xA1}, {998, 0xB2}, {999, 0xC3}, {1000, 0xD4}}},
                      StoreCase{998, {{998, 0xA1}, {999, 0xB2}, {1000, 0xC3}}},
                      StoreCase{1000, {{1000, 0xA1}}}, StoreCase{1001, {}},
                      StoreCase{0xFFFFFFFFu, {{0, 0xB2}, {1, 0xC3}, {2, 0xD4}}},
                      StoreCase{0xFFFFFFFDu, {{0, 0xD4}}}, StoreCase{0x80000000u, {}}));

TEST(BreakpointTest, PcOutsideMemoryCarriesNoMark) {
    MachineState st;
    st.BreakpointMarks.fill(1);
    EXPECT_TRUE(st.IsBreakpoint(0));
    EXPECT_TRUE(st.IsBreakpoint(1000));
    EXPECT_FALSE(st.IsBreakpoint(1001));
    EXPECT_FALSE(st.IsBreakpoint(-1));
    EXPECT_FALSE(st.IsBreakpoint(INT32_MIN));
    EXPECT_FALSE(st.IsBreakpoint(INT32_MAX));
}

TEST(ResetTest, ClearsEverythingButIRAndC) {
    MachineState st;
    st.Memory.fill(0x5A);
    st.BreakpointMarks.fill(1);
    st.DS.fill(-7);
    st.RS.fill(9);
    st.URD = {1, 2, 3, 4};
    st.PC = 996;
    st.FL = true;
    st.C = 1;
    st.IR.set(0x6101004Fu);

    st.Reset();

    MachineState expected;
    expected.IR.set(0x6101004Fu);
    expected.C = 1;
    EXPECT_EQ(st, expected);
    EXPECT_EQ(st.Memory[1000], 0);
    EXPECT_EQ(st.BreakpointMarks[1000], 0);
    EXPECT_EQ(st.IR.text(), "6101004F");
}

TEST(TraceLogTest, SwitchOnAtStartAndOffDropsLinesForGood) {
    TraceLog log;
    EXPECT_TRUE(log.enabled());
    EXPECT_TRUE(log.empty());
    log.Debug("one");
    log.setEnabled(false);
    log.Debug("lost");
    log.Debug({"lost ", "too"});
    EXPECT_EQ(log.size(), 1u);
    log.setEnabled(true);
    log.Debug({"Carry:", "1"});
    log.Debug("");
    EXPECT_EQ(Lines(log), (std::vector<std::string>{"one", "Carry:1", ""}));
}

TEST(TraceLogTest, KeepsManyLinesInOrderAndClears) {
    TraceLog log;
    // Enough text to span several storage blocks, with lines of varying
    // length (including empty ones and one longer than a block).
    constexpr std::size_t kLines = 300000;
    const std::string longLine(std::size_t{3} << 20, 'x');
    auto lineFor = [&](std::size_t i) -> std::string {
        if (i == 123457)
            return longLine;
        if (i % 1000 == 999)
            return "";
        return "Load from adress: " + std::to_string(i) + std::string(i % 37, '#');
    };
    for (std::size_t i = 0; i < kLines; ++i)
        log.Debug(lineFor(i));
    ASSERT_EQ(log.size(), kLines);
    for (std::size_t i = 0; i < kLines; ++i)
        ASSERT_EQ(log.line(i), lineFor(i)) << "line " << i;

    const uint64_t generation = log.generation();
    log.Clear();
    EXPECT_EQ(log.size(), 0u);
    EXPECT_TRUE(log.empty());
    EXPECT_NE(log.generation(), generation);
    log.Debug("Halt");
    EXPECT_EQ(Lines(log), std::vector<std::string>{"Halt"});
}

} // namespace
} // namespace kovar::test
