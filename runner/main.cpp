// kovar3-run: executes a memory image without windows and prints its trace.
//
//   kovar3-run [--step N | --run] [--limit N] [--fl] [--no-trace] [--state]
//              [--save FILE] IMAGE
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "hex_op.h"
#include "memory_image.h"
#include "processor.h"
#include "show_error.h"

namespace {

using namespace kovar;

constexpr const char* kUsage =
    "usage: kovar3-run [--step N | --run] [--limit N] [--fl] [--no-trace] [--state] "
    "[--save FILE] IMAGE";

struct Options {
    bool run = false;
    bool step = false;
    uint64_t steps = 0;
    bool limitGiven = false;
    uint64_t limit = kDefaultStepLimit;
    bool fl = false;
    bool noTrace = false;
    bool state = false;
    bool saveGiven = false;
    std::string saveFile;
    std::vector<std::string> images;
};

int usageError(const std::string& message) {
    std::fprintf(stderr, "kovar3-run: %s\n", message.c_str());
    return 2;
}

// Decimal digits only, no sign, no blanks; at most 2^64 - 1.
enum class Number { Ok, Malformed, TooLarge };
Number parseNumber(const char* text, uint64_t& out) {
    if (text == nullptr || *text == '\0')
        return Number::Malformed;
    uint64_t v = 0;
    bool tooLarge = false;
    for (const char* c = text; *c; ++c) {
        if (*c < '0' || *c > '9')
            return Number::Malformed;
        const auto d = static_cast<uint64_t>(*c - '0');
        if (v > (UINT64_MAX - d) / 10)
            tooLarge = true;
        else
            v = v * 10 + d;
    }
    if (tooLarge)
        return Number::TooLarge;
    out = v;
    return Number::Ok;
}

int numberError(const char* option, Number result) {
    return usageError(std::string(option) + (result == Number::TooLarge
                                                 ? " needs a number below 18446744073709551616"
                                                 : " needs a decimal number"));
}

void writeLine(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
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

} // namespace

int main(int argc, char** argv) {
    // A file-size limit must make a write fail, not end the program.
    std::signal(SIGXFSZ, SIG_IGN);

    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto needValue = [&](std::string_view) -> const char* {
            return i + 1 < argc ? argv[++i] : nullptr;
        };
        if (arg == "--run") {
            if (o.run)
                return usageError("--run given twice");
            o.run = true;
        } else if (arg == "--step") {
            if (o.step)
                return usageError("--step given twice");
            o.step = true;
            if (const Number r = parseNumber(needValue(arg), o.steps); r != Number::Ok)
                return numberError("--step", r);
        } else if (arg == "--limit") {
            if (o.limitGiven)
                return usageError("--limit given twice");
            o.limitGiven = true;
            if (const Number r = parseNumber(needValue(arg), o.limit); r != Number::Ok)
                return numberError("--limit", r);
        } else if (arg == "--fl") {
            if (o.fl)
                return usageError("--fl given twice");
            o.fl = true;
        } else if (arg == "--no-trace") {
            if (o.noTrace)
                return usageError("--no-trace given twice");
            o.noTrace = true;
        } else if (arg == "--state") {
            if (o.state)
                return usageError("--state given twice");
            o.state = true;
        } else if (arg == "--save") {
            if (o.saveGiven)
                return usageError("--save given twice");
            o.saveGiven = true;
            const char* v = needValue(arg);
            if (!v)
                return usageError("--save needs a file name");
            o.saveFile = v;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option " + std::string(arg) + "; " + kUsage);
        } else {
            o.images.emplace_back(arg);
        }
    }
    if (o.run && o.step)
        return usageError("--step and --run exclude each other");
    if (o.images.size() != 1)
        return usageError(o.images.empty() ? std::string("no image given; ") + kUsage
                                           : std::string("more than one image given"));

    static char outBuffer[1 << 16];
    std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);

    MachineState state;
    bool openFailed = false;
    SetErrorHandler([](std::string_view message) {
        std::fflush(stdout);
        std::fwrite(message.data(), 1, message.size(), stderr);
        std::fputc('\n', stderr);
        std::fflush(stderr);
    });
    {
        // A failure to open is a usage error of the runner.
        ErrorHandler previous = SetErrorHandler([&](std::string_view message) {
            openFailed = true;
            std::fprintf(stderr, "kovar3-run: %.*s\n", static_cast<int>(message.size()),
                         message.data());
        });
        LoadDmp(state, o.images.front());
        SetErrorHandler(previous);
    }
    if (openFailed)
        return 2;
    state.FL = o.fl;

    TraceLog log;
    log.setEnabled(!o.noTrace);
    log.setSink(writeLine);
    Processor cpu(state, log);
    if (o.step) {
        for (uint64_t n = 0; n < o.steps; ++n)
            cpu.StepPrg();
    } else {
        cpu.RunPrg(o.limit);
    }

    if (o.state) {
        std::string out;
        out += "PC: " + Hex8(static_cast<uint32_t>(state.PC)) + "\n";
        out += "IR: " + state.IR.text() + "\n";
        out += std::string("FL: ") + (state.FL ? "1" : "0") + "\n";
        out += std::string("C: ") + (state.C ? "1" : "0") + "\n";
        out += "DS: " + words(state.DS.data(), kStackDepth) + "\n";
        out += "RS: " + words(state.RS.data(), kStackDepth) + "\n";
        out += "URD: " + words(state.URD.data(), kUserRegisters) + "\n";
        std::fwrite(out.data(), 1, out.size(), stdout);
    }
    std::fflush(stdout);

    if (o.saveGiven && !SaveDmp(state, o.saveFile))
        return 1;
    return 0;
}
