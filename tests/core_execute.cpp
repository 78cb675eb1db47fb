// Field decoding, register and stack access by code, and the execution of
// every instruction class: its effect, its complete trace and its refreshes
// in order ("[DS]", "[RS]", "[URD]", "[PC]", "[Mem]" mark a refresh between
// the trace lines).
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core_helpers.h"

namespace kovar::test {
namespace {

using Timeline = std::vector<std::string>;

TEST(EncodingTest, HelpersAssembleTheDocumentedWords) {
    EXPECT_EQ(Alu({.b = SOS, .a = TOS, .stack = PopDS, .op = OpAPlusBPlusCarry}), 0x6101004Fu);
    EXPECT_EQ(Branch(0x10000000), 0x30000000u);
    EXPECT_EQ(Lah({.ret = true, .b = NONE, .a = NONE, .stack = StackAct(15), .offset = 0xFFFF}),
              kHalt);
}

struct DecCase {
    uint32_t word;
    unsigned hi, lo;
    uint32_t value;
};

TEST(DecInstrTest, ExtractsUnsignedFields) {
    const DecCase cases[] = {
        {0xFFFFFFFF, 31, 29, 7},  {0x3FFFFFFF, 28, 0, 536870911}, {0x0000FFFF, 15, 0, 65535},
        {0x6101004F, 19, 16, 1},  {0x6101004F, 6, 0, 0x4F},       {0x6101004F, 27, 24, 1},
        {0x6101004F, 23, 20, 0},  {0x80000000, 31, 31, 1},        {0x7FFFFFFF, 31, 31, 0},
        {0x00000001, 0, 0, 1},    {0xE0000000, 28, 0, 0},         {0x00008000, 15, 15, 1},
        {0x00003C00, 13, 10, 15}, {0xFFFF7FFF, 15, 15, 0},
    };
    Machine m;
    for (const DecCase& c : cases) {
        m.st.IR.set(c.word);
        EXPECT_EQ(m.cpu.DecInstr(c.hi, c.lo), c.value)
            << Hex8(c.word) << " bits " << c.hi << ".." << c.lo;
    }
}

// Which stacks each stack-action code pops and pushes.
struct StackRow {
    unsigned code;
    bool popDS, popRS, pushDS, pushRS;
};
class StackActionTest : public ::testing::TestWithParam<StackRow> {};

TEST_P(StackActionTest, PopsThenPushesDataStackFirst) {
    const StackRow& row = GetParam();
    Machine m;
    for (int i = 0; i < kStackDepth; ++i) {
        m.st.DS[i] = 1 + i;
        m.st.RS[i] = 101 + i;
    }
    Stack ds = m.st.DS, rs = m.st.RS;
    auto pop = [](Stack& s) {
        for (int i = 0; i < kStackDepth - 1; ++i)
            s[i] = s[i + 1];
        s[kStackDepth - 1] = 0;
    };
    auto push = [](Stack& s, int32_t v) {
        for (int i = kStackDepth - 1; i > 0; --i)
            s[i] = s[i - 1];
        s[0] = v;
    };
    Timeline expected;
    if (row.popDS) {
        pop(ds);
        expected.insert(expected.end(), {"[DS]", "Pop DS"});
    }
    if (row.popRS) {
        pop(rs);
        expected.insert(expected.end(), {"[RS]", "Pop RS"});
    }
    if (row.pushDS) {
        push(ds, 0);
        expected.insert(expected.end(), {"[DS]", "Push DS"});
    }
    if (row.pushRS) {
        push(rs, 0);
        expected.insert(expected.end(), {"[RS]", "Push RDS"});
    }

    m.cpu.PopStacks(row.code);
    m.cpu.PushStacks(row.code, 0);

    EXPECT_EQ(m.st.DS, ds);
    EXPECT_EQ(m.st.RS, rs);
    EXPECT_EQ(m.Timeline(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    AllCodes, StackActionTest,
    ::testing::Values(
        StackRow{0, false, false, true, false}, StackRow{1, true, false, false, false},
        StackRow{2, false, false, false, true}, StackRow{3, false, true, false, false},
        StackRow{4, true, true, false, false}, StackRow{5, false, false, true, true},
        StackRow{6, false, true, true, false}, StackRow{7, true, false, false, true},
        StackRow{8, false, false, false, false}, StackRow{9, false, false, false, false},
        StackRow{12, false, false, false, false}, StackRow{15, false, false, false, false}));

// Every register code as the destination of an ALU "-1": its trace name on
// read and write, where the word lands, and which view is refreshed.
struct RegRow {
    Reg code;
    const char* name;
    const char* before;
    const char* refresh; // nullptr: none
    int32_t* (*slot)(MachineState&);
};
class RegisterTest : public ::testing::TestWithParam<RegRow> {};

TEST_P(RegisterTest, ReadWriteTraceAndRefresh) {
    const RegRow& row = GetParam();
    Machine m;
    for (int i = 0; i < kStackDepth; ++i) {
        m.st.DS[i] = 0x10 + i;
        m.st.RS[i] = 0x20 + i;
    }
    m.st.URD = {0x30, 0x31, 0x32, 0x33};
    m.st.PC = 0x40;
    m.st.IR.set(Alu({.b = ZERO, .a = row.code, .op = OpMinusOne}));
    MachineState expected = m.st;
    if (row.slot != nullptr)
        *row.slot(expected) = -1;
    expected.PC = row.code == PC ? 3 : 0x44; // -1, then the usual + 4

    m.cpu.parser();

    const std::string name = row.name;
    Timeline want = {"ALU", "ZERO: 00000000", name + ": " + row.before, "Carry:0"};
    if (row.refresh != nullptr)
        want.emplace_back(row.refresh);
    want.insert(want.end(), {name + ": FFFFFFFF", "[PC]"});
    EXPECT_EQ(m.Timeline(), want);
    EXPECT_EQ(m.st, expected);
}

#define SLOT(expr) [](MachineState& s) -> int32_t* { return &s.expr; }
INSTANTIATE_TEST_SUITE_P(AllCodes, RegisterTest,
                         ::testing::Values(RegRow{TOS, "TOS", "00000010", "[DS]", SLOT(DS[0])},
                                           RegRow{SOS, "SOS", "00000011", "[DS]", SLOT(DS[1])},
                                           RegRow{OS3, "3OS", "00000012", "[DS]", SLOT(DS[2])},
                                           RegRow{OS4, "4OS", "00000013", "[DS]", SLOT(DS[3])},
                                           RegRow{TOR, "TOR", "00000020", "[RS]", SLOT(RS[0])},
                                           RegRow{SOR, "SOR", "00000021", "[RS]", SLOT(RS[1])},
                                           RegRow{OR3, "3ORS", "00000022", "[RS]", SLOT(RS[2])},
                                           RegRow{OR4, "4OR", "00000023", "[RS]", SLOT(RS[3])},
                                           RegRow{URD0, "URD0", "00000030", "[URD]", SLOT(URD[0])},
                                           RegRow{URD1, "URD1", "00000031", "[URD]", SLOT(URD[1])},
                                           RegRow{URD2, "URD2", "00000032", "[URD]", SLOT(URD[2])},
                                           RegRow{URD3, "URD3", "00000033", "[URD]", SLOT(URD[3])},
                                           RegRow{PC, "PC", "00000040", "[PC]", SLOT(PC)},
                                           RegRow{PSW, "PSW", "00000000", nullptr, nullptr},
                                           RegRow{ZERO, "ZERO", "00000000", nullptr, nullptr},
                                           RegRow{NONE, "none", "00000000", nullptr, nullptr}));
#undef SLOT

TEST(AluExecTest, CombinesTheTwoTopEntriesWithPopDS) {
    Machine m;
    m.st.DS[0] = 2;
    m.st.DS[1] = 3;
    m.st.DS[2] = 7;
    m.Exec(0x6101004F);
    EXPECT_EQ(m.Timeline(), (Timeline{"ALU", "SOS: 00000003", "TOS: 00000002", "[DS]", "Pop DS",
                                      "Carry:0", "[DS]", "TOS: 00000005", "[PC]"}));
    EXPECT_EQ(m.st.DS[0], 5);
    EXPECT_EQ(m.st.DS[1], 7);
    EXPECT_EQ(m.st.DS[2], 0);
    EXPECT_EQ(m.st.PC, 4);
}

TEST(AluExecTest, PushDSPutsTheResultOnANewTop) {
    Machine m;
    m.st.DS[0] = 2;
    m.st.DS[1] = 3;
    m.Exec(Alu({.b = SOS, .a = TOS, .stack = PushDS, .op = OpAPlusBPlusCarry}));
    EXPECT_EQ(m.Timeline(), (Timeline{"ALU", "SOS: 00000003", "TOS: 00000002", "[DS]", "Push DS",
                                      "Carry:0", "[DS]", "TOS: 00000005", "[PC]"}));
    EXPECT_EQ(m.st.DS[0], 5);
    EXPECT_EQ(m.st.DS[1], 2);
    EXPECT_EQ(m.st.DS[2], 3);
}

// FL enable (bit 7), FL as result (bit 14), the carry source and the operands
// the condition sees. A is TOS, B is SOS; 3OS holds 9.
struct FlRow {
    AluFields f;
    uint32_t tos, sos;
    bool fl;
    uint8_t c;
    uint32_t tosAfter;
    bool flAfter;
    uint8_t cAfter;
};
class AluFlagTest : public ::testing::TestWithParam<FlRow> {};

TEST_P(AluFlagTest, SetsFlagAndDestination) {
    const FlRow& row = GetParam();
    Machine m;
    AluFields f = row.f;
    f.a = TOS;
    f.b = SOS;
    m.st.DS[0] = W(row.tos);
    m.st.DS[1] = W(row.sos);
    m.st.DS[2] = 9;
    m.st.FL = row.fl;
    m.st.C = row.c;
    m.Exec(Alu(f));
    EXPECT_EQ(static_cast<uint32_t>(m.st.DS[0]), row.tosAfter);
    EXPECT_EQ(m.st.FL, row.flAfter);
    EXPECT_EQ(m.st.C, row.cAfter);
}

// Columns: fields; TOS, SOS, FL, C before; TOS, FL, C after.
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Flags, AluFlagTest,
    ::testing::Values(
        // 0 with a carry out: Z true, and the flag itself is written
        FlRow{{.flResult = true, .cond = CondZ, .setFL = true, .op = OpAPlusBPlusCarry},
              0xFFFFFFFF, 1, false, 0,   1, true, 1},
        FlRow{{.flResult = true, .cond = CondNever, .setFL = true, .op = OpAPlusBPlusCarry},
              5, 3, true, 0,   0, false, 0},
        // bit 14 alone writes the old flag
        FlRow{{.flResult = true, .cond = CondNever, .op = OpAPlusBPlusCarry},
              5, 3, true, 0,   1, true, 0},
        FlRow{{.cond = CondAlways, .setFL = true, .op = OpAPlusBPlusCarry},
              5, 3, false, 0,   8, true, 0},
        // C is cleared by a logic operation before the condition sees it
        FlRow{{.cond = CondC, .setFL = true, .op = OpAnd}, 6, 3, true, 1,   2, false, 0},
        FlRow{{.cond = CondC, .setFL = true, .op = OpAPlusBPlusCarry},
              0xFFFFFFFF, 1, false, 0,   0, true, 1},
        // conditions on r
        FlRow{{.cond = CondGt0, .setFL = true, .op = OpMinusOne}, 0, 0, true, 0,
              0xFFFFFFFF, false, 0},
        FlRow{{.cond = CondLe0, .setFL = true, .op = OpMinusOne}, 0, 0, false, 0,
              0xFFFFFFFF, true, 0},
        // carry "FL" and "not FL"
        FlRow{{.carry = 2, .op = OpAPlusCarry}, 41, 0, true, 0,   42, true, 0},
        FlRow{{.carry = 3, .op = OpAPlusCarry}, 41, 0, true, 0,   41, true, 0},
        FlRow{{.carry = 3, .op = OpAPlusCarry}, 41, 0, false, 0,   42, false, 0},
        // operands are read before the pop: 3 < 5, and 3 + 5 lands on the new top
        FlRow{{.stack = PopDS, .cond = CondLess, .setFL = true, .op = OpAPlusBPlusCarry},
              3, 5, false, 0,   8, true, 0}));
// clang-format on

TEST(AluExecTest, ReturnPopsAfterTheStackAction) {
    Machine m;
    m.st.RS[0] = 100;
    m.st.RS[1] = 200;
    m.st.RS[2] = 300;
    m.Exec(Alu({.ret = true, .stack = PopRS, .op = 0x20}));
    EXPECT_EQ(m.Timeline(), (Timeline{"ALU", "ZERO: 00000000", "ZERO: 00000000", "[RS]", "Pop RS",
                                      "Carry:0", "ZERO: 00000000", "[RS]", "[PC]"}));
    EXPECT_EQ(m.st.PC, 200);
    EXPECT_EQ(m.st.RS[0], 300);
    EXPECT_EQ(m.st.RS[1], 0);
}

TEST(AluExecTest, ReturnAfterPushRSGoesToZero) {
    Machine m;
    m.st.PC = 40;
    m.st.RS[0] = 100;
    m.Exec(Alu({.ret = true, .stack = PushRS, .op = 0x20}));
    EXPECT_EQ(m.Timeline(), (Timeline{"ALU", "ZERO: 00000000", "ZERO: 00000000", "[RS]", "Push RDS",
                                      "Carry:0", "ZERO: 00000000", "[RS]", "[PC]"}));
    EXPECT_EQ(m.st.PC, 0);
    EXPECT_EQ(m.st.RS[0], 100);
}

TEST(AluExecTest, ReturnOverridesAWriteToPC) {
    Machine m;
    m.st.RS[0] = 76;
    m.st.URD[0] = 500;
    m.Exec(Alu({.ret = true, .b = URD0, .a = PC, .op = OpPassB}));
    EXPECT_EQ(m.st.PC, 76);
}

TEST(CallTest, PushesReturnAddressAndAReturnComesBack) {
    Machine m;
    m.st.PC = 8;
    m.st.RS[0] = 77;
    m.Exec(Call(100));
    EXPECT_EQ(m.Timeline(), (Timeline{"[RS]", "[RS]", "[PC]", "Call: 00000064", "[PC]"}));
    EXPECT_EQ(m.st.PC, 100);
    EXPECT_EQ(m.st.RS[0], 12);
    EXPECT_EQ(m.st.RS[1], 77);

    m.Forget();
    m.Exec(Lal({.ret = true}));
    EXPECT_EQ(m.Timeline(), (Timeline{"Lal nothing do", "[RS]", "[PC]"}));
    EXPECT_EQ(m.st.PC, 12);
    EXPECT_EQ(m.st.RS[0], 77);
}

TEST(CallTest, TargetTakesAllTwentyNineBits) {
    Machine m;
    m.Exec(Call(0x1FFFFFFC));
    EXPECT_EQ(m.st.PC, 0x1FFFFFFC);
    EXPECT_EQ(m.st.RS[0], 4);
    EXPECT_EQ(m.log.line(0), "Call: 1FFFFFFC");
}

TEST(CallTest, ReturnAddressWrapsAround) {
    Machine m;
    m.st.PC = INT32_MAX - 3;
    m.Exec(Call(16));
    EXPECT_EQ(m.st.RS[0], INT32_MIN);
    EXPECT_EQ(m.st.PC, 16);
}

TEST(BranchTest, JumpsToTheWholeTarget) {
    Machine m;
    m.st.PC = 8;
    m.st.FL = true;
    const MachineState before = m.st;
    m.Exec(Branch(0x10000000));
    EXPECT_EQ(m.Timeline(), (Timeline{"Branch: 10000000", "[PC]"}));
    MachineState expected = before;
    expected.IR = m.st.IR;
    expected.PC = 0x10000000;
    EXPECT_EQ(m.st, expected);
}

TEST(BranchTest, ConditionalTakenWhenFlagTrue) {
    Machine m;
    m.st.PC = 8;
    m.st.FL = true;
    m.Exec(BranchC(0x40));
    EXPECT_EQ(m.Timeline(), (Timeline{"C Branch: Fl=true 00000040", "[PC]"}));
    EXPECT_EQ(m.st.PC, 0x40);
    EXPECT_TRUE(m.st.FL);

    m.Forget();
    m.Exec(BranchC(0x1FFFFFFF));
    EXPECT_EQ(m.Timeline(), (Timeline{"C Branch: Fl=true 1FFFFFFF", "[PC]"}));
    EXPECT_EQ(m.st.PC, 0x1FFFFFFF);
}

TEST(BranchTest, ConditionalFallsThroughWhenFlagFalse) {
    Machine m;
    m.st.PC = 8;
    m.Exec(BranchC(0x40));
    EXPECT_EQ(m.Timeline(), (Timeline{"C Branch: Fl=false", "[PC]"}));
    EXPECT_EQ(m.st.PC, 12);
    EXPECT_FALSE(m.st.FL);

    m.st.PC = INT32_MAX - 3;
    m.Exec(BranchC(0x40));
    EXPECT_EQ(m.st.PC, INT32_MIN);
}

// SHIFT with A = TOS and B = SOS, no stack action; C starts at 1 and SHIFT
// must leave it alone.
struct ShiftRow {
    ShiftFields f;
    uint32_t b, a;
    bool fl;
    uint32_t written;
    bool flAfter;
};
class ShiftTest : public ::testing::TestWithParam<ShiftRow> {};

TEST_P(ShiftTest, ComputesAndSetsFlag) {
    const ShiftRow& row = GetParam();
    Machine m;
    ShiftFields f = row.f;
    f.a = TOS;
    f.b = SOS;
    m.st.DS[0] = W(row.a);
    m.st.DS[1] = W(row.b);
    m.st.FL = row.fl;
    m.st.C = 1;
    m.Exec(Shift(f));
    EXPECT_EQ(static_cast<uint32_t>(m.st.DS[0]), row.written) << Hex8(Shift(f));
    EXPECT_EQ(static_cast<uint32_t>(m.st.DS[1]), row.b) << "B itself is not changed";
    EXPECT_EQ(m.st.FL, row.flAfter) << Hex8(Shift(f));
    EXPECT_EQ(m.st.C, 1);
    EXPECT_EQ(m.st.PC, 4);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ShiftTest,
    ::testing::Values(
        ShiftRow{{.carry = 1, .dir = Left, .flFromOut = true}, 0x80000001, 0, false, 3, true},
        ShiftRow{{.dir = Right}, 3, 0, true, 2, true},
        ShiftRow{{.dir = Right, .flFromOut = true}, 3, 0, true, 2, false},
        ShiftRow{{.dir = Right, .noFill = true}, 3, 0, true, 1, true},
        ShiftRow{{.dir = Right}, 3, 0, false, 1, false},
        // the combine happens before the right shift
        ShiftRow{{.carry = 1, .dir = Right, .noFill = true}, 2, 0, false, 1, false},
        ShiftRow{{.dir = Right, .combine = APlusBPlusC}, 0x7FFFFFFF, 1, false, 0x40000000, false},
        ShiftRow{{.dir = Right, .combine = BMinusAMinusC}, 2, 5, true, 0x7FFFFFFF, true},
        // combine operations without a shift
        ShiftRow{{.carry = 1, .combine = BMinusAMinusC}, 10, 3, true, 6, true},
        ShiftRow{{.dir = NoShift3, .combine = BMinusAMinusC}, 0, 1, false, 0xFFFFFFFF, false},
        ShiftRow{{.carry = 1, .combine = APlusBPlusC}, 0xFFFFFFFF, 1, false, 1, false},
        ShiftRow{{.carry = 1, .combine = APlusBPlusC3}, 0xFFFFFFFF, 1, false, 1, false},
        ShiftRow{{.combine = APlusBPlusC3}, 0xFFFFFFFF, 1, false, 0, false},
        ShiftRow{{.carry = 2}, 5, 0, true, 6, true}, ShiftRow{{.carry = 3}, 5, 0, true, 5, true},
        // only B is shifted left; the bit shifted out feeds FL when asked
        ShiftRow{{.dir = Left, .combine = APlusBPlusC}, 1, 1, false, 3, false},
        ShiftRow{{.dir = Left, .combine = APlusBPlusC, .flFromOut = true},
                 0xC0000000,
                 5,
                 false,
                 0x80000005,
                 true},
        ShiftRow{{.dir = Left, .flFromOut = true}, 0x40000000, 0, true, 0x80000000, false},
        ShiftRow{{.dir = Left}, 0x80000000, 0, true, 0, true},
        ShiftRow{{.dir = Left}, 0x80000000, 0, false, 0, false},
        ShiftRow{{.dir = NoShift, .flFromOut = true}, 0x80000000, 0, true, 0x80000000, false},
        // condition and FL enable bits mean nothing to SHIFT
        ShiftRow{{.cond = CondAlways, .setFL = true}, 1, 0, false, 1, false}));

TEST(ShiftExecTest, TraceOfALeftShift) {
    Machine m;
    m.st.DS[0] = 0xA;
    m.st.DS[1] = W(0x80000001);
    m.Exec(Shift({.b = SOS, .a = TOS, .carry = 1, .dir = Left, .flFromOut = true}));
    EXPECT_EQ(m.Timeline(), (Timeline{"Shift", "SOS: 80000001", "TOS: 0000000A", "Carry:1", "[DS]",
                                      "TOS: 00000003", "[PC]"}));
}

TEST(ShiftExecTest, StackActionComesAfterTheCarry) {
    Machine m;
    m.st.DS[0] = 4;
    m.st.DS[1] = 6;
    m.Exec(Shift({.b = SOS, .a = TOS, .stack = PushDS, .combine = APlusBPlusC}));
    EXPECT_EQ(m.Timeline(), (Timeline{"Shift", "SOS: 00000006", "TOS: 00000004", "Carry:0", "[DS]",
                                      "Push DS", "[DS]", "TOS: 0000000A", "[PC]"}));
    EXPECT_EQ(m.st.DS[0], 0xA);
    EXPECT_EQ(m.st.DS[1], 4);
    EXPECT_EQ(m.st.DS[2], 6);
}

TEST(ShiftExecTest, NoWriteChangesOnlyFlagAndStacks) {
    Machine m;
    m.st.DS[0] = 7;
    m.st.DS[1] = W(0x80000000);
    m.st.DS[2] = 9;
    m.Exec(Shift(
        {.b = SOS, .a = TOS, .stack = PopDS, .noWrite = true, .dir = Left, .flFromOut = true}));
    EXPECT_EQ(m.Timeline(), (Timeline{"Shift", "SOS: 80000000", "TOS: 00000007", "Carry:0", "[DS]",
                                      "Pop DS", "[PC]"}));
    EXPECT_EQ(m.st.DS[0], W(0x80000000));
    EXPECT_EQ(m.st.DS[1], 9);
    EXPECT_TRUE(m.st.FL);
}

TEST(LoadTest, ReadsLeastSignificantByteFirst) {
    Machine m;
    const uint8_t bytes[] = {0x12, 0x34, 0x56, 0x78};
    for (int i = 0; i < 4; ++i)
        m.st.Memory[16 + i] = bytes[i];
    m.st.DS[0] = 0x55;
    m.Exec(Load({.b = ZERO, .a = TOS, .stack = PushDS, .offset = 16}));
    EXPECT_EQ(m.Timeline(),
              (Timeline{"Load", "ZERO: 00000000", "[DS]", "Push DS", "Load from adress: 00000010",
                        "[DS]", "TOS: 78563412", "[PC]"}));
    EXPECT_EQ(m.st.DS[0], 0x78563412);
    EXPECT_EQ(m.st.DS[1], 0x55);
    EXPECT_EQ(m.st.PC, 4);
}

// LOAD and SAVE with base + offset (offset unsigned, sum modulo 2^32) at and
// past both ends of memory. Base in URD0, the other register URD1.
struct LoadRow {
    uint32_t base, offset;
    const char* address;
    uint32_t value;
};
class LoadEdgeTest : public ::testing::TestWithParam<LoadRow> {};

TEST_P(LoadEdgeTest, ReadsOnlyBytesInsideMemory) {
    const LoadRow& row = GetParam();
    Machine m;
    const uint8_t low[] = {0x01, 0x02, 0x03, 0x04}, high[] = {0xA7, 0xA8, 0xA9, 0xAA};
    for (int i = 0; i < 4; ++i) {
        m.st.Memory[i] = low[i];
        m.st.Memory[997 + i] = high[i];
    }
    m.st.BreakpointMarks.fill(0xEE); // right behind address 1000
    m.st.URD[0] = W(row.base);
    m.Exec(Load({.b = URD0, .a = URD1, .offset = row.offset}));
    EXPECT_EQ(Lines(m.log),
              (std::vector<std::string>{"Load", "URD0: " + Hex8(row.base),
                                        std::string("Load from adress: ") + row.address,
                                        "URD1: " + Hex8(row.value)}));
    EXPECT_EQ(static_cast<uint32_t>(m.st.URD[1]), row.value);
}

INSTANTIATE_TEST_SUITE_P(Edges, LoadEdgeTest,
                         ::testing::Values(LoadRow{0, 0, "00000000", 0x04030201},
                                           LoadRow{990, 7, "000003E5", 0xAAA9A8A7},
                                           LoadRow{998, 0, "000003E6", 0x00AAA9A8},
                                           LoadRow{1000, 0, "000003E8", 0x000000AA},
                                           LoadRow{1001, 0, "000003E9", 0},
                                           LoadRow{0xFFFFFFFF, 0, "FFFFFFFF", 0x03020100},
                                           LoadRow{0xFFFFFFFD, 0, "FFFFFFFD", 0x01000000},
                                           LoadRow{0, 0xFFFF, "0000FFFF", 0},
                                           LoadRow{0xFFFF0001, 0xFFFF, "00000000", 0x04030201},
                                           LoadRow{0x7FFFFFFF, 1, "80000000", 0}));

TEST(SaveTest, StoresLeastSignificantByteFirst) {
    Machine m;
    m.st.DS[0] = 0x11223344;
    m.st.DS[1] = 0x55;
    m.Exec(Save({.b = TOS, .a = ZERO, .stack = PopDS, .offset = 0}));
    EXPECT_EQ(m.Timeline(), (Timeline{"Save", "ZERO: 00000000", "Save to adress: 00000000",
                                      "TOS: 11223344", "[DS]", "Pop DS", "[Mem]", "[PC]"}));
    EXPECT_EQ(m.st.Memory[0], 0x44);
    EXPECT_EQ(m.st.Memory[1], 0x33);
    EXPECT_EQ(m.st.Memory[2], 0x22);
    EXPECT_EQ(m.st.Memory[3], 0x11);
    EXPECT_EQ(m.st.DS[0], 0x55);
    EXPECT_EQ(m.st.PC, 4);
}

struct SaveRow {
    uint32_t base, offset;
    const char* address;
    std::vector<std::pair<int, uint8_t>> bytes;
};
class SaveEdgeTest : public ::testing::TestWithParam<SaveRow> {};

TEST_P(SaveEdgeTest, WritesOnlyBytesInsideMemory) {
    const SaveRow& row = GetParam();
    Machine m;
    m.st.URD[0] = W(row.base);
    m.st.URD[1] = W(0xA1B2C3D4);
    m.Exec(Save({.b = URD1, .a = URD0, .offset = row.offset}));
    EXPECT_EQ(m.Timeline(), (Timeline{"Save", "URD0: " + Hex8(row.base),
                                      std::string("Save to adress: ") + row.address,
                                      "URD1: A1B2C3D4", "[Mem]", "[PC]"}));
    std::array<uint8_t, kMemorySize> expected{};
    for (const auto& [addr, value] : row.bytes)
        expected[addr] = value;
    EXPECT_EQ(m.st.Memory, expected);
    EXPECT_EQ(m.st.BreakpointMarks, (std::array<uint8_t, kMemorySize>{}));
}

INSTANTIATE_TEST_SUITE_P(
    Edges, SaveEdgeTest,
    ::testing::Values(
        SaveRow{0, 0, "00000000", {{0, 0xD4}, {1, 0xC3}, {2, 0xB2}, {3, 0xA1}}},
        SaveRow{990, 7, "000003E5", {{997, 0xD4}, {998, 0xC3}, {999, 0xB2}, {1000, 0xA1}}},
        SaveRow{998, 0, "000003E6", {{998, 0xD4}, {999, 0xC3}, {1000, 0xB2}}},
        SaveRow{1000, 0, "000003E8", {{1000, 0xD4}}}, SaveRow{1001, 0, "000003E9", {}},
        SaveRow{0xFFFFFFFF, 0, "FFFFFFFF", {{0, 0xC3}, {1, 0xB2}, {2, 0xA1}}},
        SaveRow{0xFFFFFFFD, 0, "FFFFFFFD", {{0, 0xA1}}},
        SaveRow{0xFFFF0001, 0xFFFF, "00000000", {{0, 0xD4}, {1, 0xC3}, {2, 0xB2}, {3, 0xA1}}},
        SaveRow{0x7FFFFFFF, 1, "80000000", {}}));

TEST(SaveTest, OverwritingItsOwnWordDoesNotChangeTheInstruction) {
    Machine m;
    m.st.URD[0] = -1; // stored over the SAVE itself as the halt word
    m.st.DS[0] = 1;
    m.st.DS[1] = 2;
    m.st.RS[0] = 400;
    m.st.Memory[4] = 0x20; // BRANCH 0 follows
    m.st.WriteInstructionWord(0, Save({.b = URD0, .a = ZERO, .stack = PopDS}));
    m.cpu.StepPrg();
    EXPECT_EQ(m.st.PC, 4);
    EXPECT_EQ(m.st.DS[0], 2);
    EXPECT_EQ(m.st.RS[0], 400);
    EXPECT_EQ(m.st.IR.text(), "20000000");
    EXPECT_EQ(m.st.ReadInstructionWord(0), kHalt);
}

TEST(NoOperationTest, LalAndLahIgnoreRegistersAndStackAction) {
    for (const auto& [word, line] :
         {std::pair{Lal({.b = TOS, .a = SOS, .stack = PopDS, .offset = 8}), "Lal nothing do"},
          std::pair{Lah({.b = TOS, .a = SOS, .stack = PopDS, .offset = 8}), "Lah nothing do"}}) {
        Machine m;
        m.st.DS = {1, 2, 3};
        m.st.PC = 20;
        const MachineState before = m.st;
        m.Exec(word);
        EXPECT_EQ(m.Timeline(), (Timeline{line, "[PC]"}));
        MachineState expected = before;
        expected.IR = m.st.IR;
        expected.PC = 24;
        EXPECT_EQ(m.st, expected);
    }
}

} // namespace
} // namespace kovar::test
