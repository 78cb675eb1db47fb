// The assembler and disassembler: round trips over every field, the language's
// spellings and directives, every error, whole memories as text, and the
// example programs run to their stated final state.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "assembler.h"
#include "core_helpers.h"
#include "disassembler.h"
#include "processor.h"
#include "test_support.h"

namespace {

using namespace kovar;
using namespace kovar::test;

uint32_t WordAt(const MachineState& st, uint32_t a) {
    return st.ReadInstructionWord(a);
}

MachineState Applied(const AssembleResult& r) {
    MachineState st;
    ApplyProgram(r, st);
    return st;
}

void ExpectRoundTrip(uint32_t w) {
    const std::string text = Disassemble(w);
    uint32_t back = 0;
    ASSERT_TRUE(AssembleOne(text, back)) << Hex8(w) << " -> " << text;
    ASSERT_EQ(back, w) << Hex8(w) << " -> " << text << " -> " << Hex8(back);
    ASSERT_LT(text.size(), kMaxDisassemblyLength);
}

TEST(AsmRoundTrip, EveryFourBitWindowOfEveryClassAndItsComplement) {
    for (uint32_t cls = 0; cls < 8; ++cls)
        for (unsigned shift = 0; shift < 29; ++shift)
            for (uint32_t v = 0; v < 16; ++v) {
                const uint32_t field = (v << shift) & 0x1FFFFFFFu;
                ExpectRoundTrip(cls << 29 | field);
                ExpectRoundTrip(cls << 29 | (~field & 0x1FFFFFFFu));
            }
    for (uint32_t op = 0; op < 128; ++op)
        ExpectRoundTrip(Alu({.b = SOS, .a = TOS, .op = op}));
    ExpectRoundTrip(0xFFFFFFFFu);
    ExpectRoundTrip(0xFFFFFFFEu);
}

TEST(AsmRoundTrip, RandomWords) {
    std::mt19937 rng(20261208);
    for (int i = 0; i < 1000000; ++i)
        ExpectRoundTrip(static_cast<uint32_t>(rng()));
}

// Spellings of one instruction each, against words built from named fields.
TEST(AsmLanguage, SpellingsGiveTheirWords) {
    struct Case {
        const char* text;
        uint32_t word;
    };
    const Case cases[] = {
        {"CALL 100", Call(100)},
        {"branch 0x1FFFFFFF", Branch(0x1FFFFFFF)},
        {"BRANCH_C 0b101", BranchC(5)},
        {"halt", kHalt},
        {"ALU TOS, SOS, a+b+c, popds", Alu({.b = SOS, .a = TOS, .stack = PopDS, .op = 0x4F})},
        {"alu tos, sos, \"A + B +   перенос\", \"Pop DS\"",
         Alu({.b = SOS, .a = TOS, .stack = PopDS, .op = 0x4F})},
        {"ALU UDR0, 3ORS, 0x7F, stack=12, cond=agt, carry=nfl, setfl, flres, ret",
         Alu({.ret = true,
              .b = OR3,
              .a = URD0,
              .stack = StackAct(12),
              .flResult = true,
              .cond = 10,
              .carry = 3,
              .setFL = true,
              .op = 0x7F})},
        {"ALU PC, ZERO, not A, cond=\"беззнаковый Б\", carry=\"not FL\"",
         Alu({.b = ZERO, .a = PC, .cond = 11, .carry = 3, .op = 0x21})},
        {"ALU 15, 14, \"-1\", cond=<=, carry=1, setfl=1, flres=0",
         Alu({.b = ZERO, .a = NONE, .cond = 5, .carry = 1, .setFL = true, .op = 0x22})},
        {"SHIFT UDR2, UDR3, shl, b-a-c, carry=fl, nowrite, nofill, flout, bit0",
         Shift({.b = URD3,
                .a = URD2,
                .noWrite = true,
                .carry = 2,
                .dir = Left,
                .noFill = true,
                .combine = BMinusAMinusC,
                .flFromOut = true}) |
             1u},
        {"SHIFT TOS, TOS, \">>\", \"A + B + not(перенос)\", pushrs, cond=z, setfl",
         Shift({.b = TOS,
                .a = TOS,
                .stack = PushRS,
                .cond = 8,
                .setFL = true,
                .dir = Right,
                .combine = APlusBPlusC3})},
        {"SHIFT TOS, TOS, 3, 0", Shift({.b = TOS, .a = TOS, .dir = NoShift3})},
        {"LOAD UDR1, ZERO, 0xFFFF, popds_pushrs, ret",
         Load({.ret = true, .b = ZERO, .a = URD1, .stack = PopDSPushRS, .offset = 0xFFFF})},
        {"SAVE ZERO, TOS, 16", Save({.b = TOS, .a = ZERO, .offset = 16})},
        {"LAL", Lal({.b = TOS, .a = TOS})}, // registers left out are code 0
        {"LAH a=SOS, b=PSW, offset=7, stack=pushds, ret",
         Lah({.ret = true, .b = PSW, .a = SOS, .stack = PushDS, .offset = 7})},
    };
    for (const Case& c : cases) {
        uint32_t w = 0;
        EXPECT_TRUE(AssembleOne(c.text, w)) << c.text;
        EXPECT_EQ(Hex8(w), Hex8(c.word)) << c.text;
    }
}

TEST(AsmLanguage, LabelsDirectivesMarksAndStart) {
    const AssembleResult r = Assemble(R"(
        ; a comment line
        .org 8
first:  BRANCH later + 4          ; a label defined further down, plus 4
        .word 0x01020304, -1
        .data 0x01020304
        .byte 1, -2, 255
        .space 3
later:  .break
        LOAD TOS, ZERO, first - 8 + table
        .break first, 7
START:  halt
        .org 900
table:  .word later
        .break 1000, 255
    )");
    ASSERT_TRUE(r.ok()) << FormatAsmError(r.errors.front());
    const MachineState st = Applied(r);
    const uint32_t later = 8 + 4 + 8 + 4 + 3 + 3;
    EXPECT_EQ(WordAt(st, 8), Branch(later + 4));
    EXPECT_EQ(WordAt(st, 12), 0x01020304u);
    EXPECT_EQ(WordAt(st, 16), 0xFFFFFFFFu);
    EXPECT_EQ(st.ReadDataWord(20), 0x01020304u);
    EXPECT_EQ(st.Memory[24], 1);
    EXPECT_EQ(st.Memory[25], 0xFE);
    EXPECT_EQ(st.Memory[26], 255);
    EXPECT_EQ(WordAt(st, later), Load({.b = ZERO, .a = TOS, .offset = 900}));
    EXPECT_EQ(WordAt(st, later + 4), kHalt);
    EXPECT_EQ(WordAt(st, 900), later);
    EXPECT_EQ(st.PC, static_cast<int32_t>(later + 4)); // "start" in any case
    EXPECT_EQ(st.BreakpointMarks[later], 1);
    EXPECT_EQ(st.BreakpointMarks[8], 7);
    EXPECT_EQ(st.BreakpointMarks[1000], 255);
    int marks = 0;
    for (uint8_t m : st.BreakpointMarks)
        marks += m != 0;
    EXPECT_EQ(marks, 3);

    // Without "start:" PC is the first instruction, not the first data.
    EXPECT_EQ(Applied(Assemble(".word 5\n.org 40\nhalt\n")).PC, 40);
    EXPECT_EQ(Applied(Assemble(".byte 5\n")).PC, 0);
}

TEST(AsmLanguage, AssemblingReplacesMemoryAndMarksButKeepsTheRest) {
    MachineState st;
    st.Memory.fill(0xAA);
    st.BreakpointMarks.fill(1);
    st.DS[0] = 5;
    st.URD[3] = 6;
    st.FL = true;
    ApplyProgram(Assemble(".org 4\nhalt"), st);
    EXPECT_EQ(st.Memory[0], 0);
    EXPECT_EQ(st.Memory[4], 0xFF);
    EXPECT_EQ(st.Memory[8], 0);
    EXPECT_EQ(st.BreakpointMarks[0], 0);
    EXPECT_EQ(st.DS[0], 5);
    EXPECT_EQ(st.URD[3], 6);
    EXPECT_TRUE(st.FL);
    EXPECT_EQ(st.PC, 4);
}

// Every error: where it is reported and what it says; nothing is assembled.
TEST(AsmErrors, EachNamesItsLineColumnAndExpectation) {
    struct Case {
        const char* source;
        int line, column;
        const char* says;
    };
    const Case cases[] = {
        {"halt\n  ALU TOX, SOS, add", 2, 7,
         "неизвестный регистр 'TOX'; может быть, TOS? Ожидается одно из: TOS, SOS"},
        {"FOO 1", 1, 1, "неизвестная команда 'FOO'"},
        {".fill 3", 1, 1, "неизвестная директива '.fill'"},
        {"ALU TOS, SOS, mul", 1, 15, "неизвестная операция АЛУ 'mul'; ожидается одно из: nand"},
        {"ALU TOS, SOS, a, pushds, popds", 1, 26, "действие со стеком задано дважды"},
        {"ALU TOS, SOS, a, stack=push", 1, 24, "неизвестное действие со стеком 'push'"},
        {"ALU TOS, SOS, a, cond=maybe", 1, 23, "неизвестное условие"},
        {"ALU TOS, SOS, a, carry=4", 1, 24, "код переноса 4 вне допустимого диапазона"},
        {"ALU TOS, SOS, 128", 1, 15, "код операции АЛУ 128 вне допустимого диапазона"},
        {"ALU TOS, SOS, a, fast", 1, 18, "неизвестный параметр 'fast' команды ALU"},
        {"ALU TOS, SOS, a, nowrite", 1, 18, "неизвестный параметр 'nowrite'"},
        {"ALU TOS, SOS, a, ret, ret", 1, 23, "параметр ret задан дважды"},
        {"ALU TOS, SOS, a, setfl=2", 1, 24, "параметр setfl принимает значение 0 или 1"},
        {"ALU TOS, SOS", 1, 13, "нет операции АЛУ; ALU записывается так: ALU A, B, ОПЕРАЦИЯ"},
        {"ALU a=TOS, SOS, a", 1, 5, "ожидается регистр A"},
        {"SHIFT TOS, SOS, up, b+c", 1, 17, "неизвестное направление сдвига 'up'"},
        {"SHIFT TOS, SOS, shl, b*c", 1, 22, "неизвестная операция объединения"},
        {"SHIFT TOS, SOS, shl", 1, 20, "нет операции объединения"},
        {"LOAD TOS, ZERO, 65536", 1, 17, "смещение 65536 вне допустимого диапазона"},
        {"LOAD TOS, ZERO, -4", 1, 17, "смещение -4 вне допустимого диапазона"},
        {"SAVE TOS, ZERO, nowhere", 1, 17, "метка 'nowhere' не определена"},
        {"LAL a=TOS, a=SOS", 1, 12, "параметр a задан дважды"},
        {"LAH offset=1, offset=2", 1, 15, "параметр offset задан дважды"},
        {"CALL", 1, 5, "нет адреса перехода"},
        {"CALL 1, 2", 1, 9, "один операнд"},
        {"CALL 0x20000000", 1, 6, "адрес перехода 536870912 вне допустимого диапазона"},
        {"CALL 0x1G", 1, 6, "неправильное число '0x1G'"},
        {"CALL 0x100000000", 1, 6, "больше 32 битов"},
        {"CALL x y", 1, 8, "ожидается '+' или '-'"},
        {"CALL \"x\"", 1, 6, "ожидается число или метка"},
        {"halt 1", 1, 6, "у halt нет операндов"},
        {"ALU TOS, , a", 1, 10, "пустой операнд"},
        {"ALU TOS, SOS, \"A", 1, 15, "незакрытая кавычка"},
        {"ALU TOS, SOS, \"A\"x", 1, 15, "текст после закрывающей кавычки"},
        {"x: halt\nx: halt", 2, 1, "метка 'x' определена дважды (впервые в строке 1)"},
        {"9x: halt", 1, 1, "метка начинается с латинской буквы"},
        {".org 1001", 1, 6, "адрес 1001 вне допустимого диапазона"},
        {".org later\nlater:", 1, 6, "метка 'later' не определена выше этой строки"},
        {".org 998\nhalt", 2, 1, "не помещается в память: байты с 998 по 1001"},
        {".org 1000\n.byte 1, 2", 2, 10, "не помещается в память: байт 1001 лежит"},
        {".space 1002", 1, 8, "число байтов 1002 вне допустимого диапазона"},
        {".org 8\nhalt\n.org 10\nhalt", 4, 1, "перекрывает байты, записанные со строки 2"},
        {".word", 1, 6, "требует хотя бы одно значение"},
        {".word 4294967296", 1, 7, "больше 32 битов"},
        {".word -2147483649", 1, 7, "слово -2147483649 вне допустимого диапазона"},
        {".byte 256", 1, 7, "байт 256 вне допустимого диапазона"},
        {".break 0, 0", 1, 11, "значение отметки 0 вне допустимого диапазона"},
        {".break 1001", 1, 8, "адрес точки останова 1001 вне допустимого диапазона"},
        {".break 4\n.break 4, 2", 2, 8, "отмечена дважды (ещё в строке 1)"},
        {".break 1, 2, 3", 1, 14, "не больше двух операндов: адрес и значение отметки"},
        {".org", 1, 5, "принимает один операнд, адрес"},
        {"ALU TOS, SOS, \"A + перенос\", x=1", 1, 30,
         "неизвестный параметр 'x'"}, // columns count characters
    };
    for (const Case& c : cases) {
        const AssembleResult r = Assemble(c.source);
        ASSERT_FALSE(r.ok()) << c.source;
        EXPECT_TRUE(r.regions.empty() && r.marks.empty()) << c.source;
        const AsmError& e = r.errors.front();
        EXPECT_EQ(e.line, c.line) << c.source << ": " << e.message;
        EXPECT_EQ(e.column, c.column) << c.source << ": " << e.message;
        EXPECT_NE(e.message.find(c.says), std::string::npos) << c.source << ": " << e.message;
    }
    // Several errors are all reported, in line order.
    const AssembleResult r = Assemble("FOO\nhalt\nBAR\nCALL nowhere");
    ASSERT_EQ(r.errors.size(), 3u);
    EXPECT_EQ(FormatAsmError(r.errors[0]).rfind("строка 1, столбец 1: неизвестная команда", 0), 0u);
    EXPECT_EQ(r.errors[2].line, 4);
}

// The source map of every instruction form and directive: the spans and
// labels, and the map's answers against a plain scan of the expected spans.
TEST(AsmSourceMap, SpansLabelsAndLookups) {
    using K = AsmItemKind;
    struct Case {
        const char* source;
        std::vector<AsmSpan> spans;
        std::vector<AsmLabel> labels;
    };
    const Case cases[] = {
        {"CALL 0\nBRANCH 0\nBRANCH_C 0\nALU TOS, SOS, a\nSHIFT TOS, SOS, shl, b+c\n"
         "LOAD TOS, ZERO, 0\nSAVE ZERO, TOS, 0\nLAL\nLAH ret\nhalt",
         {{0, 4, 1, K::Instruction},
          {4, 4, 2, K::Instruction},
          {8, 4, 3, K::Instruction},
          {12, 4, 4, K::Instruction},
          {16, 4, 5, K::Instruction},
          {20, 4, 6, K::Instruction},
          {24, 4, 7, K::Instruction},
          {28, 4, 8, K::Instruction},
          {32, 4, 9, K::Instruction},
          {36, 4, 10, K::Instruction}},
         {}},
        {"; comment\n.org 8\nfirst: .word 1, first, 3\n.data -1\n.byte 1, 2\n.space 3\n"
         "empty:\n\nnext: .org 40\ntwo: Three: ALU TOS, SOS, a\n.break\n.space 0\n"
         ".org 100\n.byte 7",
         {{8, 4, 3, K::Word},
          {12, 4, 3, K::Word},
          {16, 4, 3, K::Word},
          {20, 4, 4, K::Data},
          {24, 1, 5, K::Byte},
          {25, 1, 5, K::Byte},
          {26, 3, 6, K::Space},
          {40, 4, 10, K::Instruction},
          {100, 1, 14, K::Byte}},
         {{"first", 8, 3}, {"empty", 29, 7}, {"next", 29, 9}, {"two", 40, 10}, {"Three", 40, 10}}},
        // Skipped bytes written later by an .org back; a label past the end.
        {".space 8\n.org 4\nhalt\n.org 998\n.space 3\nend:",
         {{0, 8, 1, K::Space}, {4, 4, 3, K::Instruction}, {998, 3, 5, K::Space}},
         {{"end", 1001, 6}}},
    };
    for (const Case& c : cases) {
        const AssembleResult r = Assemble(c.source);
        ASSERT_TRUE(r.ok()) << FormatAsmError(r.errors.front());
        ASSERT_EQ(r.spans.size(), c.spans.size()) << c.source;
        for (std::size_t i = 0; i < c.spans.size(); ++i) {
            EXPECT_EQ(r.spans[i].address, c.spans[i].address) << c.source << " #" << i;
            EXPECT_EQ(r.spans[i].size, c.spans[i].size) << c.source << " #" << i;
            EXPECT_EQ(r.spans[i].line, c.spans[i].line) << c.source << " #" << i;
            EXPECT_EQ(r.spans[i].kind, c.spans[i].kind) << c.source << " #" << i;
        }
        ASSERT_EQ(r.labels.size(), c.labels.size()) << c.source;
        for (std::size_t i = 0; i < c.labels.size(); ++i) {
            EXPECT_EQ(r.labels[i].name, c.labels[i].name) << c.source;
            EXPECT_EQ(r.labels[i].address, c.labels[i].address) << c.labels[i].name;
            EXPECT_EQ(r.labels[i].line, c.labels[i].line) << c.labels[i].name;
        }
        // Every written byte lies in exactly one span that is not skipped space.
        for (const AsmRegion& region : r.regions)
            for (uint32_t a = region.address; a < region.address + region.bytes.size(); ++a)
                EXPECT_EQ(std::count_if(c.spans.begin(), c.spans.end(),
                                        [a](const AsmSpan& s) {
                                            return s.kind != K::Space && a >= s.address &&
                                                   a - s.address < s.size;
                                        }),
                          1)
                    << c.source << " @" << a;

        const SourceMap map(r);
        for (uint32_t a = 0; a <= 1001; ++a) {
            int line = 0;
            for (const AsmSpan& s : c.spans)
                if (a >= s.address && a - s.address < s.size && (line == 0 || s.kind != K::Space))
                    line = s.line;
            EXPECT_EQ(map.LineAt(a), line) << c.source << " @" << a;
            std::vector<std::string> names;
            for (const AsmLabel& l : c.labels)
                if (l.address == a)
                    names.push_back(l.name);
            std::vector<std::string> got;
            for (const AsmLabel& l : map.LabelsAt(a))
                got.push_back(l.name);
            EXPECT_EQ(got, names) << c.source << " @" << a;
        }
        for (int line = 1; line <= 15; ++line) {
            std::optional<uint32_t> instruction, first;
            for (const AsmSpan& s : c.spans)
                if (s.line == line && s.kind != K::Space) {
                    if (!first)
                        first = s.address;
                    if (!instruction && s.kind == K::Instruction)
                        instruction = s.address;
                }
            EXPECT_EQ(map.InstructionOfLine(line), instruction) << c.source << " line " << line;
            EXPECT_EQ(map.FirstAddressOfLine(line), first) << c.source << " line " << line;
        }
    }
    // An error leaves no map.
    const AssembleResult bad = Assemble("x: halt\nFOO");
    EXPECT_TRUE(bad.spans.empty() && bad.labels.empty());
}

// Bytes changed by hand take their whole item out of the map; skipped space
// loses only the bytes changed.
TEST(AsmSourceMap, DroppedBytesLeaveTheMap) {
    SourceMap map(Assemble(".space 8\n.org 4\nhalt\n.org 20\n.word 1, 2\nALU TOS, SOS, a\n"
                           ".space 4"));
    map.DropBytes(5, 1);
    for (uint32_t a = 4; a < 8; ++a)
        EXPECT_EQ(map.LineAt(a), 0) << a; // not the .space under it either
    EXPECT_EQ(map.LineAt(3), 1);
    EXPECT_EQ(map.InstructionOfLine(3), std::nullopt);
    map.DropBytes(27, 3); // the second word and the instruction
    EXPECT_EQ(map.LineAt(20), 5);
    EXPECT_EQ(map.LineAt(24), 0);
    EXPECT_EQ(map.FirstAddressOfLine(5), 20u);
    EXPECT_EQ(map.InstructionOfLine(6), std::nullopt);
    map.DropBytes(33, 1);
    EXPECT_EQ(map.LineAt(32), 7);
    EXPECT_EQ(map.LineAt(33), 0);
    EXPECT_EQ(map.LineAt(34), 7);
}

// Where the tool and its guide disagreed, or a message misled: each source
// gives exactly the errors listed (none: it assembles), the first one at its
// line and column, saying what it says.
TEST(AsmErrors, ReportTheRealErrorOnlyAndSuggestANearName) {
    const std::string longName(1 << 20, 'X');
    struct Case {
        std::string source;
        std::size_t errors;
        int line, column;
        std::string says;
    };
    const Case cases[] = {
        // A byte-order mark before the first line is skipped.
        {"\xEF\xBB\xBFhalt", 0, 0, 0, ""},
        {"\xEF\xBB\xBF  ALU TOX, SOS, a", 1, 1, 7, "неизвестный регистр 'TOX'"},
        // The nearest known name, from the table that applies.
        {"LAOD TOS, ZERO, 0", 1, 1, 1, "неизвестная команда 'LAOD'; может быть, LOAD? Ожидается"},
        {".wrod 5", 1, 1, 1, "неизвестная директива '.wrod'; может быть, .word?"},
        {"ALU TOS, SOS, a+b+d", 1, 1, 15, "'a+b+d'; может быть, a+b+c?"},
        {"ALU TOS, SOS, a, popsd", 1, 1, 18,
         "неизвестный параметр 'popsd' команды ALU; может быть, popds?"},
        {"ALU TOS, SOS, a, cnd=z", 1, 1, 18, "'cnd' команды ALU; может быть, cond?"},
        {"ALU TOS, SOS, a, stack=\"Pop DX\"", 1, 1, 24, "'Pop DX'; может быть, \"Pop DS\"?"},
        {"loop: halt\nBRANCH lop", 1, 2, 8, "метка 'lop' не определена; может быть, loop?"},
        {"FOO", 1, 1, 1, "неизвестная команда 'FOO'; ожидается CALL"}, // nothing near
        // A long name is quoted in part.
        {longName, 1, 1, 1, "'" + std::string(40, 'X') + "…'; ожидается"},
        {"ALU TOS, SOS, a, stack=" + longName, 1, 1, 24, std::string(40, 'X') + "…'; ожидается"},
        // A bare number is a code; a list name that looks like a number is quoted.
        {"ALU TOS, SOS, -1", 1, 1, 15, "в кавычках: \"-1\""},
        {"ALU TOS, SOS, a, cond=+1", 1, 1, 23, "код условия '+1' со знаком"},
        {"ALU TOS, SOS, \"-1\"", 0, 0, 0, ""},
        // A bad item writes nothing, so going back over it overlaps nothing.
        {"CALL 0x20000000\n.org 0\nhalt", 1, 1, 6, "адрес перехода 536870912 вне"},
        {"ALU TOX, SOS, a\n.org 0\nhalt", 1, 1, 5, "неизвестный регистр"},
        {".word 1, nowhere, 3\n.org 4\nhalt", 1, 1, 10, "метка 'nowhere' не определена"},
        // ...but keeps its addresses: the labels after it are where they will be.
        {"ALU TOX, SOS, a\nx: .org 2\n.byte 128 - x - 256", 2, 1, 5, "неизвестный регистр"},
        // A label with letters outside ASCII is a label; its line still assembles.
        {"Привет: LAL\n.org 0\nhalt", 2, 1, 1,
         "в имени метки 'Привет' есть буквы не из латинского"},
    };
    for (const Case& c : cases) {
        const std::string shown = c.source.substr(0, 60);
        const AssembleResult r = Assemble(c.source);
        if (r.errors.size() != c.errors) {
            ADD_FAILURE() << shown << ": " << r.errors.size() << " errors"
                          << (r.ok() ? "" : ", the first: " + FormatAsmError(r.errors.front()));
            continue;
        }
        if (c.errors == 0)
            continue;
        const AsmError& e = r.errors.front();
        EXPECT_EQ(e.line, c.line) << shown << ": " << e.message;
        EXPECT_EQ(e.column, c.column) << shown << ": " << e.message;
        EXPECT_NE(e.message.find(c.says), std::string::npos) << shown << ": " << e.message;
        EXPECT_LT(e.message.size(), 1000u) << shown;
    }
    // The second errors of the last two: x is 4, so the byte is -132; LAL
    // took bytes 0 to 3.
    EXPECT_NE(Assemble(cases[std::size(cases) - 2].source).errors[1].message.find("-132"),
              std::string::npos);
    EXPECT_NE(Assemble(cases[std::size(cases) - 1].source).errors[1].message.find("строки 1"),
              std::string::npos);
}

// The guide lists shift direction 3 as "3".
TEST(AsmRoundTrip, DirectionThreeIsWrittenAsTheGuideShowsIt) {
    EXPECT_EQ(Disassemble(Shift({.b = SOS, .a = TOS, .dir = NoShift3})), "SHIFT TOS, SOS, 3, b+c");
}

// Any memory, marks and PC written as text assemble back byte for byte.
TEST(AsmMemoryText, RandomImagesRoundTrip) {
    std::mt19937 rng(7);
    for (int n = 0; n < 150; ++n) {
        MachineState st;
        const unsigned density = rng() % 101; // percent of non-zero bytes
        for (auto& b : st.Memory)
            b = rng() % 100 < density ? static_cast<uint8_t>(rng()) : 0;
        for (auto& m : st.BreakpointMarks)
            m = rng() % 20 == 0 ? static_cast<uint8_t>(rng() % 255 + 1) : 0;
        st.PC = static_cast<int32_t>(rng() % 1001);
        const std::string text = MemoryAsSource(st);
        const AssembleResult r = Assemble(text);
        ASSERT_TRUE(r.ok()) << FormatAsmError(r.errors.front()) << "\n" << text;
        const MachineState back = Applied(r);
        ASSERT_EQ(back.Memory, st.Memory);
        ASSERT_EQ(back.BreakpointMarks, st.BreakpointMarks);
        ASSERT_EQ(back.PC, st.PC);
    }
}

TEST(AsmMemoryText, ListingShowsWordsMarksAndSkipsEmptyBlocks) {
    MachineState st;
    ApplyProgram(Assemble(".org 8\n.break\nALU TOS, SOS, a+b+c, popds\n.break 14, 3\n"
                          ".org 1000\n.byte 0xAB"),
                 st);
    const std::string listing = ListMemory(st);
    std::istringstream in(listing);
    std::vector<std::string> rows;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != ';' && line != "...")
            rows.push_back(line);
    ASSERT_EQ(rows.size(), 3u) << listing;
    EXPECT_EQ(rows[0].rfind("00000008  61 01 00 4F  ALU TOS, SOS, a+b+c, popds", 0), 0u);
    EXPECT_NE(rows[0].find("; break"), std::string::npos);
    EXPECT_NE(rows[1].find("0000000C  00 00 00 00"), std::string::npos);
    EXPECT_NE(rows[1].find("break+2=3"), std::string::npos);
    EXPECT_EQ(rows[2].rfind("000003E8  AB", 0), 0u);
}

TEST(AsmWords, LongListsGoBeyondMemory) {
    std::string source;
    std::vector<uint32_t> expected;
    for (uint32_t i = 0; i < 3000; ++i) {
        source += "loop" + std::to_string(i) + ": BRANCH loop" + std::to_string(i) + "\n";
        expected.push_back(Branch(4 * i));
    }
    EXPECT_EQ(AssembleWords(source), expected);
    std::vector<AsmError> errors;
    EXPECT_TRUE(AssembleWords(source + "FOO", &errors).empty());
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_FALSE(Assemble(source).ok()); // memory holds 1001 bytes
}

// The example programs state their final state in "; expect:" lines.
class Examples : public ::testing::TestWithParam<std::string> {};

TEST_P(Examples, RunToTheirStatedState) {
    const std::string path = std::string(KOVAR_EXAMPLES) + "/" + GetParam();
    MachineState st;
    std::ifstream source(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(source), {}};
    const AssembleResult program = Assemble(text);
    ASSERT_TRUE(program.ok()) << GetParam();
    ApplyProgram(program, st);
    TraceLog log;
    Processor cpu(st, log);
    const RunReport report = cpu.RunPrg();
    EXPECT_TRUE(report.halt) << GetParam();

    std::ifstream in(path);
    int checks = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("; expect:", 0) != 0)
            continue;
        std::istringstream items(line.substr(9));
        for (std::string item; items >> item;) {
            const auto eq = item.find('=');
            ASSERT_NE(eq, std::string::npos) << item;
            const std::string key = item.substr(0, eq);
            const auto want = static_cast<uint32_t>(std::stoll(item.substr(eq + 1), nullptr, 0));
            uint32_t got = 0;
            if (key.rfind("DATA@", 0) == 0)
                got = st.ReadDataWord(static_cast<uint32_t>(std::stoul(key.substr(5))));
            else if (key.rfind("URD", 0) == 0)
                got = static_cast<uint32_t>(st.URD.at(std::stoul(key.substr(3))));
            else if (key.rfind("DS", 0) == 0)
                got = static_cast<uint32_t>(st.DS.at(std::stoul(key.substr(2))));
            else if (key.rfind("RS", 0) == 0)
                got = static_cast<uint32_t>(st.RS.at(std::stoul(key.substr(2))));
            else if (key == "PC")
                got = static_cast<uint32_t>(st.PC);
            else if (key == "FL")
                got = st.FL ? 1 : 0;
            else
                FAIL() << "unknown key " << key;
            EXPECT_EQ(got, want) << GetParam() << ": " << key;
            ++checks;
        }
    }
    EXPECT_GT(checks, 0) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(All, Examples,
                         ::testing::Values("sum.kasm", "subroutine.kasm", "count.kasm", "copy.kasm",
                                           "multiply.kasm"),
                         [](const auto& info) {
                             return info.param.substr(0, info.param.find('.'));
                         });

} // namespace
