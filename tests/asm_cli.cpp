// kovar3-asm end to end: its exit codes and messages, an assembled program run
// by kovar3-run, and images written as text and assembled back.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "memory_image.h"
#include "runner_support.h"

namespace {

using kovar::test::Exec;
using kovar::test::ReadText;
using kovar::test::Result;
using kovar::test::TempDir;

std::string WriteText(const TempDir& dir, const std::string& name, const std::string& text) {
    std::ofstream(dir.file(name), std::ios::binary) << text;
    return dir.file(name);
}

Result Asm(const TempDir& dir, std::vector<std::string> args) {
    return Exec(dir, KOVAR3_ASM, std::move(args));
}

TEST(AsmTool, UsageAndExitCodes) {
    TempDir dir;
    const Result help = Asm(dir, {"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_EQ(help.out.rfind("usage: kovar3-asm", 0), 0u);
    for (const auto& args : std::vector<std::vector<std::string>>{{},
                                                                  {"-x", "a.kasm"},
                                                                  {"a.kasm", "b.kasm"},
                                                                  {"a.kasm", "-o"},
                                                                  {"--source", "a.emu"},
                                                                  {"-d", "-o", "x", "a.emu"},
                                                                  {dir.file("missing.kasm")},
                                                                  {"-d", dir.file("no.emu")}}) {
        const Result r = Asm(dir, args);
        EXPECT_EQ(r.code, 2) << (args.empty() ? "" : args[0]);
        EXPECT_EQ(r.err.rfind("kovar3-asm: ", 0), 0u) << r.err;
    }
    const std::string bad = WriteText(dir, "bad.kasm", "halt\n  FOO\nCALL 0x20000000\n");
    const Result r = Asm(dir, {bad, "-o", dir.file("bad.emu")});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, bad +
                         ": строка 2, столбец 3: неизвестная команда 'FOO'; ожидается CALL, "
                         "BRANCH, BRANCH_C, ALU, SHIFT, LOAD, SAVE, LAL, LAH, halt или "
                         "директива (.org, .word, .data, .byte, .space, .break)\n" +
                         bad +
                         ": строка 3, столбец 6: адрес перехода 536870912 вне допустимого "
                         "диапазона; ожидается от 0 до 536870911 (0x1FFFFFFF)\n");
    EXPECT_FALSE(std::ifstream(dir.file("bad.emu")).good());            // nothing written
    EXPECT_EQ(Asm(dir, {WriteText(dir, "ok.kasm", "halt\n")}).code, 0); // check only
}

TEST(AsmTool, AssembledProgramRunsInTheRunner) {
    TempDir dir;
    const std::string src = WriteText(dir, "p.kasm", R"(
; 6 * 7 by repeated addition, with the result pushed on the data stack
        .org 16
start:  LOAD  UDR0, ZERO, six
        LOAD  UDR1, ZERO, seven
        ALU   TOS, ZERO, zero, pushds
loop:   ALU   TOS, UDR0, a+b+c
        ALU   UDR1, ZERO, a-~c, cond=nz, setfl
        BRANCH_C loop
        halt
six:    .data 6
seven:  .data 7
)");
    const std::string image = dir.file("p.emu");
    ASSERT_EQ(Asm(dir, {src, "-o", image}).code, 0);
    const Result run = Exec(dir, KOVAR3_RUN, {"--run", "--no-trace", "--state", image});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("PC: 00000028\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("DS: 0000002A 00000000"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("URD: 00000006 00000000"), std::string::npos) << run.out;

    // The runner takes the source itself, with the same result and trace.
    const std::vector<std::string> traced{"--run", "--state"};
    auto withFile = [](std::vector<std::string> args, const std::string& file) {
        args.push_back(file);
        return args;
    };
    const Result fromImage = Exec(dir, KOVAR3_RUN, withFile(traced, image));
    const Result fromSource = Exec(dir, KOVAR3_RUN, withFile(traced, src));
    EXPECT_EQ(fromSource.code, 0) << fromSource.err;
    EXPECT_EQ(fromSource.out, fromImage.out);
    // A source with errors is not run: each error on standard error, exit 2.
    const std::string bad = WriteText(dir, "bad.kasm", "halt\n  FOO\n");
    const Result refused = Exec(dir, KOVAR3_RUN, {bad});
    EXPECT_EQ(refused.code, 2);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find(bad + ": строка 2, столбец 3: неизвестная команда 'FOO'"),
              std::string::npos)
        << refused.err;
}

// Lowers this process's file-size limit while alive; a child started then
// inherits it (and the default action of SIGXFSZ, which ends a program).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        const rlimit limit{bytes, old_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &old_); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
};

// Unsets an environment variable while alive.
class Unset {
public:
    explicit Unset(const char* name) : name_(name) {
        if (const char* v = std::getenv(name))
            old_ = v;
        ::unsetenv(name);
    }
    ~Unset() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
    }
    Unset(const Unset&) = delete;
    Unset& operator=(const Unset&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

// The command-line programs without a display, with a standard output that
// cannot be written, and with files that may not grow.
TEST(AsmTool, AnswersWithoutDisplayAndFailsLoudlyOnWriteErrors) {
    TempDir dir;
    const std::string src = WriteText(dir, "p.kasm", "halt\n");
    const std::string image = dir.file("p.emu");
    ASSERT_EQ(Asm(dir, {src, "-o", image}).code, 0);
    const std::string writeFailed = "Ошибка записи файла: стандартный вывод\nдиск заполнен\n";
#ifdef KOVAR3
    const std::string simulator = KOVAR3;
#else
    const std::string simulator; // built without windows
#endif
    struct Case {
        std::string program;
        std::vector<std::string> args;
        std::string out; // "/dev/full" or a file in the folder
        bool smallFiles; // files may not grow past 1000 bytes
        int code;
        std::string stdoutStarts, stderrHas;
    };
    const Case cases[] = {
        {simulator, {"--help"}, "", false, 0, "Usage: kovar3 [OPTION]... [IMAGE]\n", ""},
        {simulator, {"-platform", "xcb", "--version"}, "", false, 0, "kovar3 ", ""},
        {simulator, {"-h"}, "/dev/full", false, 1, "", "kovar3: " + writeFailed},
        {KOVAR3_ASM, {"-d", image}, "/dev/full", false, 2, "", "kovar3-asm: " + writeFailed},
        {KOVAR3_ASM, {"-d", "--source", image}, "/dev/full", false, 2, "", writeFailed},
        {KOVAR3_ASM, {"--help"}, "/dev/full", false, 2, "", writeFailed},
        {KOVAR3_ASM,
         {src, "-o", dir.file("big.emu")},
         "",
         true,
         2,
         "",
         "Ошибка записи файла: " + dir.file("big.emu") + "\nфайл слишком велик"},
    };
    for (const Case& c : cases) {
        if (c.program.empty())
            continue;
        if (c.out == "/dev/full" && !std::filesystem::exists("/dev/full"))
            continue;
        const std::vector<std::string> before = dir.names();
        Result r;
        {
            const Unset display("DISPLAY"), wayland("WAYLAND_DISPLAY"), platform("QT_QPA_PLATFORM");
            std::optional<FileSizeLimit> limit;
            if (c.smallFiles)
                limit.emplace(1000);
            r = Exec(dir, c.program, c.args, c.out);
        }
        const std::string what = c.program + " " + c.args.back() + " > " + c.out;
        EXPECT_EQ(r.code, c.code) << what << "\n" << r.err;
        EXPECT_EQ(r.out.rfind(c.stdoutStarts, 0), 0u) << what << "\n" << r.out;
        EXPECT_NE(r.err.find(c.stderrHas), std::string::npos) << what << "\n" << r.err;
        std::vector<std::string> after = dir.names(); // no file left behind
        std::erase_if(after, [](const std::string& n) { return n.starts_with("std"); });
        std::erase_if(after, [&](const std::string& n) {
            return std::find(before.begin(), before.end(), n) != before.end();
        });
        EXPECT_EQ(after, std::vector<std::string>{}) << what;
    }
}

// Random images (any bytes, marks of any value, odd tails) through
// "-d --source" and back through "-o" give the same memory, marks and PC.
TEST(AsmTool, ImagesAsTextAssembleBack) {
    TempDir dir;
    std::mt19937 rng(11);
    for (int n = 0; n < 12; ++n) {
        std::string bytes(kovar::kImageSize, '\0');
        const unsigned density = rng() % 101;
        for (int i = 0; i < kovar::kMemorySize; ++i) {
            if (rng() % 100 < density)
                bytes[static_cast<std::size_t>(i)] = static_cast<char>(rng());
            if (rng() % 15 == 0)
                bytes[kovar::kImageMarksOffset + static_cast<std::size_t>(i)] =
                    static_cast<char>(rng() % 255 + 1);
        }
        const unsigned pc = rng() % 1001;
        bytes[kovar::kImagePCOffset] = static_cast<char>(pc & 0xFF);
        bytes[kovar::kImagePCOffset + 1] = static_cast<char>(pc >> 8);
        const std::string image = WriteText(dir, "in.emu", bytes);
        const Result text = Asm(dir, {"-d", "--source", image});
        ASSERT_EQ(text.code, 0) << text.err;
        const std::string src = WriteText(dir, "back.kasm", text.out);
        const Result back = Asm(dir, {src, "-o", dir.file("back.emu")});
        ASSERT_EQ(back.code, 0) << back.err;
        std::string expected = bytes;
        std::fill(expected.begin() + kovar::kImageDSOffset,
                  expected.begin() + kovar::kImagePCOffset, '\0');
        ASSERT_EQ(ReadText(dir.file("back.emu")), expected);

        const Result listing = Asm(dir, {"-d", image});
        ASSERT_EQ(listing.code, 0);
        EXPECT_NE(listing.out.find("; PC = "), std::string::npos);
    }
}

} // namespace
