// kovar3-run end to end: hand-assembled images in a temporary folder, the
// runner's standard output and standard error byte for byte, and its exit codes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using kovar::test::TempDir;
using Bytes = std::vector<uint8_t>;

std::string ReadText(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes ReadBytes(const std::string& name) {
    const std::string s = ReadText(name);
    return Bytes(s.begin(), s.end());
}

void WriteBytes(const std::string& name, const Bytes& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// Instruction words from their fields.
constexpr uint32_t Jump(uint32_t cls, uint32_t target) {
    return cls << 29 | target;
}
constexpr uint32_t Alu(uint32_t b, uint32_t a, uint32_t stack, uint32_t cond, uint32_t carry,
                       uint32_t flEnable, uint32_t op) {
    return 3u << 29 | b << 24 | a << 20 | stack << 16 | cond << 10 | carry << 8 | flEnable << 7 |
           op;
}
constexpr uint32_t Mem(uint32_t cls, uint32_t ret, uint32_t b, uint32_t a, uint32_t stack,
                       uint32_t offset) {
    return cls << 29 | ret << 28 | b << 24 | a << 20 | stack << 16 | offset;
}

constexpr uint32_t kTOS = 0, kSOS = 1, kURD1 = 9, kZERO = 14;
constexpr uint32_t kPopDS = 1, kNop = 8;
constexpr uint32_t kHalt = 0xFFFFFFFF;

static_assert(Alu(kSOS, kTOS, kPopDS, 0, 0, 0, 0x4F) == 0x6101004F); // the documented example
static_assert(Alu(kSOS, kTOS, kNop, 8, 0, 1, 0x4F) == 0x610820CF);
static_assert(Mem(5, 0, kTOS, kZERO, kNop, 0x100) == 0xA0E80100);
static_assert(Mem(4, 0, kZERO, kURD1, kNop, 0x100) == 0x8E980100);
static_assert(Mem(6, 1, 0, 0, 0, 0) == 0xD0000000);

// A memory image assembled byte by byte.
class Image {
public:
    Image& word(std::size_t addr, uint32_t w) { // most significant byte first
        for (std::size_t i = 0; i < 4; ++i)
            bytes[addr + i] = static_cast<uint8_t>(w >> (24 - 8 * i));
        return *this;
    }
    Image& mark(std::size_t addr) {
        bytes[1001 + addr] = 1;
        return *this;
    }
    Image& ds(std::size_t i, uint32_t w) { return le(2002 + 4 * i, w); }
    Image& rs(std::size_t i, uint32_t w) { return le(2066 + 4 * i, w); }
    Image& pc(uint16_t pc) {
        bytes[2146] = static_cast<uint8_t>(pc);
        bytes[2147] = static_cast<uint8_t>(pc >> 8);
        return *this;
    }
    Image& le(std::size_t offset, uint32_t w) {
        for (std::size_t i = 0; i < 4; ++i)
            bytes[offset + i] = static_cast<uint8_t>(w >> (8 * i));
        return *this;
    }
    Bytes bytes = Bytes(2148, 0);
};

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

Result RunTool(const TempDir& dir, const std::vector<std::string>& args) {
    const std::string outName = dir.file("stdout.txt");
    const std::string errName = dir.file("stderr.txt");
    std::vector<char*> argv;
    std::string prog = KOVAR3_RUN;
    argv.push_back(prog.data());
    std::vector<std::string> copy = args;
    for (auto& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(outName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0)
            ::_exit(127);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    Result r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = ReadText(outName);
    r.err = ReadText(errName);
    return r;
}

std::string Zeros(int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += " 00000000";
    return s;
}

// The documented ALU example at 0, the halt word after it, 2 in TOS, 3 in SOS.
Image Example() {
    Image img;
    img.word(0, 0x6101004F).word(4, kHalt).ds(0, 2).ds(1, 3);
    return img;
}

const std::string kExampleStep = "PC: 00000000 IR: 6101004F 01100001000000010000000001001111\n"
                                 "ALU\n"
                                 "SOS: 00000003\n"
                                 "TOS: 00000002\n"
                                 "Pop DS\n"
                                 "Carry:0\n"
                                 "TOS: 00000005\n";

class Runner : public ::testing::Test {
protected:
    std::string image(const Image& img, const std::string& name = "prog.emu") {
        WriteBytes(dir.file(name), img.bytes);
        return dir.file(name);
    }
    Result run(const std::vector<std::string>& args) { return RunTool(dir, args); }
    TempDir dir;
};

// ---------------------------------------------------------------- trace and state

TEST_F(Runner, RunPrintsTheTraceAndStopsAtHalt) {
    const Result r = run({image(Example())});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, kExampleStep + "Halt\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(Runner, StateAppendsSevenLines) {
    const Result r = run({"--run", "--state", image(Example())});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, kExampleStep +
                         "Halt\n"
                         "PC: 00000004\n"
                         "IR: FFFFFFFF\n"
                         "FL: 0\n"
                         "C: 0\n"
                         "DS: 00000005" +
                         Zeros(15) + "\nRS: 00000000" + Zeros(15) + "\nURD: 00000000" + Zeros(3) +
                         "\n");
    EXPECT_EQ(r.err, "");
}

// FFFFFFFF + 1 wraps to 0 with a carry; condition Z with FL enable sets FL.
TEST_F(Runner, StateShowsFlagAndCarry) {
    Image img;
    img.word(0, 0x610820CF).word(4, kHalt).ds(0, 0xFFFFFFFF).ds(1, 1);
    const Result r = run({image(img), "--state"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "PC: 00000000 IR: 610820CF 01100001000010000010000011001111\n"
                     "ALU\n"
                     "SOS: 00000001\n"
                     "TOS: FFFFFFFF\n"
                     "Carry:0\n"
                     "TOS: 00000000\n"
                     "Halt\n"
                     "PC: 00000004\n"
                     "IR: FFFFFFFF\n"
                     "FL: 1\n"
                     "C: 1\n"
                     "DS: 00000000 00000001" +
                         Zeros(14) + "\nRS: 00000000" + Zeros(15) + "\nURD: 00000000" + Zeros(3) +
                         "\n");
}

// The image's PC is where the run starts; CALL and a return through LAL.
TEST_F(Runner, CallAndReturnFromTheImagePc) {
    Image img;
    img.pc(0x20).word(0x20, Jump(0, 0x28)).word(0x24, kHalt).word(0x28, 0xD0000000);
    const Result r = run({"--state", image(img)});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "PC: 00000020 IR: 00000028 00000000000000000000000000101000\n"
                     "Call: 00000028\n"
                     "PC: 00000028 IR: D0000000 11010000000000000000000000000000\n"
                     "Lal nothing do\n"
                     "Halt\n"
                     "PC: 00000024\n"
                     "IR: FFFFFFFF\n"
                     "FL: 0\n"
                     "C: 0\n"
                     "DS:" +
                         Zeros(16) + "\nRS:" + Zeros(16) + "\nURD:" + Zeros(4) + "\n");
}

// Step executes the halt word like any other: LAH with the return bit.
TEST_F(Runner, StepsExecuteEvenTheHaltWord) {
    Image img = Example();
    img.rs(0, 8).word(8, 0xC0000000);
    const Result r = run({"--step", "2", "--state", image(img)});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, kExampleStep + "PC: 00000004 IR: FFFFFFFF " + std::string(32, '1') +
                         "\n"
                         "Lah nothing do\n"
                         "PC: 00000008\n"
                         "IR: C0000000\n"
                         "FL: 0\n"
                         "C: 0\n"
                         "DS: 00000005" +
                         Zeros(15) + "\nRS:" + Zeros(16) + "\nURD:" + Zeros(4) + "\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(Runner, ZeroStepsLeaveIrEmpty) {
    Image img = Example();
    img.pc(4);
    const Result r = run({"--step", "0", "--state", image(img)});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "PC: 00000004\n"
                     "IR: \n"
                     "FL: 0\n"
                     "C: 0\n"
                     "DS: 00000002 00000003" +
                         Zeros(14) + "\nRS:" + Zeros(16) + "\nURD:" + Zeros(4) + "\n");
}

TEST_F(Runner, LimitHasNoEffectOnSteps) {
    const Result r = run({"--limit", "0", "--step", "1", image(Example())});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, kExampleStep);
    EXPECT_EQ(r.err, "");
}

TEST_F(Runner, FlStartsTheFlagTrue) {
    Image img;
    img.word(0, Jump(2, 0x10)).word(4, kHalt).word(0x10, kHalt);
    const std::string name = image(img);
    const std::string heading = "PC: 00000000 IR: 40000010 01000000000000000000000000010000\n";

    Result r = run({name});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, heading + "C Branch: Fl=false\nHalt\n");

    r = run({"--fl", name});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, heading + "C Branch: Fl=true 00000010\nHalt\n");

    r = run({name, "--fl", "--no-trace", "--state"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.substr(0, 37), "PC: 00000010\nIR: FFFFFFFF\nFL: 1\nC: 0\n");
}

TEST_F(Runner, OptionOrderDoesNotMatter) {
    const std::string name = image(Example());
    const Result a = run({name, "--no-trace", "--state"});
    const Result b = run({"--state", "--no-trace", name});
    EXPECT_EQ(a.code, 0);
    EXPECT_EQ(a.out, b.out);
    EXPECT_EQ(a.out.substr(0, 13), "PC: 00000004\n");
}

// ---------------------------------------------------------------- run reports

const std::string kLoopStep = "PC: 00000000 IR: 20000000 00100000000000000000000000000000\n"
                              "Branch: 00000000\n";

TEST_F(Runner, LimitIsReportedOnBothStreams) {
    Image img;
    img.word(0, Jump(1, 0));
    const std::string name = image(img);

    Result r = run({"--limit", "3", name});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, kLoopStep + kLoopStep + kLoopStep + "MaxStep:3\n");
    EXPECT_EQ(r.err, "MaxStep:3\n");

    r = run({name, "--no-trace", "--limit", "5", "--state"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "PC: 00000000\nIR: 20000000\nFL: 0\nC: 0\nDS:" + Zeros(16) +
                         "\nRS:" + Zeros(16) + "\nURD:" + Zeros(4) + "\n");
    EXPECT_EQ(r.err, "MaxStep:5\n");

    r = run({"--no-trace", name});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "MaxStep:1000\n");

    r = run({"--limit", "0", name});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "MaxStep:0\n");
    EXPECT_EQ(r.err, "MaxStep:0\n");
}

TEST_F(Runner, LastAllowedStepLandingOnHaltReportsBoth) {
    Image img;
    img.word(0, Jump(1, 4)).word(4, Jump(1, 8)).word(8, kHalt);
    const Result r = run({"--limit", "2", image(img)});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "PC: 00000000 IR: 20000004 00100000000000000000000000000100\n"
                     "Branch: 00000004\n"
                     "PC: 00000004 IR: 20000008 00100000000000000000000000001000\n"
                     "Branch: 00000008\n"
                     "Halt\n"
                     "MaxStep:2\n");
    EXPECT_EQ(r.err, "MaxStep:2\n");
}

TEST_F(Runner, Breakpoints) {
    Image img = Example();
    img.mark(4);
    Result r = run({image(img, "b4.emu")});
    EXPECT_EQ(r.out, kExampleStep + "Halt\nBreakpoint\n");

    img = Example();
    img.mark(0);
    const std::string name = image(img, "b0.emu");
    r = run({name});
    EXPECT_EQ(r.out, "Breakpoint\n"); // nothing executed
    r = run({"--step", "1", name});
    EXPECT_EQ(r.out, kExampleStep); // a step ignores the mark
    EXPECT_EQ(r.err, "");
}

// ---------------------------------------------------------------- images of other lengths, --save

TEST_F(Runner, ShortAndLongImages) {
    Image img = Example();
    Bytes shortFile(img.bytes.begin(), img.bytes.begin() + 8); // the two words only
    WriteBytes(dir.file("short.emu"), shortFile);
    Result r = run({dir.file("short.emu")});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "PC: 00000000 IR: 6101004F 01100001000000010000000001001111\n"
                     "ALU\n"
                     "SOS: 00000000\n"
                     "TOS: 00000000\n"
                     "Pop DS\n"
                     "Carry:0\n"
                     "TOS: 00000000\n"
                     "Halt\n");

    // An empty file leaves a zeroed machine: the word 0 is CALL 0.
    WriteBytes(dir.file("empty.emu"), {});
    r = run({"--limit", "2", "--state", dir.file("empty.emu")});
    const std::string call =
        "PC: 00000000 IR: 00000000 " + std::string(32, '0') + "\nCall: 00000000\n";
    EXPECT_EQ(r.out, call + call +
                         "MaxStep:2\nPC: 00000000\nIR: 00000000\nFL: 0\nC: 0\nDS:" + Zeros(16) +
                         "\nRS: 00000004 00000004" + Zeros(14) + "\nURD:" + Zeros(4) + "\n");
    EXPECT_EQ(r.err, "MaxStep:2\n");

    Bytes longFile = img.bytes;
    longFile.resize(3000, 0xFF);
    WriteBytes(dir.file("long.emu"), longFile);
    r = run({dir.file("long.emu")});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, kExampleStep + "Halt\n");
}

TEST_F(Runner, SaveWritesTheMachineAfterTheRun) {
    Image img;
    img.word(0, 0xA0E80100).word(4, 0x8E980100).word(8, kHalt).ds(0, 0x11223344);
    const std::string out = dir.file("after.emu");
    const Result r = run({image(img), "--save", out, "--state"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "PC: 00000000 IR: A0E80100 10100000111010000000000100000000\n"
                     "Save\n"
                     "ZERO: 00000000\n"
                     "Save to adress: 00000100\n"
                     "TOS: 11223344\n"
                     "PC: 00000004 IR: 8E980100 10001110100110000000000100000000\n"
                     "Load\n"
                     "ZERO: 00000000\n"
                     "Load from adress: 00000100\n"
                     "URD1: 11223344\n"
                     "Halt\n"
                     "PC: 00000008\n"
                     "IR: FFFFFFFF\n"
                     "FL: 0\n"
                     "C: 0\n"
                     "DS: 11223344" +
                         Zeros(15) + "\nRS:" + Zeros(16) + "\nURD: 00000000 11223344" + Zeros(2) +
                         "\n");
    EXPECT_EQ(r.err, "");

    Bytes expected = img.bytes;
    for (std::size_t at : {std::size_t{256}, std::size_t{2134}}) { // memory 256, URD1
        expected[at] = 0x44;
        expected[at + 1] = 0x33;
        expected[at + 2] = 0x22;
        expected[at + 3] = 0x11;
    }
    expected[2146] = 8;
    EXPECT_EQ(ReadBytes(out), expected);
}

TEST_F(Runner, SaveIntoMissingDirectoryFails) {
    const std::string target = dir.file("missing/dir/out.emu");
    const Result r = run({"--no-trace", "--save", target, image(Example())});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Ошибка записи файла: " + target + "\nнет такой папки\n");
    EXPECT_FALSE(fs::exists(dir.file("missing")));
}

// A limit above 32 bits is a limit like any other.
TEST_F(Runner, LimitBeyond32Bits) {
    const std::string name = image(Example());
    const Result r = run({"--limit", "99999999999", name});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, kExampleStep + "Halt\n");
    EXPECT_EQ(r.err, "");
}

// ---------------------------------------------------------------- usage errors

// "IMG" stands for a good image, "MISSING" for a file that does not exist,
// "FOLDER" for a directory, "SAVED" for a file that must not get written.
class RunnerUsage : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(RunnerUsage, ExitsWithTwoAndOneLine) {
    TempDir dir;
    WriteBytes(dir.file("prog.emu"), Example().bytes);
    fs::create_directory(dir.file("folder.emu"));
    std::vector<std::string> args = GetParam();
    // An image that cannot be read is named on one line, the reason on the next.
    const bool unreadable = std::any_of(
        args.begin(), args.end(), [](const auto& a) { return a == "MISSING" || a == "FOLDER"; });
    for (auto& a : args) {
        if (a == "IMG")
            a = dir.file("prog.emu");
        else if (a == "MISSING")
            a = dir.file("missing.emu");
        else if (a == "FOLDER")
            a = dir.file("folder.emu");
        else if (a == "SAVED")
            a = dir.file("saved.emu");
    }
    const Result r = RunTool(dir, args);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.back(), '\n') << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), unreadable ? 2 : 1) << r.err;
    EXPECT_FALSE(fs::exists(dir.file("saved.emu")));
}

using Args = std::vector<std::string>;

INSTANTIATE_TEST_SUITE_P(
    Table, RunnerUsage,
    ::testing::Values(
        // unknown options
        Args{"--bogus", "IMG"}, Args{"-x", "IMG"}, Args{"--STEP", "1", "IMG"},
        Args{"--step=1", "IMG"},
        // an option twice
        Args{"--run", "--run", "IMG"}, Args{"--step", "1", "--step", "1", "IMG"},
        Args{"--limit", "5", "IMG", "--limit", "5"}, Args{"--fl", "--fl", "IMG"},
        Args{"--no-trace", "IMG", "--no-trace"}, Args{"--state", "--state", "IMG"},
        Args{"--save", "SAVED", "--save", "SAVED", "IMG"},
        // --step with --run
        Args{"--step", "1", "--run", "IMG"}, Args{"--run", "IMG", "--step", "1"},
        // missing or malformed numbers
        Args{"IMG", "--step"}, Args{"IMG", "--limit"}, Args{"--step", "IMG"},
        Args{"--step", "-1", "IMG"}, Args{"--step", "1x", "IMG"}, Args{"--step", "", "IMG"},
        Args{"--step", "+1", "IMG"}, Args{"--step", " 1", "IMG"}, Args{"--limit", "-1", "IMG"},
        Args{"--limit", "1x", "IMG"}, Args{"--limit", "", "IMG"}, Args{"--limit", "0x10", "IMG"},
        Args{"IMG", "--save"}, Args{"--limit", "18446744073709551616", "IMG"},
        Args{"--step", "99999999999999999999", "IMG"},
        // no image, two images, an image that cannot be opened
        Args{}, Args{"--run"}, Args{"--state", "--no-trace"}, Args{"IMG", "IMG"}, Args{"MISSING"},
        Args{"--state", "MISSING"}, Args{"FOLDER"}));

} // namespace
