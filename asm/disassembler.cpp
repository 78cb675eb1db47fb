#include "disassembler.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "asm_names.h"
#include "isa.h"

namespace kovar {

using asmnames::Field;

namespace {

// Appends to a fixed buffer; the longest text is well below its size.
class Writer {
public:
    explicit Writer(char* out) : begin_(out), p_(out) {}
    Writer& operator<<(std::string_view s) {
        std::memcpy(p_, s.data(), s.size());
        p_ += s.size();
        return *this;
    }
    Writer& operator<<(char c) {
        *p_++ = c;
        return *this;
    }
    // 0x and upper-case hex digits, no leading zeros.
    Writer& hex(uint32_t v) {
        static constexpr char digits[] = "0123456789ABCDEF";
        *p_++ = '0';
        *p_++ = 'x';
        int shift = 28;
        while (shift > 0 && (v >> shift) == 0)
            shift -= 4;
        for (; shift >= 0; shift -= 4)
            *p_++ = digits[(v >> shift) & 15];
        return *this;
    }
    Writer& decimal(uint32_t v) {
        char tmp[10];
        int n = 0;
        do {
            tmp[n++] = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v != 0);
        while (n > 0)
            *p_++ = tmp[--n];
        return *this;
    }
    // A name field: its name, or its code when it has none.
    Writer& field(Field f, unsigned code) {
        const std::string_view name = asmnames::CanonicalName(f, code);
        if (name.empty())
            return hex(code);
        return *this << name;
    }
    std::size_t size() const { return static_cast<std::size_t>(p_ - begin_); }

private:
    char* begin_;
    char* p_;
};

} // namespace

std::size_t DisassembleTo(uint32_t word, char* out) {
    using namespace isa;
    Writer w(out);
    if (word == kHaltWord) {
        w << "halt";
        return w.size();
    }
    const unsigned cls = word >> 29;
    const auto bits = [word](unsigned hi, unsigned lo) {
        return (word >> lo) & ((1u << (hi - lo + 1)) - 1u);
    };
    const auto flag = [&w, word](unsigned bit, std::string_view name) {
        if ((word >> bit) & 1u)
            w << ", " << name;
    };
    const auto stack = [&w](unsigned code) {
        if (code == kStackNop)
            return;
        if (code < kStackNop)
            w << ", " << kStackActionMnemonics[code];
        else
            w.operator<<(", stack=").decimal(code);
    };
    const unsigned regB = bits(27, 24), regA = bits(23, 20), stackCode = bits(19, 16);
    switch (cls) {
    case Call:
    case Branch:
    case BranchC:
        w << kCommands[cls].name << ' ';
        w.hex(bits(28, 0));
        return w.size();
    case AluShift: {
        const bool shift = bits(15, 15) != 0;
        w << (shift ? "SHIFT " : "ALU ") << kRegisters[regA].listName << ", "
          << kRegisters[regB].listName << ", ";
        if (shift)
            w.field(Field::Direction, bits(6, 5)) << ", ";
        if (shift)
            w.field(Field::Combine, bits(3, 2));
        else
            w.field(Field::Operation, bits(6, 0));
        stack(stackCode);
        if (bits(13, 10) != 0)
            w.operator<<(", cond=").field(Field::Condition, bits(13, 10));
        if (bits(9, 8) != 0)
            w.operator<<(", carry=").field(Field::Carry, bits(9, 8));
        flag(7, "setfl");
        if (shift) {
            flag(14, "nowrite");
            flag(4, "nofill");
            flag(1, "flout");
            flag(0, "bit0");
        } else {
            flag(14, "flres");
        }
        flag(28, "ret");
        return w.size();
    }
    case Load:
    case Save:
        w << (cls == Load ? "LOAD " : "SAVE ") << kRegisters[regA].listName << ", "
          << kRegisters[regB].listName << ", ";
        w.hex(bits(15, 0));
        stack(stackCode);
        flag(28, "ret");
        return w.size();
    default:
        w << (cls == Lal ? "LAL" : "LAH");
        {
            bool any = false;
            const auto sep = [&w, &any] {
                w << (any ? ", " : " ");
                any = true;
            };
            if (regA != 0) {
                sep();
                w << "a=" << kRegisters[regA].listName;
            }
            if (regB != 0) {
                sep();
                w << "b=" << kRegisters[regB].listName;
            }
            if (bits(15, 0) != 0) {
                sep();
                w << "offset=";
                w.hex(bits(15, 0));
            }
            if (stackCode != kStackNop) {
                sep();
                if (stackCode < kStackNop)
                    w << kStackActionMnemonics[stackCode];
                else
                    w.operator<<("stack=").decimal(stackCode);
            }
            if (bits(28, 28) != 0) {
                sep();
                w << "ret";
            }
        }
        return w.size();
    }
}

std::string Disassemble(uint32_t word) {
    char buf[kMaxDisassemblyLength];
    return std::string(buf, DisassembleTo(word, buf));
}

namespace {

void AppendHex(std::string& s, uint32_t v, int digits) {
    static constexpr char hex[] = "0123456789ABCDEF";
    for (int i = digits - 1; i >= 0; --i)
        s += hex[(v >> (4 * i)) & 15];
}

// The blocks of 4 bytes at multiples of 4; the last holds one byte.
struct Block {
    uint32_t address;
    unsigned size;
    bool anyByte;
    bool anyMark;
};
Block BlockAt(const MachineState& st, uint32_t address) {
    Block b{address, static_cast<unsigned>(std::min<uint32_t>(4, kMemorySize - address)), false,
            false};
    for (unsigned i = 0; i < b.size; ++i) {
        b.anyByte |= st.Memory[address + i] != 0;
        b.anyMark |= st.BreakpointMarks[address + i] != 0;
    }
    return b;
}

} // namespace

std::string ListMemory(const MachineState& st) {
    std::string out = "; address  bytes        instruction";
    out += "\n; PC = ";
    AppendHex(out, static_cast<uint32_t>(st.PC), 8);
    out += '\n';
    bool gap = false;
    char buf[kMaxDisassemblyLength];
    for (uint32_t a = 0; a < kMemorySize; a += 4) {
        const Block b = BlockAt(st, a);
        if (!b.anyByte && !b.anyMark) {
            gap = true;
            continue;
        }
        if (gap && out.back() == '\n' && a != 0)
            out += "...\n";
        gap = false;
        std::string row;
        AppendHex(row, a, 8);
        row += "  ";
        for (unsigned i = 0; i < 4; ++i) {
            if (i < b.size)
                AppendHex(row, st.Memory[a + i], 2);
            else
                row += "  ";
            row += ' ';
        }
        row += ' ';
        std::string text;
        if (b.size == 4) {
            text.assign(buf, DisassembleTo(st.ReadInstructionWord(a), buf));
        } else {
            text = ".byte 0x";
            AppendHex(text, st.Memory[a], 2);
        }
        row += text;
        if (b.anyMark) {
            row.append(text.size() < 40 ? 40 - text.size() : 1, ' ');
            row += ";";
            for (unsigned i = 0; i < b.size; ++i)
                if (st.BreakpointMarks[a + i] != 0) {
                    row += " break";
                    if (i != 0) {
                        row += '+';
                        row += static_cast<char>('0' + i);
                    }
                    if (st.BreakpointMarks[a + i] != 1) {
                        row += '=';
                        row += std::to_string(st.BreakpointMarks[a + i]);
                    }
                }
        }
        out += row;
        out += '\n';
    }
    return out;
}

std::string MemoryAsSource(const MachineState& st) {
    std::string out = "; memory contents as program text\n";
    uint64_t next = 0; // where the next instruction lands without an .org
    char buf[kMaxDisassemblyLength];
    for (uint32_t a = 0; a < kMemorySize; a += 4) {
        const Block b = BlockAt(st, a);
        for (unsigned i = 0; i < b.size; ++i) {
            const uint8_t m = st.BreakpointMarks[a + i];
            if (m == 0)
                continue;
            out += ".break " + std::to_string(a + i);
            if (m != 1)
                out += ", " + std::to_string(m);
            out += '\n';
        }
        if (!b.anyByte)
            continue;
        if (next != a)
            out += ".org " + std::to_string(a) + "\n";
        if (b.size == 4) {
            out.append(buf, DisassembleTo(st.ReadInstructionWord(a), buf));
        } else {
            out += ".byte 0x";
            AppendHex(out, st.Memory[a], 2);
        }
        out += '\n';
        next = a + b.size;
    }
    const auto pc = static_cast<uint32_t>(st.PC);
    if (MachineState::InMemory(pc))
        out += ".org " + std::to_string(pc) + "\nstart:\n";
    return out;
}

} // namespace kovar
