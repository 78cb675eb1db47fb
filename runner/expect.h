// Expected final values of a run, read from a small text file, and their
// comparison with the machine. `#` starts a comment. The file has one of two
// forms:
//
// Plain: one `NAME = VALUE` a line, checked after one run of the image as
// it is stored.
//
// Cases: sections that each start from the image's memory and marks with
// the stacks, user registers and FL zeroed, take their inputs and check
// their results:
//
//   [case five]
//   set TOS = 5
//   expect TOS = 120
//
// Names:
//   PC, FL, TOS, SOS, 3OS, 4OS, TOR, SOR, 3OR, 4OR, URD0..URD3
//   DS[i], RS[i]   stack entry i (0 is the top), i = 0..15
//   M[a]           the byte at address a
//   W[a]           the word at a as LOAD reads it (least significant byte first)
//   I[a]           the word at a as an instruction (most significant byte first)
//
// Values and addresses are hexadecimal with 0x or decimal, either with an
// optional leading minus (two's complement). A text that reads as hex
// copied from the simulator (a zero followed by more digits, or the letters
// A to F, without 0x) is refused with a hint rather than read as decimal.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "machine_state.h"

namespace kovar::runner {

struct Expectation {
    enum class Target { PC, FL, DS, RS, URD, Byte, DataWord, InstructionWord };
    Target target = Target::PC;
    uint32_t index = 0; // stack entry, register number or address
    uint32_t value = 0; // in the width of the target
    int line = 0;
    // How the value was written: a decimal value is shown back in decimal
    // (beside the hex) when it differs. `text` is the value as written.
    bool decimal = false;
    int64_t written = 0;
    std::string text;

    // The name as mismatches show it: "TOS", "URD2", "DS[7]", "M[0x10]".
    std::string name() const;
};

struct Mismatch {
    std::string name;
    std::string expected; // in the width of the value: 8 hex digits, 2, or FL's 0/1
    std::string actual;
    // Only for a value written in decimal: both values in decimal.
    std::string expectedDecimal;
    std::string actualDecimal;

    // "TOS: expected 00000037, got 00000036" for a value written in hex,
    // "TOS: expected 120 (00000078), got 24 (00000018)" for one in decimal.
    std::string text() const;
};

// One run of the image: its inputs and what it must end with.
struct TestCase {
    std::string name; // empty in the plain form
    int line = 0;     // of its [case] line
    std::vector<Expectation> inputs;
    std::vector<Expectation> expected;
};

struct TestFile {
    bool cases = false; // [case] sections; the plain form is one unnamed case
    std::vector<TestCase> tests{TestCase{}};
};

// Parses the text of an expectation file of either form. On a malformed line
// returns false with `errorLine` (1-based) and `error` saying what is wrong
// with it; `out` is then unchanged.
bool ParseTestFile(std::string_view text, TestFile& out, int& errorLine, std::string& error);

// The same for a file of the plain form only.
bool ParseExpectations(std::string_view text, std::vector<Expectation>& out, int& errorLine,
                       std::string& error);

// Reads and parses the file; on failure `error` is a complete message: the
// file error with its cause, or "FILE:LINE: what is wrong".
bool ReadTestFile(const std::string& fileName, TestFile& out, std::string& error);

// Every expectation the machine does not meet, in the order of the file.
std::vector<Mismatch> CheckExpectations(const MachineState& state,
                                        const std::vector<Expectation>& expected);

// Writes the values of `set` lines into the machine, in the order of the file.
void ApplyInputs(MachineState& state, const std::vector<Expectation>& inputs);

// The machine's value of what the expectation names, in its width.
uint32_t ActualValue(const MachineState& state, const Expectation& e);

} // namespace kovar::runner
