// The browser engine's commands through its C interface, natively: the
// figures that bench/engine_wasm_vs_native.sh sets beside the same commands
// of kovar-engine.wasm under Node (engine_bench.mjs).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "engine.h"

namespace {

// A fresh machine holding the loop, the trace switch as asked.
void prepare(bool traced) {
    std::ifstream in(KOVAR_ENGINE_LOOP, std::ios::binary);
    const std::string source((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    kovar_new();
    char* text = kovar_input(static_cast<uint32_t>(source.size()));
    source.copy(text, source.size());
    if (kovar_assemble(text, static_cast<uint32_t>(source.size()), 1) != 0)
        std::abort();
    kovar_set_trace(traced ? 1 : 0);
}

// Keeps the trace short, outside the timing: the figure is the step's own
// cost, not the system's for memory touched the first time (which dominates
// a growing trace on a loaded machine, natively and in WebAssembly alike).
void trimTrace(benchmark::State& state) {
    if (kovar_trace_count() > 200'000) {
        state.PauseTiming();
        kovar_clear_trace();
        state.ResumeTiming();
    }
}

// F7: one instruction per call.
void BM_EngineStep(benchmark::State& state) {
    prepare(false);
    for (auto _ : state)
        kovar_step();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EngineStep);

void BM_EngineStepTraced(benchmark::State& state) {
    prepare(true);
    for (auto _ : state) {
        kovar_step();
        trimTrace(state);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EngineStepTraced);

// F9: 1000 instructions per call (the loop reaches the step limit).
void BM_EngineRun(benchmark::State& state) {
    prepare(false);
    for (auto _ : state)
        kovar_run();
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_EngineRun);

// F9 traced, and the page's fetch of the lines it added.
void BM_EngineRunTraced(benchmark::State& state) {
    prepare(true);
    for (auto _ : state) {
        const uint32_t shown = kovar_trace_count();
        kovar_run();
        benchmark::DoNotOptimize(kovar_trace_since(shown));
        trimTrace(state);
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_EngineRunTraced);

} // namespace
