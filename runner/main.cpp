// kovar3-run: executes memory images without windows; prints the trace of
// one image, or checks many against expected values (`--help` tells all).
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "atomic_file.h"
#include "check.h"
#include "expect.h"
#include "file_platform.h"
#include "hex_op.h"
#include "load_program.h"
#include "memory_image.h"
#include "options.h"
#include "processor.h"
#include "show_error.h"

#ifndef KOVAR_VERSION
#define KOVAR_VERSION "3.0"
#endif

namespace {

using namespace kovar;
using namespace kovar::runner;

// Exit codes.
constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int kDiffers = 3;

void writeErr(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

int usageError(const std::string& message) {
    writeErr("kovar3-run: " + message + "\n");
    return kUsage;
}

void writeOut(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

void writeLine(std::string_view line) {
    writeOut(line);
    std::fputc('\n', stdout);
}

// Everything written to standard output must have arrived: a full disk or a
// closed file turns a success into a failure with a message.
int finishOutput(int code) {
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const int err = errno != 0 ? errno : EIO;
        writeErr("kovar3-run: Ошибка записи файла: стандартный вывод\n" +
                 FileErrorCause(err, true) + "\n");
        return kFailed;
    }
    return code;
}

std::string words(const int32_t* w, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) {
        if (i)
            s += ' ';
        s += Hex8(static_cast<uint32_t>(w[i]));
    }
    return s;
}

void writeState(const MachineState& state) {
    std::string out;
    out += "PC: " + Hex8(static_cast<uint32_t>(state.PC)) + "\n";
    out += "IR: " + state.IR.text() + "\n";
    out += std::string("FL: ") + (state.FL ? "1" : "0") + "\n";
    out += std::string("C: ") + (state.C ? "1" : "0") + "\n";
    out += "DS: " + words(state.DS.data(), kStackDepth) + "\n";
    out += "RS: " + words(state.RS.data(), kStackDepth) + "\n";
    out += "URD: " + words(state.URD.data(), kUserRegisters) + "\n";
    writeOut(out);
}

// One image: its trace, optionally its state, its differences from the
// expected values and a save.
int runSingle(const Options& o, const std::vector<Expectation>& expected) {
    MachineState state;
    bool openFailed = false;
    SetErrorHandler([](std::string_view message) {
        std::fflush(stdout);
        writeErr(std::string(message) + "\n");
    });
    {
        // A failure to open is a usage error of the runner.
        ErrorHandler previous = SetErrorHandler([&](std::string_view message) {
            openFailed = true;
            writeErr("kovar3-run: " + std::string(message) + "\n");
        });
        LoadProgram(state, o.images.front());
        SetErrorHandler(previous);
    }
    if (openFailed)
        return kUsage;
    state.FL = o.settings.fl;

    TraceLog log;
    log.setEnabled(!o.noTrace);
    log.setSink(writeLine);
    Processor cpu(state, log);
    if (o.settings.step) {
        for (uint64_t n = 0; n < o.settings.steps; ++n)
            cpu.StepPrg();
    } else {
        cpu.RunPrg(o.settings.limit);
    }

    if (o.state)
        writeState(state);
    const std::vector<Mismatch> mismatches = CheckExpectations(state, expected);
    for (const Mismatch& m : mismatches)
        writeLine(m.text());

    int code = finishOutput(mismatches.empty() ? kOk : kDiffers);
    if (o.saveGiven && !SaveDmp(state, o.saveFile))
        code = kFailed;
    return code;
}

// Many images: one row each (or one JSON document), no trace.
int runBatch(const Options& o, const std::vector<Expectation>& expected) {
    std::vector<ImageResult> results;
    bool allPass = true;
    for (const std::string& image : o.images) {
        ImageResult r = CheckImage(image, o.settings, expected);
        allPass = allPass && r.pass();
        if (o.report == Report::Json)
            results.push_back(std::move(r));
        else
            writeLine(TextRow(r));
    }
    if (o.report == Report::Json)
        writeOut(JsonReport(results));
    return finishOutput(allPass ? kOk : kDiffers);
}

} // namespace

int main(int argc, char** argv) {
    // A file-size limit must make a write fail, not end the program.
    platform::KeepRunningPastFileSizeLimit();
    static char outBuffer[1 << 16];
    std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);

    Options o;
    std::string error;
    switch (ParseOptions(std::vector<std::string>(argv + 1, argv + argc), o, error)) {
    case Parsed::Help: writeOut(kHelpText); return finishOutput(kOk);
    case Parsed::Version: writeOut("kovar3-run " KOVAR_VERSION "\n"); return finishOutput(kOk);
    case Parsed::Error: return usageError(error);
    case Parsed::Run: break;
    }

    std::vector<Expectation> expected;
    if (o.expectGiven && !ReadExpectations(o.expectFile, expected, error))
        return usageError(error);
    return o.batch() ? runBatch(o, expected) : runSingle(o, expected);
}
