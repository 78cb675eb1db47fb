// The instruction set's names, defined once: the decoder, the trace and the
// instruction constructor's lists all read these tables.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace kovar::isa {

// Instruction classes (bits 31..29).
enum InstrClass : unsigned {
    Call = 0,
    Branch = 1,
    BranchC = 2,
    AluShift = 3,
    Load = 4,
    Save = 5,
    Lal = 6,
    Lah = 7,
};

// The constructor's "Команда" list, in list order, with the class bits each
// entry writes and, for ALU and SHIFT, the value of bit 15.
struct CommandEntry {
    std::string_view name;
    std::string_view classBits; // 3 characters, bit 31 first
    int bit15;                  // -1: not written
};
inline constexpr std::array<CommandEntry, 9> kCommands = {{
    {"CALL", "000", -1},
    {"BRANCH", "001", -1},
    {"BRANCH_C", "010", -1},
    {"LOAD", "100", -1},
    {"SAVE", "101", -1},
    {"LAL", "110", -1},
    {"LAH", "111", -1},
    {"ALU", "011", 0},
    {"SHIFT", "011", 1},
}};

// Register selector codes (4 bits): the constructor's list name and the name
// used in trace lines (they differ for 3OR/3ORS and UDR/URD).
struct RegisterName {
    std::string_view listName;
    std::string_view traceName;
};
inline constexpr std::array<RegisterName, 16> kRegisters = {{
    {"TOS", "TOS"},
    {"SOS", "SOS"},
    {"3OS", "3OS"},
    {"4OS", "4OS"},
    {"TOR", "TOR"},
    {"SOR", "SOR"},
    {"3OR", "3ORS"},
    {"4OR", "4OR"},
    {"UDR0", "URD0"},
    {"UDR1", "URD1"},
    {"UDR2", "URD2"},
    {"UDR3", "URD3"},
    {"PC", "PC"},
    {"PSW", "PSW"},
    {"ZERO", "ZERO"},
    {"none", "none"},
}};
enum RegisterCode : unsigned {
    RegTOS = 0,
    RegTOR = 4,
    RegURD0 = 8,
    RegPC = 12,
    RegPSW = 13,
    RegZERO = 14,
    RegNone = 15,
};

// Stack action codes (4 bits); codes 9 to 15 exist but are not offered.
inline constexpr std::array<std::string_view, 9> kStackActionNames = {
    "Push DS",         "Pop DS",          "Push RS",         "Pop RS", "Pop DS, and RS",
    "Push DS, and RS", "Push DS, Pop RS", "Pop DS, Push RS", "nop"};

// Trace lines of the stack actions. A return-stack push is narrated "Push RDS".
inline constexpr std::string_view kTracePopDS = "Pop DS";
inline constexpr std::string_view kTracePopRS = "Pop RS";
inline constexpr std::string_view kTracePushDS = "Push DS";
inline constexpr std::string_view kTracePushRS = "Push RDS";

inline constexpr bool StackActionPopsDS(unsigned code) {
    return code == 1 || code == 4 || code == 7;
}
inline constexpr bool StackActionPopsRS(unsigned code) {
    return code == 3 || code == 4 || code == 6;
}
inline constexpr bool StackActionPushesDS(unsigned code) {
    return code == 0 || code == 5 || code == 6;
}
inline constexpr bool StackActionPushesRS(unsigned code) {
    return code == 2 || code == 5 || code == 7;
}

// Condition codes (bits 13..10).
inline constexpr std::array<std::string_view, 16> kConditionNames = {
    "0", "1",  "V", "not V", ">", "<=", "0<", "0>=", "Z", "not Z", "беззнаковый >", "беззнаковый Б",
    "<", ">=", "C", "not C"};

// Carry selection codes (bits 9..8).
inline constexpr std::array<std::string_view, 4> kCarryNames = {"0", "1", "FL", "not FL"};

// Shift direction codes (bits 6..5): 0 left, 1 right, 2 and 3 no shift.
inline constexpr std::array<std::string_view, 4> kShiftDirectionNames = {"<<", ">>", "nop", "nop"};

// Combine operations of SHIFT (bits 3..2).
inline constexpr std::array<std::string_view, 4> kCombineNames = {
    "B + перенос", "B - A - перенос", "A + B +  перенос", "A + B + not(перенос)"};

// The 28 defined ALU operation codes (bits 6..0); every other code yields 0.
enum AluOp : uint8_t {
    Nand = 0x15,
    AOrNotB = 0x17,
    NotAOrB = 0x1D,
    AOrB = 0x1F,
    Zero = 0x20,
    NotA = 0x21,
    MinusOne = 0x22,
    PassA = 0x23,
    NotB = 0x24,
    PassB = 0x2C,
    AXorB = 0x2F,
    NotAPlusCarry = 0x41,
    APlusCarry = 0x43,
    NotBPlusCarry = 0x44,
    NotAPlusNotBPlusCarry = 0x45,
    NotBMinusCarry = 0x46,
    AMinusBMinusNotCarry = 0x47,
    NotAMinusNotCarry = 0x49,
    AMinusNotCarry = 0x4B,
    BPlusCarry = 0x4C,
    BMinusAMinusNotCarry = 0x4D,
    BMinusNotCarry = 0x4E,
    APlusBPlusCarry = 0x4F,
    AAndB = 0x55,
    NotAAndB = 0x57,
    AAndNotB = 0x5D,
    Nor = 0x5F,
    Xnor = 0x6F,
};

struct AluOperation {
    AluOp code;
    std::string_view name;
};
// In the order of the constructor's "Операция" list.
inline constexpr std::array<AluOperation, 28> kAluOperations = {{
    {Nand, "not (A and B)"},
    {AOrNotB, "A or not (B)"},
    {NotAOrB, "not(A) or B"},
    {AOrB, "A or B"},
    {Zero, "0"},
    {NotA, "not A"},
    {MinusOne, "-1"},
    {PassA, "A"},
    {NotB, "not B"},
    {PassB, "B"},
    {AXorB, "A xor B"},
    {NotAPlusCarry, "not (A) + перенос"},
    {APlusCarry, "A + перенос"},
    {NotBPlusCarry, "not (B) + перенос"},
    {NotAPlusNotBPlusCarry, "not (A) + not (B) перенос"},
    {NotBMinusCarry, "not (B) - not (перенос)"},
    {AMinusBMinusNotCarry, "A - B - not (перенос)"},
    {NotAMinusNotCarry, "not (A) - not (перенос)"},
    {AMinusNotCarry, "A - not (перенос)"},
    {BPlusCarry, "B + перенос"},
    {BMinusAMinusNotCarry, "B - A - not (перенос)"},
    {BMinusNotCarry, "B - not (перенос)"},
    {APlusBPlusCarry, "A + B + перенос"},
    {AAndB, "A and B"},
    {NotAAndB, "not (A) and B"},
    {AAndNotB, "A and not (B)"},
    {Nor, "not (A or B)"},
    {Xnor, "not (A xor B)"},
}};

// The halt word: Run stops before executing it.
inline constexpr uint32_t kHaltWord = 0xFFFFFFFFu;

} // namespace kovar::isa
