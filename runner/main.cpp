// kovar3-run: executes memory images without windows; prints the trace of
// one image, checks many against expected values, or makes an expectation
// file from a model solution (`--help` tells all).
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
#include "make_expect.h"
#include "memory_image.h"
#include "options.h"
#include "processor.h"
#include "report.h"
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

// Loads the one program of the single-image forms. A failure to open is a
// usage error of the runner; a memory image of the wrong length loads, and
// the user is told.
bool loadOne(const std::string& name, MachineState& state) {
    bool openFailed = false;
    ErrorHandler previous = SetErrorHandler([&](std::string_view message) {
        openFailed = true;
        writeErr("kovar3-run: " + std::string(message) + "\n");
    });
    uint64_t bytes = kImageSize;
    LoadProgram(state, name, &bytes);
    SetErrorHandler(previous);
    if (!openFailed && bytes != kImageSize)
        writeErr("kovar3-run: " + ImageSizeWarning(name, bytes) + "\n");
    return !openFailed;
}

// One image: for each test (one in the plain form) its trace, optionally its
// state, its differences from the expected values; then a save.
int runSingle(const Options& o, const TestFile& file) {
    SetErrorHandler([](std::string_view message) {
        std::fflush(stdout);
        writeErr(std::string(message) + "\n");
    });
    MachineState loaded;
    if (!loadOne(o.images.front(), loaded))
        return kUsage;

    TraceLog log;
    log.setEnabled(!o.noTrace);
    log.setSink(writeLine);
    bool differs = false;
    MachineState state;
    for (const TestCase& test : file.tests) {
        if (file.cases)
            writeLine("[case " + test.name + "]");
        state = StartOfTest(loaded, o.settings, file, test);
        Processor cpu(state, log);
        RunProgram(cpu, o.settings);
        if (o.state)
            writeState(state);
        for (const Mismatch& m : CheckExpectations(state, test.expected)) {
            writeLine(m.text());
            differs = true;
        }
    }

    int code = finishOutput(differs ? kDiffers : kOk);
    if (o.saveGiven && !SaveDmp(state, o.saveFile))
        code = kFailed;
    return code;
}

// Many images: rows (text or CSV) as each image is done, or one JSON document.
int runBatch(const Options& o, const TestFile& file) {
    std::vector<ImageResult> results;
    bool allPass = true;
    if (o.report == Report::Csv)
        writeOut(CsvHeader());
    for (const std::string& image : o.images) {
        ImageResult r = CheckImage(image, o.settings, file);
        allPass = allPass && r.pass();
        if (o.report == Report::Json)
            results.push_back(std::move(r));
        else if (o.report == Report::Csv)
            writeOut(CsvRows(r));
        else
            writeOut(TextRows(r, file.cases));
    }
    if (o.report == Report::Json)
        writeOut(JsonReport(results));
    return finishOutput(allPass ? kOk : kDiffers);
}

// A model solution's final state as an expectation file.
int makeExpect(const Options& o, const TestFile& file) {
    MachineState loaded;
    if (!loadOne(o.makeExpectFile, loaded))
        return kUsage;
    // The options the check needs to repeat the same runs.
    std::string options;
    const auto add = [&](const std::string& option) {
        if (!options.empty())
            options += ' ';
        options += option;
    };
    if (o.settings.step)
        add("--step " + std::to_string(o.settings.steps));
    if (o.limitGiven)
        add("--limit " + std::to_string(o.settings.limit));
    if (o.settings.fl)
        add("--fl");
    if (o.settings.fresh && !file.cases)
        add("--fresh");
    writeOut(MakeExpectations(o.makeExpectFile, loaded, o.settings, file, options));
    return finishOutput(kOk);
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

    TestFile file;
    if (o.expectGiven && !ReadTestFile(o.expectFile, file, error))
        return usageError(error);
    if (o.makeExpectGiven)
        return makeExpect(o, file);
    return o.batch() ? runBatch(o, file) : runSingle(o, file);
}
