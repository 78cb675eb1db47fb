#include "disassembler.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "isa.h"

namespace kovar {

namespace {

// A piece of text padded to a fixed size, so that it is copied with one
// fixed-size move; the buffer leaves room for the padding.
struct Piece {
    std::array<char, 32> text{};
    std::size_t size = 0;
    constexpr Piece& operator+=(std::string_view s) {
        for (char c : s)
            text[size++] = c;
        return *this;
    }
    constexpr Piece& hex(unsigned v) {
        constexpr std::string_view digits = "0123456789ABCDEF";
        *this += "0x";
        int shift = 28;
        while (shift > 0 && (v >> shift) == 0)
            shift -= 4;
        for (; shift >= 0; shift -= 4)
            text[size++] = digits[(v >> shift) & 15];
        return *this;
    }
    constexpr Piece& decimal(unsigned v) {
        if (v >= 10)
            text[size++] = static_cast<char>('0' + v / 10);
        text[size++] = static_cast<char>('0' + v % 10);
        return *this;
    }
};
constexpr Piece Text(std::string_view a, std::string_view b = {}) {
    Piece p;
    p += a;
    p += b;
    return p;
}

template <std::size_t N, typename F> constexpr std::array<Piece, N> Table(F make) {
    std::array<Piece, N> t{};
    for (unsigned i = 0; i < N; ++i)
        t[i] = make(i);
    return t;
}

using namespace isa;

// "TOS, " ... by register code.
constexpr auto kRegisterComma =
    Table<16>([](unsigned i) { return Text(kRegisters[i].listName, ", "); });
// The operation by code: its mnemonic, or its code when it has none.
constexpr auto kOperation = Table<128>([](unsigned i) {
    Piece p;
    for (const auto& op : kAluOperations)
        if (op.code == i)
            return Text(op.mnemonic);
    return p.hex(i);
});
// Code 3 has no mnemonic and is written as the number, in decimal as the
// language guide's table shows it.
constexpr auto kDirectionComma = Table<4>([](unsigned i) {
    Piece p;
    if (kShiftDirectionMnemonics[i].empty())
        p.decimal(i);
    else
        p += kShiftDirectionMnemonics[i];
    return p += ", ";
});
constexpr auto kCombine = Table<4>([](unsigned i) { return Text(kCombineMnemonics[i]); });
// ", popds" ...; nothing for nop; ", stack=N" for the codes without a name.
constexpr auto kStack = Table<16>([](unsigned i) {
    Piece p;
    if (i < kStackNop)
        p += ", ", p += kStackActionMnemonics[i];
    else if (i > kStackNop)
        p += ", stack=", p.decimal(i);
    return p;
});
constexpr auto kCondition = Table<16>(
    [](unsigned i) { return i == 0 ? Piece{} : Text(", cond=", kConditionMnemonics[i]); });
constexpr auto kCarry =
    Table<4>([](unsigned i) { return i == 0 ? Piece{} : Text(", carry=", kCarryMnemonics[i]); });

class Writer {
public:
    explicit Writer(char* out) : begin_(out), p_(out) {}
    Writer& operator<<(const Piece& piece) {
        std::memcpy(p_, piece.text.data(), sizeof piece.text);
        p_ += piece.size;
        return *this;
    }
    Writer& operator<<(std::string_view s) {
        std::memcpy(p_, s.data(), s.size());
        p_ += s.size();
        return *this;
    }
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
    void flag(uint32_t word, unsigned bit, std::string_view text) {
        if ((word >> bit) & 1u)
            *this << text;
    }
    std::size_t size() const { return static_cast<std::size_t>(p_ - begin_); }

private:
    char* begin_;
    char* p_;
};

} // namespace

std::size_t DisassembleTo(uint32_t word, char* out) {
    Writer w(out);
    if (word == kHaltWord) {
        w << std::string_view("halt");
        return w.size();
    }
    const unsigned cls = word >> 29;
    const unsigned regB = (word >> 24) & 15, regA = (word >> 20) & 15, stack = (word >> 16) & 15;
    switch (cls) {
    case Call:
    case Branch:
    case BranchC:
        w << kCommands[cls].name << std::string_view(" ");
        w.hex(word & 0x1FFFFFFFu);
        return w.size();
    case AluShift:
        if ((word >> 15) & 1u) {
            w << std::string_view("SHIFT ") << kRegisterComma[regA] << kRegisterComma[regB]
              << kDirectionComma[(word >> 5) & 3] << kCombine[(word >> 2) & 3] << kStack[stack]
              << kCondition[(word >> 10) & 15] << kCarry[(word >> 8) & 3];
            w.flag(word, 7, ", setfl");
            w.flag(word, 14, ", nowrite");
            w.flag(word, 4, ", nofill");
            w.flag(word, 1, ", flout");
            w.flag(word, 0, ", bit0");
        } else {
            w << std::string_view("ALU ") << kRegisterComma[regA] << kRegisterComma[regB]
              << kOperation[word & 0x7F] << kStack[stack] << kCondition[(word >> 10) & 15]
              << kCarry[(word >> 8) & 3];
            w.flag(word, 7, ", setfl");
            w.flag(word, 14, ", flres");
        }
        w.flag(word, 28, ", ret");
        return w.size();
    case Load:
    case Save:
        w << std::string_view(cls == Load ? "LOAD " : "SAVE ") << kRegisterComma[regA]
          << kRegisterComma[regB];
        w.hex(word & 0xFFFFu);
        w << kStack[stack];
        w.flag(word, 28, ", ret");
        return w.size();
    default: {
        // LAL and LAH: every field is an option, written when not left out.
        w << std::string_view(cls == Lal ? "LAL" : "LAH");
        char sep = ' ';
        const auto next = [&w, &sep] {
            w << std::string_view(&sep, 1);
            if (sep == ' ')
                sep = ',';
            else
                w << std::string_view(" ");
        };
        if (regA != 0) {
            next();
            w << std::string_view("a=") << kRegisters[regA].listName;
        }
        if (regB != 0) {
            next();
            w << std::string_view("b=") << kRegisters[regB].listName;
        }
        if ((word & 0xFFFFu) != 0) {
            next();
            w << std::string_view("offset=");
            w.hex(word & 0xFFFFu);
        }
        if (stack != kStackNop) {
            next();
            const Piece& p = kStack[stack]; // ", name": drop the separator
            w << std::string_view(p.text.data() + 2, p.size - 2);
        }
        if ((word >> 28) & 1u) {
            next();
            w << std::string_view("ret");
        }
        return w.size();
    }
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
