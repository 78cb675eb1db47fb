// Expectation files: every name and number form over random machines, the
// word orders of W and I, and malformed lines named by their number.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core_helpers.h"
#include "expect.h"
#include "load_program.h"
#include "program_file.h"
#include "test_support.h"

namespace {

using namespace kovar;
using namespace kovar::runner;
using kovar::test::Machine;
using kovar::test::TempDir;

std::string Hex(uint32_t v, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, static_cast<unsigned>(v));
    return buf;
}

std::string Upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

struct Probe {
    std::string name;  // as written in the file
    std::string shown; // as a mismatch names it
    uint32_t actual;
    int digits; // 0 for FL
};

// Every kind of name, with its value read straight from the state.
std::vector<Probe> Probes(const MachineState& s, std::mt19937& rng) {
    const auto u = [](int32_t v) { return static_cast<uint32_t>(v); };
    std::vector<Probe> p = {{"PC", "PC", u(s.PC), 8}, {"fl", "FL", s.FL ? 1u : 0u, 0}};
    const char* ds[] = {"TOS", "SOS", "3OS", "4OS"};
    const char* rs[] = {"tor", "SOR", "3or", "4OR"};
    for (int i = 0; i < 4; ++i) {
        p.push_back({ds[i], ds[i], u(s.DS[static_cast<std::size_t>(i)]), 8});
        p.push_back({rs[i], Upper(rs[i]), u(s.RS[static_cast<std::size_t>(i)]), 8});
        p.push_back({"URD" + std::to_string(i), "URD" + std::to_string(i),
                     u(s.URD[static_cast<std::size_t>(i)]), 8});
    }
    const std::size_t deep = 4 + rng() % 12;
    p.push_back(
        {"DS[" + std::to_string(deep) + "]", "DS[" + std::to_string(deep) + "]", u(s.DS[deep]), 8});
    p.push_back({"rs[ 0x" + Hex(static_cast<uint32_t>(deep), 1) + " ]",
                 "RS[" + std::to_string(deep) + "]", u(s.RS[deep]), 8});
    const uint32_t a = rng() % 1001, w = rng() % 998;
    const auto m = [&](uint32_t k) { return uint32_t{s.Memory[k]}; };
    p.push_back({"M[" + std::to_string(a) + "]", "M[0x" + Hex(a, 1) + "]", m(a), 2});
    p.push_back({"w[0x" + Hex(w, 3) + "]", "W[0x" + Hex(w, 1) + "]",
                 m(w) | m(w + 1) << 8 | m(w + 2) << 16 | m(w + 3) << 24, 8});
    p.push_back({"I[" + std::to_string(w) + "]", "I[0x" + Hex(w, 1) + "]",
                 m(w) << 24 | m(w + 1) << 16 | m(w + 2) << 8 | m(w + 3), 8});
    return p;
}

// The value in one of the forms the file may use.
std::string Written(uint32_t v, int digits, std::mt19937& rng) {
    const bool byte = digits == 2;
    switch (rng() % 4) {
    case 0: return "0x" + Hex(v, 1);
    case 1: {
        std::string h = Hex(v, 8);
        for (char& c : h)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return "0X" + h;
    }
    case 2: return std::to_string(v);
    default: { // negative where the top bit is set
        const bool top = byte ? v >= 0x80 : v >= 0x80000000u;
        if (!top || digits == 0)
            return std::to_string(v);
        return std::to_string(static_cast<int64_t>(v) - (byte ? 0x100 : int64_t{1} << 32));
    }
    }
}

std::vector<Expectation> Parse(const std::string& text) {
    std::vector<Expectation> out;
    int line = 0;
    std::string error;
    EXPECT_TRUE(ParseExpectations(text, out, line, error)) << "line " << line << ": " << error;
    return out;
}

TEST(Expectations, RandomMachinesMatchTheirOwnValuesAndNothingElse) {
    std::mt19937 rng(77);
    for (int round = 0; round < 200; ++round) {
        MachineState s;
        for (auto& b : s.Memory)
            b = static_cast<uint8_t>(rng());
        for (auto* stack : {&s.DS, &s.RS})
            for (auto& w : *stack)
                w = static_cast<int32_t>(rng());
        for (auto& w : s.URD)
            w = static_cast<int32_t>(rng());
        s.PC = static_cast<int32_t>(rng());
        s.FL = rng() % 2 == 1;

        const std::vector<Probe> probes = Probes(s, rng);
        std::string same, other;
        std::vector<std::string> expectedTexts;
        for (const Probe& p : probes) {
            same += p.name + " = " + Written(p.actual, p.digits, rng) + "  # as it is\n";
            const uint32_t mask = p.digits == 0 ? 1u : p.digits == 2 ? 0xFFu : 0xFFFFFFFFu;
            const uint32_t wrong = (p.actual + 1 + rng() % mask) & mask;
            other += p.name + "=" + Written(wrong, p.digits, rng) + "\n";
            const auto shown = [&](uint32_t v) {
                return p.digits == 0 ? std::to_string(v) : Hex(v, p.digits);
            };
            expectedTexts.push_back(p.shown + ": expected " + shown(wrong) + ", got " +
                                    shown(p.actual));
        }
        EXPECT_TRUE(CheckExpectations(s, Parse(same)).empty()) << same;

        std::vector<std::string> texts;
        for (const Mismatch& m : CheckExpectations(s, Parse(other)))
            texts.push_back(m.text());
        EXPECT_EQ(texts, expectedTexts) << other;
    }
}

// W reads a word as LOAD does and SAVE writes it; I as an instruction is fetched.
TEST(Expectations, WordOrders) {
    Machine m;
    m.st.DS[0] = 0x11223344;
    m.Exec(kovar::test::Save({.b = kovar::test::TOS, .offset = 0x100}));
    m.st.WriteInstructionWord(0x10, 0x6101004F);
    EXPECT_TRUE(CheckExpectations(m.st, Parse("W[0x100] = 0x11223344\nI[256] = 0x44332211\n"
                                              "M[0x100] = 0x44\nI[0x10] = 0x6101004F\n"
                                              "W[16] = 0x4F000161\nM[0x10] = 0x61"))
                    .empty());
}

struct Malformed {
    const char* text;
    int line;
    const char* error;
};

class ExpectationsMalformed : public ::testing::TestWithParam<Malformed> {};

TEST_P(ExpectationsMalformed, NameTheLine) {
    const Malformed c = GetParam();
    std::vector<Expectation> out(1);
    int line = 0;
    std::string error;
    EXPECT_FALSE(ParseExpectations(c.text, out, line, error));
    EXPECT_EQ(line, c.line);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(out.size(), 1u) << "nothing taken from a bad file";
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExpectationsMalformed,
    ::testing::Values(Malformed{"TOS 5", 1, "expected NAME = VALUE"},
                      Malformed{"\n\n# x\nTOS = ", 4, "expected NAME = VALUE"},
                      Malformed{"PC = 1\n= 3", 2, "expected NAME = VALUE"},
                      Malformed{"FOO = 1", 1, "unknown name 'FOO'"},
                      Malformed{"URD4 = 1", 1, "unknown name 'URD4'"},
                      Malformed{"X[3] = 1", 1, "unknown name 'X[3]'"},
                      Malformed{"M[1001] = 1", 1, "address 1001 is outside 0..1000 of M[1001]"},
                      Malformed{"W[998] = 1", 1, "address 998 is outside 0..997 of W[998]"},
                      Malformed{"DS[16] = 1", 1, "entry 16 is outside 0..15 of DS[16]"},
                      Malformed{"M[-1] = 1", 1, "'-1' is not an address"},
                      Malformed{"M[] = 1", 1, "'' is not an address"},
                      Malformed{"M[0x10] = 256", 1, "M[0x10]: 256 does not fit a byte"},
                      Malformed{"M[0x10] = -129", 1, "M[0x10]: -129 does not fit a byte"},
                      Malformed{"TOS = 0x100000000", 1, "TOS: 0x100000000 does not fit a word"},
                      Malformed{"TOS = -2147483649", 1, "TOS: -2147483649 does not fit a word"},
                      Malformed{"FL = 2", 1, "FL: 2 is not 0 or 1"},
                      Malformed{"TOS = 12abc", 1, "TOS: '12abc' is not a number"},
                      Malformed{"TOS = 0x", 1, "TOS: '0x' is not a number"},
                      Malformed{"TOS = - 1", 1, "TOS: '- 1' is not a number"},
                      Malformed{"TOS = 1\nSOS = 2\ntos = 1", 3, "TOS already expected on line 1"},
                      Malformed{"I[4] = 1\n\nw[4] = 1\ni[0x4] = 1", 4,
                                "I[0x4] already expected on line 1"}));

TEST(Expectations, EmptyAndCommentOnlyFilesExpectNothing) {
    for (const char* text : {"", "\n\n", "# nothing yet\n   # really\n", "\xEF\xBB\xBF\r\n"})
        EXPECT_TRUE(Parse(text).empty()) << text;
    EXPECT_EQ(Parse("\xEF\xBB\xBFTOS = 1\r\n").size(), 1u);
}

} // namespace

// Program text named on the command line: read, assembled, or refused whole.
TEST(AsmFiles, AnErrorLeavesTheMachineAsItWas) {
    TempDir dir;
    const auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream(dir.file(name), std::ios::binary) << text;
        return dir.file(name);
    };
    MachineState st;
    st.Memory[0] = 0x12;
    st.PC = 7;
    const MachineState before = st;
    std::string errors;
    const std::string bad = write("bad.kasm", "halt\nALU TOX, SOS, a\n");
    EXPECT_FALSE(AssembleFileInto(st, bad, errors));
    EXPECT_EQ(errors, bad + ": строка 2, столбец 5: неизвестный регистр 'TOX'; может быть, TOS? " +
                          "Ожидается одно из: TOS, SOS, 3OS, 4OS, TOR, SOR, 3OR, 4OR, UDR0, UDR1, "
                          "UDR2, UDR3, PC, PSW, ZERO, none или код от 0 до 15\n");
    EXPECT_FALSE(AssembleFileInto(st, dir.file("missing.kasm"), errors));
    EXPECT_NE(errors.find("Ошибка чтения файла: "), std::string::npos);
    EXPECT_EQ(st, before);
    EXPECT_TRUE(AssembleFileInto(st, write("good.KASM", ".org 4\nhalt\n"), errors));
    EXPECT_EQ(st.PC, 4);
    EXPECT_EQ(st.ReadInstructionWord(4), 0xFFFFFFFFu);
    EXPECT_TRUE(IsSourceFileName("a/b.KAsm"));
    EXPECT_FALSE(IsSourceFileName("prog.emu"));
    EXPECT_FALSE(IsSourceFileName("kasm"));
}
