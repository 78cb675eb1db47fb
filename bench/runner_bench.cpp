// The teacher's check: kovar3-run with one expectation file and 1,000 images
// of 1,000 steps each, as a child process; the figure is the child's CPU
// time (user + system), which must stay below one second. The same with a
// file of 10 cases, each running 1,000 steps from its own inputs.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "machine_state.h"
#include "memory_image.h"

namespace {

using namespace kovar;
namespace fs = std::filesystem;

uint32_t word(unsigned cls, unsigned regB, unsigned regA, unsigned stack, unsigned low16) {
    return cls << 29 | regB << 24 | regA << 20 | stack << 16 | low16;
}

// A loop of LOAD, ALU, SAVE and a branch that adds one (with `add` false:
// nothing) to the word at 100: it never halts, so a Run ends at the limit of
// 1000 steps.
void writeImage(const std::string& name, uint32_t start, bool add = true) {
    constexpr unsigned ZERO = 14, TOS = 0, NOP = 8;
    MachineState st;
    st.WriteInstructionWord(0, word(4, ZERO, TOS, NOP, 100));
    st.WriteInstructionWord(4, word(3, ZERO, TOS, NOP, (add ? 1u << 8 : 0u) | 0x43u));
    st.WriteInstructionWord(8, word(5, TOS, ZERO, NOP, 100));
    st.WriteInstructionWord(12, word(1, 0, 0, 0, 0));
    st.WriteDataWord(100, start);
    const ImageBytes img = EncodeImage(st);
    std::ofstream(name, std::ios::binary)
        .write(reinterpret_cast<const char*>(img.data()), static_cast<std::streamsize>(img.size()));
}

struct Child {
    int code = -1;
    double cpuSeconds = 0;
};

Child run(const std::vector<std::string>& args, const std::string& out) {
    std::vector<char*> argv;
    std::vector<std::string> copy = args;
    for (auto& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::dup2(fd, 1) < 0)
            ::_exit(127);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    Child c;
    c.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const auto seconds = [](const timeval& t) {
        return double(t.tv_sec) + double(t.tv_usec) / 1e6;
    };
    c.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    return c;
}

// Argument 0: the report (0 text rows, 1 JSON, 2 CSV); argument 1: the
// number of cases (1: a plain expectation file, else a file of cases).
void BM_RunnerCheck1000Images(benchmark::State& state) {
    char pattern[] = "/tmp/kovar-bench-XXXXXX";
    if (!::mkdtemp(pattern)) {
        state.SkipWithError("no temp dir");
        return;
    }
    const fs::path dir = pattern;
    constexpr int kImages = 1000;
    const int format = static_cast<int>(state.range(0));
    const int cases = static_cast<int>(state.range(1));
    // After 1000 steps the loop has stored 250 increments. Plain: images
    // starting at an even number expect 1250 and pass, the odd ones fail.
    // Cases: each case starts the word at its own number; the odd images
    // add nothing and fail every case.
    std::ofstream expect((dir / "expect.txt").string());
    if (cases == 1) {
        expect << "PC = 0\nW[100] = 1250\n";
    } else {
        for (int c = 0; c < cases; ++c)
            expect << "[case c" << c << "]\nset W[100] = " << 100 * c
                   << "\nexpect PC = 0\nexpect W[100] = " << 100 * c + 250 << "\n";
    }
    expect.close();
    std::vector<std::string> args = {KOVAR3_RUN, "--expect", (dir / "expect.txt").string()};
    const char* const kFormats[] = {"text", "json", "csv"};
    if (format != 0)
        args.insert(args.end(), {"--report", kFormats[format]});
    for (int i = 0; i < kImages; ++i) {
        const std::string name = (dir / ("student" + std::to_string(i) + ".emu")).string();
        if (cases == 1)
            writeImage(name, i % 2 == 0 ? 1000 : 1001);
        else
            writeImage(name, 0, i % 2 == 0);
        args.push_back(name);
    }
    const std::string out = (dir / "rows.txt").string();

    double cpu = 0;
    for (auto _ : state) {
        const Child c = run(args, out);
        if (c.code != 3) {
            state.SkipWithError("the runner did not report the failing images");
            break;
        }
        cpu = c.cpuSeconds;
        state.SetIterationTime(c.cpuSeconds);
    }
    // One passing row (one passing case in JSON) per even image and case.
    std::ifstream rows(out);
    const char* const passing[] = {"\t1000\tlimit\tPASS\t0",
                                   "\"steps\": 1000, \"stop\": \"limit\", \"pass\": true",
                                   ",1000,limit,PASS,0,"};
    int passed = 0;
    for (std::string line; std::getline(rows, line);)
        passed += line.find(passing[format]) != std::string::npos &&
                  (format != 1 || line.find("{\"name\": ") != std::string::npos);
    if (passed != kImages / 2 * cases)
        state.SkipWithError("unexpected rows");
    state.counters["cpu_seconds"] = cpu;
    state.counters["steps_per_second"] = benchmark::Counter(
        double(kImages) * 1000 * cases * double(state.iterations()), benchmark::Counter::kIsRate);
    fs::remove_all(dir);
}
BENCHMARK(BM_RunnerCheck1000Images)
    ->ArgNames({"report", "cases"})
    ->ArgsProduct({{0, 1, 2}, {1, 10}})
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
