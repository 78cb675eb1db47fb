// kovar3-asm: assembles program text into a memory image, and shows an image
// as a listing or as program text.
#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "assembler.h"
#include "atomic_file.h"
#include "disassembler.h"
#include "file_platform.h"
#include "memory_image.h"
#include "show_error.h"

namespace {

using namespace kovar;

constexpr const char* kUsage =
    "usage: kovar3-asm SOURCE [-o IMAGE.emu]\n"
    "       kovar3-asm -d [--source] IMAGE.emu\n"
    "       kovar3-asm --help\n"
    "\n"
    "  SOURCE -o IMAGE.emu  assemble SOURCE into a memory image (stacks and registers\n"
    "                       zero, PC at the label start: or the first instruction);\n"
    "                       without -o the source is only checked\n"
    "  -d IMAGE.emu         print a listing of the image's non-zero memory: address,\n"
    "                       bytes, instruction and breakpoint marks\n"
    "  -d --source IMAGE    print program text that assembles back to the image's\n"
    "                       memory, breakpoint marks and PC\n"
    "\n"
    "Exit status: 0 done, 1 errors in the source (each on standard error as\n"
    "\"SOURCE: строка L, столбец C: message\"), 2 usage or file error (also when\n"
    "standard output cannot be written).\n";

int UsageError(const std::string& message) {
    std::fprintf(stderr, "kovar3-asm: %s\n%s", message.c_str(), kUsage);
    return 2;
}

// Writes text to standard output; everything must arrive, or the program
// fails with a message (a full disk, a closed pipe).
int WriteOut(std::string_view text) {
    errno = 0;
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const int err = errno != 0 ? errno : EIO;
        std::fprintf(stderr, "kovar3-asm: Ошибка записи файла: стандартный вывод\n%s\n",
                     FileErrorCause(err, true).c_str());
        return 2;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // A file-size limit must make a write fail (and its temporary file be
    // removed), not end the program.
    platform::KeepRunningPastFileSizeLimit();
    bool disassemble = false, source = false, help = false;
    std::string output;
    bool outputGiven = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            help = true;
        } else if (arg == "-d") {
            if (disassemble)
                return UsageError("-d given twice");
            disassemble = true;
        } else if (arg == "--source") {
            if (source)
                return UsageError("--source given twice");
            source = true;
        } else if (arg == "-o") {
            if (outputGiven)
                return UsageError("-o given twice");
            if (i + 1 >= argc)
                return UsageError("-o needs a file name");
            outputGiven = true;
            output = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option " + std::string(arg));
        } else {
            files.emplace_back(arg);
        }
    }
    if (help)
        return WriteOut(kUsage);
    if (files.size() != 1)
        return UsageError(files.empty() ? "no input file" : "more than one input file");
    if (source && !disassemble)
        return UsageError("--source goes with -d");
    if (disassemble && outputGiven)
        return UsageError("-o does not go with -d");

    // File failures of the image functions come through ShowError.
    SetErrorHandler([](std::string_view message) {
        std::fprintf(stderr, "kovar3-asm: %.*s\n", static_cast<int>(message.size()),
                     message.data());
    });

    const std::string& input = files.front();
    if (disassemble) {
        MachineState state;
        if (!LoadDmp(state, input))
            return 2;
        return WriteOut(source ? MemoryAsSource(state) : ListMemory(state));
    }

    std::string text;
    if (!ReadFileOrReport(input, kMaxSourceBytes + 1, text))
        return 2;
    const AssembleResult result = Assemble(text);
    if (!result.ok()) {
        for (const AsmError& e : result.errors)
            std::fprintf(stderr, "%s: %s\n", input.c_str(), FormatAsmError(e).c_str());
        return 1;
    }
    if (!outputGiven)
        return 0;
    MachineState state;
    ApplyProgram(result, state);
    return SaveDmp(state, output) ? 0 : 2;
}
