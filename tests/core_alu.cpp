// The adder, the 28 ALU operations at their carry-out boundaries, undefined
// operation codes, the 16 conditions and the carry selection.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "alu.h"
#include "core_helpers.h"

namespace kovar::test {
namespace {

struct AddCase {
    uint32_t x, y;
    int k;
    uint32_t value;
    uint8_t carry;
};
class AluAddTest : public ::testing::TestWithParam<AddCase> {};

TEST_P(AluAddTest, WrapsAndCarriesAtTwoToThe32) {
    const AddCase& c = GetParam();
    const AluResult r = AluAdd(c.x, c.y, c.k);
    EXPECT_EQ(r.value, c.value);
    EXPECT_EQ(r.carry, c.carry);
}

INSTANTIATE_TEST_SUITE_P(Boundaries, AluAddTest,
                         ::testing::Values(AddCase{0, 0, 0, 0, 0}, AddCase{0, 0, -1, 0xFFFFFFFF, 0},
                                           AddCase{0xFFFFFFFF, 0, 1, 0, 1},
                                           AddCase{0xFFFFFFFF, 0, 0, 0xFFFFFFFF, 0},
                                           AddCase{0xFFFFFFFF, 1, 0, 0, 1}, AddCase{1, 0, -1, 0, 0},
                                           AddCase{1, 0xFFFFFFFF, -1, 0xFFFFFFFF, 0},
                                           AddCase{2, 0xFFFFFFFF, -1, 0, 1},
                                           AddCase{0x80000000, 0x80000000, 0, 0, 1},
                                           AddCase{0x80000000, 0x7FFFFFFF, 0, 0xFFFFFFFF, 0},
                                           AddCase{0x80000000, 0x7FFFFFFF, 1, 0, 1},
                                           AddCase{0xFFFFFFFF, 0xFFFFFFFF, 1, 0xFFFFFFFF, 1},
                                           AddCase{0xFFFFFFFF, 0xFFFFFFFF, -1, 0xFFFFFFFD, 1}));

// An operand that an operation must not look at.
constexpr uint32_t kUnused = 0x12345678;

struct ArithCase {
    uint32_t op, a, b, carry, value;
    uint8_t c;
};
class AluArithmeticTest : public ::testing::TestWithParam<ArithCase> {};

TEST_P(AluArithmeticTest, ResultAndCarryOut) {
    const ArithCase& t = GetParam();
    const AluResult r = ALU(t.a, t.b, t.op, t.carry);
    EXPECT_EQ(r.value, t.value) << std::hex << "op " << t.op << " a " << t.a << " b " << t.b
                                << " carry " << t.carry;
    EXPECT_EQ(r.carry, t.c) << std::hex << "op " << t.op << " a " << t.a << " b " << t.b
                            << " carry " << t.carry;
}

// For each adder row, operands just below and just reaching the carry out.
INSTANTIATE_TEST_SUITE_P(
    AdderRows, AluArithmeticTest,
    ::testing::Values(
        // not (A) + carry
        ArithCase{0x41, 0, kUnused, 1, 0, 1}, ArithCase{0x41, 0, kUnused, 0, 0xFFFFFFFF, 0},
        ArithCase{0x41, 1, kUnused, 1, 0xFFFFFFFF, 0},
        // A + carry
        ArithCase{0x43, 0xFFFFFFFF, kUnused, 1, 0, 1},
        ArithCase{0x43, 0xFFFFFFFE, kUnused, 1, 0xFFFFFFFF, 0},
        ArithCase{0x43, 0xFFFFFFFF, kUnused, 0, 0xFFFFFFFF, 0},
        // not (B) + carry
        ArithCase{0x44, kUnused, 0, 1, 0, 1}, ArithCase{0x44, kUnused, 1, 1, 0xFFFFFFFF, 0},
        ArithCase{0x44, kUnused, 0, 0, 0xFFFFFFFF, 0},
        // not (A) + not (B) + carry
        ArithCase{0x45, 0, 0, 0, 0xFFFFFFFE, 1},
        ArithCase{0x45, 0x80000000, 0x7FFFFFFF, 0, 0xFFFFFFFF, 0},
        ArithCase{0x45, 0x80000000, 0x7FFFFFFF, 1, 0, 1},
        // not (B) minus the carry itself: can never carry out
        ArithCase{0x46, kUnused, 0, 0, 0xFFFFFFFF, 0},
        ArithCase{0x46, kUnused, 0, 1, 0xFFFFFFFE, 0},
        ArithCase{0x46, kUnused, 0xFFFFFFFF, 0, 0, 0},
        ArithCase{0x46, kUnused, 0xFFFFFFFF, 1, 0xFFFFFFFF, 0},
        // A - B - not (carry)
        ArithCase{0x47, 5, 3, 1, 2, 1}, ArithCase{0x47, 3, 5, 1, 0xFFFFFFFE, 0},
        ArithCase{0x47, 7, 0, 1, 7, 0}, ArithCase{0x47, 5, 5, 1, 0, 1},
        ArithCase{0x47, 0, 0, 0, 0xFFFFFFFF, 0}, ArithCase{0x47, 6, 5, 0, 0, 1},
        ArithCase{0x47, 5, 5, 0, 0xFFFFFFFF, 0}, ArithCase{0x47, 1, 0, 0, 0, 0},
        // not (A) - not (carry): can never carry out
        ArithCase{0x49, 0, kUnused, 1, 0xFFFFFFFF, 0},
        ArithCase{0x49, 0, kUnused, 0, 0xFFFFFFFE, 0},
        ArithCase{0x49, 0xFFFFFFFF, kUnused, 0, 0xFFFFFFFF, 0},
        ArithCase{0x49, 0xFFFFFFFF, kUnused, 1, 0, 0},
        // A - not (carry): can never carry out
        ArithCase{0x4B, 0x00010000, kUnused, 0, 0x0000FFFF, 0},
        ArithCase{0x4B, 0, kUnused, 0, 0xFFFFFFFF, 0},
        ArithCase{0x4B, 0xFFFFFFFF, kUnused, 1, 0xFFFFFFFF, 0},
        ArithCase{0x4B, 1, kUnused, 0, 0, 0},
        // B + carry
        ArithCase{0x4C, kUnused, 0xFFFFFFFF, 1, 0, 1},
        ArithCase{0x4C, kUnused, 0xFFFFFFFE, 1, 0xFFFFFFFF, 0},
        ArithCase{0x4C, kUnused, 7, 0, 7, 0},
        // B - A - not (carry)
        ArithCase{0x4D, 3, 5, 1, 2, 1}, ArithCase{0x4D, 5, 3, 1, 0xFFFFFFFE, 0},
        ArithCase{0x4D, 5, 5, 1, 0, 1}, ArithCase{0x4D, 0, 7, 1, 7, 0},
        ArithCase{0x4D, 5, 5, 0, 0xFFFFFFFF, 0}, ArithCase{0x4D, 5, 6, 0, 0, 1},
        // B - not (carry): can never carry out
        ArithCase{0x4E, kUnused, 0, 0, 0xFFFFFFFF, 0}, ArithCase{0x4E, kUnused, 1, 0, 0, 0},
        ArithCase{0x4E, kUnused, 0xFFFFFFFF, 1, 0xFFFFFFFF, 0},
        ArithCase{0x4E, kUnused, 5, 1, 5, 0},
        // A + B + carry
        ArithCase{0x4F, 0xFFFFFFFF, 1, 0, 0, 1}, ArithCase{0x4F, 0xFFFFFFFF, 0, 0, 0xFFFFFFFF, 0},
        ArithCase{0x4F, 0xFFFFFFFF, 0, 1, 0, 1}, ArithCase{0x4F, 0x7FFFFFFF, 1, 0, 0x80000000, 0},
        ArithCase{0x4F, 0xFFFFFFFF, 0xFFFFFFFF, 1, 0xFFFFFFFF, 1}));

struct LogicCase {
    uint32_t op, value;
};
class AluLogicTest : public ::testing::TestWithParam<LogicCase> {};

TEST_P(AluLogicTest, IgnoresCarryAndNeverCarriesOut) {
    constexpr uint32_t a = 0xFF00FF00, b = 0xF0F0F0F0;
    for (uint32_t carry : {0u, 1u}) {
        const AluResult r = ALU(a, b, GetParam().op, carry);
        EXPECT_EQ(r.value, GetParam().value) << std::hex << "op " << GetParam().op;
        EXPECT_EQ(r.carry, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(LogicRows, AluLogicTest,
                         ::testing::Values(LogicCase{0x15, 0x0FFF0FFF}, LogicCase{0x17, 0xFF0FFF0F},
                                           LogicCase{0x1D, 0xF0FFF0FF}, LogicCase{0x1F, 0xFFF0FFF0},
                                           LogicCase{0x20, 0x00000000}, LogicCase{0x21, 0x00FF00FF},
                                           LogicCase{0x22, 0xFFFFFFFF}, LogicCase{0x23, 0xFF00FF00},
                                           LogicCase{0x24, 0x0F0F0F0F}, LogicCase{0x2C, 0xF0F0F0F0},
                                           LogicCase{0x2F, 0x0FF00FF0}, LogicCase{0x55, 0xF000F000},
                                           LogicCase{0x57, 0x00F000F0}, LogicCase{0x5D, 0x0F000F00},
                                           LogicCase{0x5F, 0x000F000F},
                                           LogicCase{0x6F, 0xF00FF00F}));

TEST(AluTest, EveryUndefinedCodeYieldsZeroWithoutCarry) {
    const std::set<uint32_t> defined = {0x15, 0x17, 0x1D, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x2C,
                                        0x2F, 0x41, 0x43, 0x44, 0x45, 0x46, 0x47, 0x49, 0x4B, 0x4C,
                                        0x4D, 0x4E, 0x4F, 0x55, 0x57, 0x5D, 0x5F, 0x6F};
    ASSERT_EQ(defined.size(), 28u);
    int undefined = 0;
    for (uint32_t op = 0; op < 128; ++op) {
        if (defined.count(op) != 0)
            continue;
        ++undefined;
        for (const auto& [a, b, carry] :
             {std::tuple{0xFFFFFFFFu, 0xFFFFFFFFu, 1u}, std::tuple{0x12345678u, 0x9ABCDEF0u, 0u}}) {
            const AluResult r = ALU(a, b, op, carry);
            EXPECT_EQ(r.value, 0u) << std::hex << "op " << op;
            EXPECT_EQ(r.carry, 0) << std::hex << "op " << op;
        }
    }
    EXPECT_EQ(undefined, 100);
}

struct CondCase {
    unsigned code;
    uint32_t a, b, r;
    uint8_t c;
    bool expected;
};
class ConditionalTest : public ::testing::TestWithParam<CondCase> {};

TEST_P(ConditionalTest, Evaluates) {
    const CondCase& t = GetParam();
    EXPECT_EQ(Conditional(t.code, t.a, t.b, t.r, t.c), t.expected)
        << std::hex << "code " << t.code << " a " << t.a << " b " << t.b << " r " << t.r << " C "
        << int{t.c};
}

constexpr uint32_t kMin = 0x80000000, kMinus1 = 0xFFFFFFFF, kMinus5 = 0xFFFFFFFB,
                   kMinus7 = 0xFFFFFFF9;

INSTANTIATE_TEST_SUITE_P(
    SixteenCodes, ConditionalTest,
    ::testing::Values(
        // never / always
        CondCase{0, 0, 0, 0, 1, false}, CondCase{0, 5, 3, 0, 0, false},
        CondCase{1, 0, 0, 1, 0, true}, CondCase{1, 3, 5, 0, 1, true},
        // V and not V test C only
        CondCase{2, 0, 0, 0, 1, true}, CondCase{2, 5, 3, 0, 0, false},
        CondCase{3, 0, 0, 0, 0, true}, CondCase{3, 5, 3, 1, 1, false},
        // ">": signed A > B
        CondCase{4, 1, kMinus1, 0, 0, true}, CondCase{4, 3, 3, 0, 0, false},
        CondCase{4, kMinus1, 1, 0, 0, false}, CondCase{4, kMin, 0x7FFFFFFF, 0, 0, false},
        // "<=": A >= B, the same test as ">="
        CondCase{5, 3, 3, 0, 0, true}, CondCase{5, 2, 3, 0, 0, false},
        CondCase{5, 1, kMinus1, 0, 0, true}, CondCase{5, kMinus1, 1, 0, 0, false},
        // "0<": r > 0
        CondCase{6, 0, 0, 1, 0, true}, CondCase{6, 5, 0, 0, 0, false},
        CondCase{6, 0, 0, kMin, 0, false}, CondCase{6, 0, 0, 0x7FFFFFFF, 0, true},
        // "0>=": r <= 0
        CondCase{7, 0, 0, 0, 0, true}, CondCase{7, 0, 0, kMinus1, 0, true},
        CondCase{7, 0, 5, 1, 0, false},
        // Z, not Z
        CondCase{8, 1, 1, 0, 0, true}, CondCase{8, 0, 0, 1, 0, false},
        CondCase{8, 0, 0, kMin, 0, false}, CondCase{9, 0, 0, 0, 1, false},
        CondCase{9, 0, 0, kMin, 0, true},
        // |A| > |B|, with |-2147483648| staying negative
        CondCase{10, kMinus7, 5, 0, 0, true}, CondCase{10, kMin, 1, 0, 0, false},
        CondCase{10, 5, kMinus7, 0, 0, false}, CondCase{10, 1, kMin, 0, 0, true},
        CondCase{10, kMinus5, 5, 0, 0, false},
        // |A| < |B|
        CondCase{11, 5, kMinus7, 0, 0, true}, CondCase{11, kMinus7, 5, 0, 0, false},
        CondCase{11, kMin, 0, 0, 0, true}, CondCase{11, kMinus5, 5, 0, 0, false},
        // "<", ">=" signed
        CondCase{12, kMinus1, 0, 0, 0, true}, CondCase{12, 0, kMinus1, 0, 0, false},
        CondCase{12, 3, 3, 0, 0, false}, CondCase{13, 3, 3, 0, 0, true},
        CondCase{13, kMinus1, 0, 0, 0, false}, CondCase{13, 0, kMinus1, 0, 0, true},
        // C, not C
        CondCase{14, 0, 0, 0, 1, true}, CondCase{14, 1, 0, 1, 0, false},
        CondCase{15, 0, 0, 0, 0, true}, CondCase{15, 1, 0, 0, 1, false}));

TEST(CarryTest, SelectsAndLogsTheDigit) {
    struct Row {
        unsigned code;
        bool fl;
        unsigned expected;
    };
    const Row rows[] = {{0, false, 0}, {0, true, 0}, {1, false, 1}, {1, true, 1},
                        {2, false, 0}, {2, true, 1}, {3, false, 1}, {3, true, 0}};
    for (const Row& row : rows) {
        Machine m;
        m.st.FL = row.fl;
        const MachineState before = m.st;
        EXPECT_EQ(m.cpu.Carry(row.code), row.expected) << "code " << row.code << " FL " << row.fl;
        EXPECT_EQ(Lines(m.log), std::vector<std::string>{"Carry:" + std::to_string(row.expected)});
        EXPECT_EQ(m.st, before);
    }
}

} // namespace
} // namespace kovar::test
