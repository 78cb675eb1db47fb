// Speed and memory figures of the processor core and the headless runner.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "history.h"
#include "machine_state.h"
#include "processor.h"
#include "trace_log.h"

namespace {

using namespace kovar;

uint32_t word(unsigned cls, unsigned regB, unsigned regA, unsigned stack, unsigned low16) {
    return cls << 29 | regB << 24 | regA << 20 | stack << 16 | low16;
}

// A loop mixing LOAD, ALU, SAVE and a branch: increments the word at 100.
void loadLoop(MachineState& st) {
    constexpr unsigned ZERO = 14, TOS = 0, NOP = 8;
    const uint32_t program[] = {
        word(4, ZERO, TOS, NOP, 100),               // LOAD TOS <- [100]
        word(3, ZERO, TOS, NOP, (1u << 8) | 0x43u), // ALU TOS := TOS + carry(1)
        word(5, TOS, ZERO, NOP, 100),               // SAVE [100] <- TOS
        word(1, 0, 0, 0, 0),                        // BRANCH 0
    };
    for (unsigned i = 0; i < 4; ++i)
        st.WriteInstructionWord(4 * i, program[i]);
}

void BM_StepTraceOff(benchmark::State& state) {
    MachineState st;
    loadLoop(st);
    TraceLog log;
    log.setEnabled(false);
    Processor cpu(st, log);
    for (auto _ : state)
        cpu.StepPrg();
    benchmark::DoNotOptimize(st.Memory[100]);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StepTraceOff);

void BM_StepTraceOn(benchmark::State& state) {
    MachineState st;
    loadLoop(st);
    TraceLog log;
    Processor cpu(st, log);
    for (auto _ : state) {
        cpu.StepPrg();
        if (log.size() > 20'000'000) { // keep the process small on long runs
            state.PauseTiming();
            log.Clear();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StepTraceOn);

// The same steps with the step-back journal attached (trace off and on), to
// compare with BM_StepTraceOff and BM_StepTraceOn; and the journal's bytes
// per recorded instruction, held at its full depth.
void BM_StepTraceOffHistory(benchmark::State& state) {
    MachineState st;
    loadLoop(st);
    TraceLog log;
    log.setEnabled(false);
    History history;
    Processor cpu(st, log);
    cpu.setHistory(&history);
    for (auto _ : state)
        cpu.StepPrg();
    benchmark::DoNotOptimize(st.Memory[100]);
    state.SetItemsProcessed(state.iterations());
    state.counters["bytes_per_instruction"] =
        static_cast<double>(history.memoryBytes()) / static_cast<double>(history.size());
}
BENCHMARK(BM_StepTraceOffHistory);

void BM_StepTraceOnHistory(benchmark::State& state) {
    MachineState st;
    loadLoop(st);
    TraceLog log;
    History history;
    Processor cpu(st, log);
    cpu.setHistory(&history);
    for (auto _ : state) {
        cpu.StepPrg();
        if (log.size() > 20'000'000) {
            state.PauseTiming();
            log.Clear();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StepTraceOnHistory);

// Ten million trace lines: bytes held beyond the text itself, per line.
void BM_TraceLogMemory(benchmark::State& state) {
    const std::size_t lines = 10'000'000;
    for (auto _ : state) {
        TraceLog log;
        std::size_t text = 0;
        const std::string_view samples[] = {"ALU",
                                            "SOS: 00000003",
                                            "TOS: 00000002",
                                            "Pop DS",
                                            "Carry:0",
                                            "PC: 00000000 IR: 6101004F "
                                            "01100001000000010000000001001111"};
        for (std::size_t i = 0; i < lines; ++i) {
            const std::string_view s = samples[i % 6];
            log.Debug(s);
            text += s.size();
        }
        state.counters["overhead_bytes_per_line"] =
            static_cast<double>(log.memoryBytes() - text) / static_cast<double>(lines);
        state.counters["text_bytes_per_line"] =
            static_cast<double>(text) / static_cast<double>(lines);
    }
}
BENCHMARK(BM_TraceLogMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

// The headless runner on a looping image, trace off: steps per second of the
// whole process, to compare with BM_StepTraceOff.
void BM_RunnerNoTrace(benchmark::State& state) {
    char dir[] = "/tmp/kovar-bench-XXXXXX";
    if (!::mkdtemp(dir)) {
        state.SkipWithError("no temp dir");
        return;
    }
    const std::string image = std::string(dir) + "/loop.emu";
    {
        MachineState st;
        loadLoop(st);
        std::ofstream out(image, std::ios::binary);
        out.write(reinterpret_cast<const char*>(st.Memory.data()), st.Memory.size());
    }
    const long long steps = 100'000'000;
    const std::string cmd = std::string(KOVAR3_RUN) + " --no-trace --limit " +
                            std::to_string(steps) + " " + image + " >/dev/null 2>&1";
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0) {
            state.SkipWithError("runner failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * steps);
    std::remove(image.c_str());
    ::rmdir(dir);
}
BENCHMARK(BM_RunnerNoTrace)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
