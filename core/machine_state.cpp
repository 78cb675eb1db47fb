#include "machine_state.h"

#include "hex_op.h"

namespace kovar {

std::string InstructionRegister::text() const {
    return fetched_ ? Hex8(word_) : std::string();
}

void MachineState::Reset() {
    Memory.fill(0);
    BreakpointMarks.fill(0);
    DS.fill(0);
    RS.fill(0);
    URD.fill(0);
    PC = 0;
    FL = false;
}

uint32_t MachineState::ReadInstructionWordSlow(uint32_t address) const {
    uint32_t word = 0;
    for (uint32_t i = 0; i < 4; ++i)
        word = (word << 8) | ReadByte(address + i);
    return word;
}

void MachineState::WriteInstructionWord(uint32_t address, uint32_t word) {
    for (uint32_t i = 0; i < 4; ++i)
        WriteByte(address + i, static_cast<uint8_t>(word >> (24 - 8 * i)));
}

uint32_t MachineState::ReadDataWordSlow(uint32_t address) const {
    uint32_t word = 0;
    for (uint32_t i = 0; i < 4; ++i)
        word |= static_cast<uint32_t>(ReadByte(address + i)) << (8 * i);
    return word;
}

void MachineState::WriteDataWord(uint32_t address, uint32_t word) {
    for (uint32_t i = 0; i < 4; ++i)
        WriteByte(address + i, static_cast<uint8_t>(word >> (8 * i)));
}

} // namespace kovar
