// MachineState: the whole state of the simulated processor: memory with its
// breakpoint marks, both hardware stacks, the user registers, PC, IR, FL, C.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kovar {

inline constexpr int kMemorySize = 1001; // addresses 0 to 1000 inclusive
inline constexpr int kStackDepth = 16;
inline constexpr int kUserRegisters = 4;

using Stack = std::array<int32_t, kStackDepth>; // entry 0 is the top
enum class StackId { DS, RS };

// The instruction register: empty until the first fetch, then the word last
// fetched. Its text form is the word as 8 upper-case hex digits.
class InstructionRegister {
public:
    bool empty() const { return !fetched_; }
    uint32_t word() const { return word_; }
    void set(uint32_t word) {
        word_ = word;
        fetched_ = true;
    }
    void clear() {
        word_ = 0;
        fetched_ = false;
    }
    std::string text() const;
    bool operator==(const InstructionRegister&) const = default;

private:
    uint32_t word_ = 0;
    bool fetched_ = false;
};

struct MachineState {
    std::array<uint8_t, kMemorySize> Memory{};
    std::array<uint8_t, kMemorySize> BreakpointMarks{};
    Stack DS{};
    Stack RS{};
    std::array<int32_t, kUserRegisters> URD{};
    int32_t PC = 0;
    InstructionRegister IR;
    bool FL = false;
    uint8_t C = 0;

    Stack& stack(StackId id) { return id == StackId::DS ? DS : RS; }
    const Stack& stack(StackId id) const { return id == StackId::DS ? DS : RS; }

    // The command "New": everything but IR and C back to zero.
    void Reset();

    // Memory access. Each byte of an access is judged on its own: an address
    // outside 0..1000 reads as 0 and a write to it is dropped.
    static bool InMemory(uint32_t address) { return address < static_cast<uint32_t>(kMemorySize); }
    uint8_t ReadByte(uint32_t address) const { return InMemory(address) ? Memory[address] : 0; }
    void WriteByte(uint32_t address, uint8_t value) {
        if (InMemory(address))
            Memory[address] = value;
    }
    // Instruction words are stored most significant byte first.
    uint32_t ReadInstructionWord(uint32_t address) const {
        if (address <= kLastWordAddress)
            return static_cast<uint32_t>(Memory[address]) << 24 |
                   static_cast<uint32_t>(Memory[address + 1]) << 16 |
                   static_cast<uint32_t>(Memory[address + 2]) << 8 | Memory[address + 3];
        return ReadInstructionWordSlow(address);
    }
    void WriteInstructionWord(uint32_t address, uint32_t word);
    // Data words (LOAD, SAVE) are stored least significant byte first.
    uint32_t ReadDataWord(uint32_t address) const {
        if (address <= kLastWordAddress)
            return static_cast<uint32_t>(Memory[address + 3]) << 24 |
                   static_cast<uint32_t>(Memory[address + 2]) << 16 |
                   static_cast<uint32_t>(Memory[address + 1]) << 8 | Memory[address];
        return ReadDataWordSlow(address);
    }
    void WriteDataWord(uint32_t address, uint32_t word);

    // A PC outside memory carries no mark.
    bool IsBreakpoint(int32_t pc) const {
        const auto a = static_cast<uint32_t>(pc);
        return InMemory(a) && BreakpointMarks[a] != 0;
    }

    bool operator==(const MachineState&) const = default;

private:
    // The highest address at which a whole word lies inside memory.
    static constexpr uint32_t kLastWordAddress = kMemorySize - 4;
    uint32_t ReadInstructionWordSlow(uint32_t address) const;
    uint32_t ReadDataWordSlow(uint32_t address) const;
};

} // namespace kovar
