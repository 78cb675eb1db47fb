// Expected final values of a run, read from a small text file, and their
// comparison with the machine. One `NAME = VALUE` a line, `#` starts a
// comment:
//
//   PC, FL, TOS, SOS, 3OS, 4OS, TOR, SOR, 3OR, 4OR, URD0..URD3
//   DS[i], RS[i]   stack entry i (0 is the top), i = 0..15
//   M[a]           the byte at address a
//   W[a]           the word at a as LOAD reads it (least significant byte first)
//   I[a]           the word at a as an instruction (most significant byte first)
//
// Values and addresses are hexadecimal with 0x or decimal; a decimal value
// may be negative (two's complement).
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
    uint32_t value = 0;
    int line = 0;

    // The name as mismatches show it: "TOS", "URD2", "DS[7]", "M[0x10]".
    std::string name() const;
};

struct Mismatch {
    std::string name;
    std::string expected; // in the width of the value: 8 hex digits, 2, or FL's 0/1
    std::string actual;

    // "TOS: expected 00000037, got 00000036"
    std::string text() const;
};

// Parses the text of an expectation file. On a malformed line returns false
// with `errorLine` (1-based) and `error` saying what is wrong with it.
bool ParseExpectations(std::string_view text, std::vector<Expectation>& out, int& errorLine,
                       std::string& error);

// Reads and parses the file; on failure `error` is a complete message: the
// file error with its cause, or "FILE:LINE: what is wrong".
bool ReadExpectations(const std::string& fileName, std::vector<Expectation>& out,
                      std::string& error);

// Every expectation the machine does not meet, in the order of the file.
std::vector<Mismatch> CheckExpectations(const MachineState& state,
                                        const std::vector<Expectation>& expected);

} // namespace kovar::runner
