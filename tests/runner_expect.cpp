// Expectation files: every name and number form over random machines, the
// word orders of W and I, the value forms refused with a hint, files of
// cases, and malformed lines named by their number.
#include <gtest/gtest.h>

#include <cctype>
#include <climits>
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

// The value in one of the forms the file may use; a decimal form is shown
// back in decimal beside the hex.
struct Form {
    std::string text;
    bool decimal;
    int64_t written;
};

Form Written(uint32_t v, int digits, std::mt19937& rng) {
    const bool byte = digits == 2;
    switch (rng() % 4) {
    case 0: return {"0x" + Hex(v, 1), false, v};
    case 1: {
        std::string h = Hex(v, 8);
        for (char& c : h)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return {"0X" + h, false, v};
    }
    case 2: return {std::to_string(v), true, v};
    default: { // negative where the top bit is set
        const bool top = byte ? v >= 0x80 : v >= 0x80000000u;
        if (!top || digits == 0)
            return {std::to_string(v), true, v};
        const int64_t negative = static_cast<int64_t>(v) - (byte ? 0x100 : int64_t{1} << 32);
        return {std::to_string(negative), true, negative};
    }
    }
}

// A value in decimal as a mismatch shows it: words signed unless written
// above the signed range, bytes unsigned unless written negative.
std::string Decimal(uint32_t v, int digits, int64_t written) {
    if (digits == 2)
        return written < 0 ? std::to_string(static_cast<int8_t>(v)) : std::to_string(v);
    return written > INT32_MAX ? std::to_string(v) : std::to_string(static_cast<int32_t>(v));
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
            same += p.name + " = " + Written(p.actual, p.digits, rng).text + "  # as it is\n";
            const uint32_t mask = p.digits == 0 ? 1u : p.digits == 2 ? 0xFFu : 0xFFFFFFFFu;
            const uint32_t wrong = (p.actual + 1 + rng() % mask) & mask;
            const Form form = Written(wrong, p.digits, rng);
            other += p.name + "=" + form.text + "\n";
            const auto shown = [&](uint32_t v) {
                if (p.digits == 0)
                    return std::to_string(v);
                if (!form.decimal)
                    return Hex(v, p.digits);
                return Decimal(v, p.digits, form.written) + " (" + Hex(v, p.digits) + ")";
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
                      Malformed{"TOS = 12abc", 1, "12abc: напишите 0x12abc"},
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

namespace {

// ---------------------------------------------------------------- value forms

struct ValueForm {
    const char* text;
    const char* result; // 8 hex digits of the value taken, or the whole error
    bool decimal = false;
};

class ExpectationValues : public ::testing::TestWithParam<ValueForm> {};

// A value is decimal or 0x hex; what looks copied from the simulator's hex
// display is refused with the hex reading, never taken as something else.
// Addresses follow the same rules.
TEST_P(ExpectationValues, AreReadOrRefusedWithAHint) {
    const ValueForm c = GetParam();
    const bool ok = std::string(c.result).size() == 8 && c.result[0] != '\'';
    for (const std::string& line :
         {"TOS = " + std::string(c.text), "W[" + std::string(c.text) + "] = 1"}) {
        std::vector<Expectation> out;
        int errorLine = 0;
        std::string error;
        const bool parsed = ParseExpectations(line, out, errorLine, error);
        const bool address = line[0] == 'W';
        if (ok && !address) {
            ASSERT_TRUE(parsed) << error;
            EXPECT_EQ(Hex(out[0].value, 8), c.result) << c.text;
            EXPECT_EQ(out[0].decimal, c.decimal) << c.text;
        } else if (!ok) {
            EXPECT_FALSE(parsed) << line;
            const std::string hint = c.result;
            if (hint.find("напишите") != std::string::npos)
                EXPECT_EQ(error, hint);
            else
                EXPECT_EQ(error, address ? hint + " is not an address"
                                         : "TOS: " + hint + " is not a number");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExpectationValues,
    ::testing::Values(ValueForm{"0", "00000000", true}, ValueForm{"-0", "00000000", true},
                      ValueForm{"120", "00000078", true}, ValueForm{"-1", "FFFFFFFF", true},
                      ValueForm{"4294967295", "FFFFFFFF", true}, ValueForm{"0x0", "00000000"},
                      ValueForm{"0xdc", "000000DC"}, ValueForm{"0X000000DC", "000000DC"},
                      ValueForm{"-0x5", "FFFFFFFB"}, ValueForm{"-0x80000000", "80000000"},
                      ValueForm{"000000DC", "000000DC: напишите 0x000000DC"},
                      ValueForm{"00000010", "00000010: напишите 0x00000010"},
                      ValueForm{"010", "010: напишите 0x010"}, ValueForm{"00", "00: напишите 0x00"},
                      ValueForm{"DC", "DC: напишите 0xDC"}, ValueForm{"ff", "ff: напишите 0xff"},
                      ValueForm{"1F", "1F: напишите 0x1F"},
                      ValueForm{"-00DC", "-00DC: напишите -0x00DC"}, ValueForm{"0b101", "'0b101'"},
                      ValueForm{"0x", "'0x'"}, ValueForm{"+5", "'+5'"}, ValueForm{"1.5", "'1.5'"},
                      ValueForm{"0xG", "'0xG'"}, ValueForm{"--1", "'--1'"}));

// ---------------------------------------------------------------- case files

struct CaseFileCase {
    const char* text;
    // "name:inputs:expects" per case, or for a malformed file "LINE: error"
    std::vector<std::string> shape;
};

class CaseFiles : public ::testing::TestWithParam<CaseFileCase> {};

TEST_P(CaseFiles, ParseIntoCasesOrNameTheLine) {
    const CaseFileCase c = GetParam();
    TestFile file;
    file.tests.clear();
    int line = 0;
    std::string error;
    std::vector<std::string> shape;
    if (ParseTestFile(c.text, file, line, error)) {
        for (const TestCase& t : file.tests)
            shape.push_back(t.name + ":" + std::to_string(t.inputs.size()) + ":" +
                            std::to_string(t.expected.size()));
        EXPECT_EQ(file.cases, !shape.empty() && shape[0][0] != ':');
    } else {
        EXPECT_TRUE(file.tests.empty()) << "nothing taken from a bad file";
        shape.push_back(std::to_string(line) + ": " + error);
    }
    EXPECT_EQ(shape, c.shape) << c.text;
}

using Shape = std::vector<std::string>;

INSTANTIATE_TEST_SUITE_P(
    Table, CaseFiles,
    ::testing::Values(
        CaseFileCase{"TOS = 1\nPC = 4", Shape{":0:2"}}, // the plain form: one unnamed case
        CaseFileCase{"", Shape{":0:0"}},
        CaseFileCase{"# cases\n[case five]\nset TOS = 5\nexpect TOS = 120\n"
                     "[CASE  zero ] # with blanks\nSET tos = 0\nEXPECT TOS = 1\nexpect PC = 4",
                     Shape{"five:1:1", "zero:1:2"}},
        CaseFileCase{"[case без входов]\nexpect TOS = 1\n[case empty]\n",
                     Shape{"без входов:0:1", "empty:0:0"}},
        CaseFileCase{"[case a]\nset M[4] = 1\nset W[4] = 2\nset I[4]=3\nexpect TOS = 1",
                     Shape{"a:3:1"}}, // overlapping inputs apply in order
        CaseFileCase{"[case a]\nset TOS = 1\nexpect TOS = 1", Shape{"a:1:1"}},
        CaseFileCase{"TOS = 1\n[case a]\nexpect TOS = 1",
                     Shape{"1: in a file of cases, write 'set NAME = VALUE' or 'expect NAME = "
                           "VALUE'"}},
        CaseFileCase{"set TOS = 1\n[case a]",
                     Shape{"1: set and expect lines belong to a case: start it with [case NAME]"}},
        CaseFileCase{"expect TOS = 1\n",
                     Shape{"1: set and expect lines belong to a case: start it with [case NAME]"}},
        CaseFileCase{"[case a]\n[case]\n", Shape{"2: a case needs a name: [case NAME]"}},
        CaseFileCase{"[case a]\n\n[case a]\n", Shape{"3: case 'a' already on line 1"}},
        CaseFileCase{"[test a]\n", Shape{"1: expected [case NAME]"}},
        CaseFileCase{"[case a\n", Shape{"1: expected [case NAME]"}},
        CaseFileCase{"[case a]\nset TOS\n", Shape{"2: expected NAME = VALUE"}},
        CaseFileCase{"[case a]\nset TOS = 1\nset DS[0] = 2\n",
                     Shape{"3: TOS already set on line 2"}},
        CaseFileCase{"[case a]\nexpect PC = 1\nexpect pc = 2\n",
                     Shape{"3: PC already expected on line 2"}},
        CaseFileCase{"[case a]\nset PC = 000000DC\n", Shape{"2: 000000DC: напишите 0x000000DC"}},
        CaseFileCase{"[case a]\nexpect FOO = 1\n", Shape{"2: unknown name 'FOO'"}}));

} // namespace
