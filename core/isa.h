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

// The assembler's short names of the stack action codes 0 to 8, in code order.
inline constexpr std::array<std::string_view, 9> kStackActionMnemonics = {
    "pushds",   "popds",        "pushrs",       "poprs", "popboth",
    "pushboth", "pushds_poprs", "popds_pushrs", "nop"};
inline constexpr unsigned kStackNop = 8;

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

// The assembler's short names of the condition codes, in code order.
inline constexpr std::array<std::string_view, 16> kConditionMnemonics = {
    "never", "always", "v",   "nv",  "gt", "le", "pos", "nonpos",
    "z",     "nz",     "agt", "alt", "lt", "ge", "c",   "nc"};

// Carry selection codes (bits 9..8).
inline constexpr std::array<std::string_view, 4> kCarryNames = {"0", "1", "FL", "not FL"};

// The assembler's short names of the carry codes.
inline constexpr std::array<std::string_view, 4> kCarryMnemonics = {"c0", "c1", "fl", "nfl"};

// Shift direction codes (bits 6..5): 0 left, 1 right, 2 and 3 no shift.
inline constexpr std::array<std::string_view, 4> kShiftDirectionNames = {"<<", ">>", "nop", "nop"};

// The assembler's short names of the directions; code 3 has none (it is
// written as the number 3).
inline constexpr std::array<std::string_view, 4> kShiftDirectionMnemonics = {"shl", "shr",
                                                                             "noshift", ""};
inline constexpr unsigned kShiftNop = 2;

// Combine operations of SHIFT (bits 3..2).
inline constexpr std::array<std::string_view, 4> kCombineNames = {
    "B + перенос", "B - A - перенос", "A + B +  перенос", "A + B + not(перенос)"};

// The assembler's short names of the combine operations.
inline constexpr std::array<std::string_view, 4> kCombineMnemonics = {"b+c", "b-a-c", "a+b+c",
                                                                      "a+b+~c"};

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
    std::string_view mnemonic; // the assembler's short ASCII name
};
// In the order of the constructor's "Операция" list.
inline constexpr std::array<AluOperation, 28> kAluOperations = {{
    {Nand, "not (A and B)", "nand"},
    {AOrNotB, "A or not (B)", "ornb"},
    {NotAOrB, "not(A) or B", "orna"},
    {AOrB, "A or B", "or"},
    {Zero, "0", "zero"},
    {NotA, "not A", "nota"},
    {MinusOne, "-1", "ones"},
    {PassA, "A", "a"},
    {NotB, "not B", "notb"},
    {PassB, "B", "b"},
    {AXorB, "A xor B", "xor"},
    {NotAPlusCarry, "not (A) + перенос", "~a+c"},
    {APlusCarry, "A + перенос", "a+c"},
    {NotBPlusCarry, "not (B) + перенос", "~b+c"},
    {NotAPlusNotBPlusCarry, "not (A) + not (B) перенос", "~a+~b+c"},
    {NotBMinusCarry, "not (B) - not (перенос)", "~b-c"},
    {AMinusBMinusNotCarry, "A - B - not (перенос)", "a-b-~c"},
    {NotAMinusNotCarry, "not (A) - not (перенос)", "~a-~c"},
    {AMinusNotCarry, "A - not (перенос)", "a-~c"},
    {BPlusCarry, "B + перенос", "b+c"},
    {BMinusAMinusNotCarry, "B - A - not (перенос)", "b-a-~c"},
    {BMinusNotCarry, "B - not (перенос)", "b-~c"},
    {APlusBPlusCarry, "A + B + перенос", "a+b+c"},
    {AAndB, "A and B", "and"},
    {NotAAndB, "not (A) and B", "andna"},
    {AAndNotB, "A and not (B)", "andnb"},
    {Nor, "not (A or B)", "nor"},
    {Xnor, "not (A xor B)", "xnor"},
}};

// The halt word: Run stops before executing it.
inline constexpr uint32_t kHaltWord = 0xFFFFFFFFu;

} // namespace kovar::isa
