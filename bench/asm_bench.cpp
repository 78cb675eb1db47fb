// Speed of the assembler and the disassembler: 100,000 lines of program text
// to words, and single words to text.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "assembler.h"
#include "disassembler.h"

namespace {

using namespace kovar;

// 100,000 lines as a course program would have them: labels, comments, every
// class, names and numbers, branches forward and back.
std::string HundredThousandLines() {
    static const char* const body[] = {
        "        LOAD  TOS, ZERO, n, pushds          ; push N",
        "        ALU   TOS, SOS, a+b+c, popds",
        "        ALU   SOS, ZERO, a-~c, cond=nz, setfl",
        "        SHIFT UDR1, UDR1, shl, b+c, flout",
        "        SAVE  UDR0, TOS, 0x40, popds",
        "        ALU   UDR0, UDR2, \"A + B + перенос\", carry=c1",
        "        LAL",
        "        CALL  sub",
        "        BRANCH_C loop",
    };
    std::string text;
    text.reserve(6 << 20);
    text += "n:      .data 10                    ; LOAD offsets reach 16 bits only\n";
    int line = 1;
    for (int block = 0; line < 100000; ++block) {
        const std::string n = std::to_string(block);
        text += "loop" + n + ":\n";
        ++line;
        for (const char* l : body) {
            std::string s = l;
            if (const auto p = s.find("sub"); p != std::string::npos)
                s.replace(p, 3, "sub" + n);
            if (const auto p = s.find("C loop"); p != std::string::npos)
                s.replace(p + 2, 4, "loop" + n);
            text += s + "\n";
            ++line;
        }
        text += "sub" + n + ": ALU TOS, TOS, a+b+c, ret\n";
        text += "        .data " + std::to_string(block * 7) + "\n";
        line += 2;
    }
    return text;
}

void BM_Assemble100kLines(benchmark::State& state) {
    const std::string text = HundredThousandLines();
    std::size_t words = 0;
    std::vector<AsmError> errors;
    for (auto _ : state) {
        const std::vector<uint32_t> w = AssembleWords(text, &errors);
        words = w.size();
        benchmark::DoNotOptimize(w.data());
    }
    if (!errors.empty())
        state.SkipWithError(FormatAsmError(errors.front()).c_str());
    state.counters["words"] = static_cast<double>(words);
    state.counters["lines/s"] =
        benchmark::Counter(100000.0, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Assemble100kLines)->Unit(benchmark::kMillisecond);

// What the simulator asks after every Step: the line of PC in a program of
// 10,000 lines, and the address of a line's instruction.
void BM_SourceMapLookup(benchmark::State& state) {
    std::string text;
    for (int i = 0; i < 10000; ++i) {
        if (i % 5 == 4) {
            text += "        .word 1, 2   ; data\n";
            continue;
        }
        text += 'l';
        text += std::to_string(i);
        text += ": LAL\n";
    }
    const AssembleResult program = Assemble(text, AsmBound::Unbounded);
    if (!program.ok())
        state.SkipWithError(FormatAsmError(program.errors.front()).c_str());
    const SourceMap map(program);
    uint32_t pc = 12345;
    int line = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(map.LineAt(pc % 48000));
        benchmark::DoNotOptimize(map.InstructionOfLine(line));
        pc = pc * 1664525u + 1013904223u;
        line = line % 10000 + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SourceMapLookup);

void BM_DisassembleWord(benchmark::State& state) {
    std::mt19937 rng(1);
    std::vector<uint32_t> words(1 << 16);
    for (auto& w : words)
        w = static_cast<uint32_t>(rng());
    char buf[kMaxDisassemblyLength];
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(DisassembleTo(words[i++ & 0xFFFF], buf));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DisassembleWord);

void BM_DisassembleString(benchmark::State& state) {
    uint32_t w = 0x9E37'79B9u;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Disassemble(w));
        w = w * 1664525u + 1013904223u;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DisassembleString);

void BM_RoundTripWord(benchmark::State& state) {
    uint32_t w = 12345;
    bool ok = true;
    for (auto _ : state) {
        uint32_t back = 0;
        ok &= AssembleOne(Disassemble(w), back) && back == w;
        w = w * 1664525u + 1013904223u;
    }
    if (!ok)
        state.SkipWithError("a word did not come back");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RoundTripWord);

} // namespace
