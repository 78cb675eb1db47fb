// kovar3-run end to end: hand-assembled images in a temporary folder, the
// runner's standard output and standard error byte for byte, and its exit codes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "runner_support.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace kovar::test;

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
    EXPECT_EQ(r.err, "kovar3-run: Загружен файл неверного размера: " + dir.file("empty.emu") +
                         "\nкороткий файл: 0 байт из 2148\nMaxStep:2\n");

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
    ASSERT_EQ(::mkfifo(dir.file("pipe.emu").c_str(), 0644), 0); // no writer: must not block
    WriteBytes(dir.file("good.txt"), {'T', 'O', 'S', '=', '5', '\n'});
    WriteBytes(dir.file("bad.txt"), {'T', 'O', 'S', '=', '5', '\n', 'S', 'O', 'S', '\n'});
    const std::string badCases = "[case a]\nset TOS = 1\nTOS = 2\n";
    WriteBytes(dir.file("bad-cases.txt"), Bytes(badCases.begin(), badCases.end()));
    std::vector<std::string> args = GetParam();
    // An image that cannot be read is named on one line, the reason on the next.
    const bool unreadable = std::any_of(args.begin(), args.end(), [](const auto& a) {
        return a == "MISSING" || a == "FOLDER" || a == "FIFO";
    });
    for (auto& a : args) {
        if (a == "IMG")
            a = dir.file("prog.emu");
        else if (a == "MISSING")
            a = dir.file("missing.emu");
        else if (a == "FOLDER")
            a = dir.file("folder.emu");
        else if (a == "FIFO")
            a = dir.file("pipe.emu");
        else if (a == "SAVED")
            a = dir.file("saved.emu");
        else if (a == "EXP")
            a = dir.file("good.txt");
        else if (a == "BADEXP")
            a = dir.file("bad.txt");
        else if (a == "BADCASES")
            a = dir.file("bad-cases.txt");
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
        Args{"--state", "MISSING"}, Args{"FOLDER"},
        // checks: a report without expectations, a bad report format, options
        // for one image with many, expectation files malformed or missing
        Args{"--report", "json", "IMG"}, Args{"--expect", "EXP", "--report", "xml", "IMG"},
        Args{"--expect", "EXP", "IMG", "--report"}, Args{"IMG", "--expect"},
        Args{"--expect", "EXP", "--expect", "EXP", "IMG"},
        Args{"--expect", "EXP", "--state", "IMG", "IMG"},
        Args{"--expect", "EXP", "--save", "SAVED", "IMG", "IMG"},
        Args{"--expect", "EXP", "--report", "text", "--save", "SAVED", "IMG"},
        Args{"--expect", "BADEXP", "IMG"}, Args{"--expect", "BADEXP", "IMG", "IMG"},
        Args{"--expect", "MISSING", "IMG"}, Args{"--expect", "EXP", "MISSING"}, Args{"FIFO"},
        Args{"--expect", "FIFO", "IMG"},
        // cases, --fresh, CSV and --make-expect
        Args{"--expect", "BADCASES", "IMG"}, Args{"--expect", "BADCASES", "--report", "csv", "IMG"},
        Args{"--fresh", "IMG", "--fresh"}, Args{"--report", "csv", "IMG"}, Args{"--make-expect"},
        Args{"--make-expect", "IMG", "IMG"}, Args{"IMG", "--make-expect", "IMG"},
        Args{"--make-expect", "IMG", "--expect", "EXP", "--report", "json"},
        Args{"--make-expect", "IMG", "--save", "SAVED"}, Args{"--make-expect", "MISSING"},
        Args{"--make-expect", "IMG", "--expect", "BADCASES"}));

// ---------------------------------------------------------------- help, version, lost output

TEST_F(Runner, HelpListsEveryOptionAndWinsOverTheRest) {
    for (const Args& args : {Args{"--help"}, Args{image(Example()), "--state", "--help"}}) {
        const Result r = run(args);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out.rfind("Usage: kovar3-run ", 0), 0u) << r.out;
        for (const char* option :
             {"--run", "--step N", "--limit N", "--fl", "--no-trace", "--state", "--save FILE",
              "--expect FILE", "--report FORMAT", "--fresh", "--make-expect IMAGE", "[case NAME]",
              "--help", "--version", "Exit status:"})
            EXPECT_NE(r.out.find(option), std::string::npos) << option;
    }
    const Result r = run({"--version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "kovar3-run " KOVAR_VERSION "\n");
}

// Output that cannot be written is a failure with a message, never a success.
TEST_F(Runner, LostStandardOutputFails) {
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    WriteBytes(dir.file("exp.txt"), {'T', 'O', 'S', '=', '5', '\n'});
    const std::string name = image(Example());
    for (const Args& args : {Args{name}, Args{"--no-trace", "--state", name}, Args{"--help"},
                             Args{"--version"}, Args{"--expect", dir.file("exp.txt"), name, name},
                             Args{"--expect", dir.file("exp.txt"), "--report", "json", name}}) {
        const Result r = RunTool(dir, args, "/dev/full");
        EXPECT_EQ(r.code, 1) << args.front();
        EXPECT_EQ(r.err, "kovar3-run: Ошибка записи файла: стандартный вывод\nдиск заполнен\n");
    }
}

// ---------------------------------------------------------------- expected values

struct ExpectCase {
    const char* file;
    std::vector<std::string> options;
    int code;
    std::string out; // after the trace of the example
};

class RunnerExpect : public Runner, public ::testing::WithParamInterface<ExpectCase> {};

TEST_P(RunnerExpect, DifferencesFollowTheTraceAndSetTheExitCode) {
    const ExpectCase c = GetParam();
    WriteBytes(dir.file("exp.txt"), Bytes(c.file, c.file + std::string_view(c.file).size()));
    Args args = c.options;
    args.insert(args.end(), {"--expect", dir.file("exp.txt"), image(Example())});
    const Result r = run(args);
    EXPECT_EQ(r.code, c.code);
    if (c.code == 2) {
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "kovar3-run: " + dir.file("exp.txt") + c.out);
        return;
    }
    const bool traced = std::find(args.begin(), args.end(), "--no-trace") == args.end();
    EXPECT_EQ(r.out, (traced ? kExampleStep + "Halt\n" : std::string()) + c.out);
    EXPECT_EQ(r.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Table, RunnerExpect,
    ::testing::Values(
        ExpectCase{"# the sum\r\nTOS = 5\r\npc=4\nFL = 0\n\n\tI[0] = 0x6101004f # ALU\nW[4] = -1\n"
                   "M[0x3E8] = 0\nsos=0\nURD3 = 0x0",
                   {},
                   0,
                   ""},
        ExpectCase{"TOS = 0x37\nSOS = 0\nM[4] = 255\nURD0 = -1\nFL = 1\nW[0] = 0x6101004F\n"
                   "I[0] = 0x6101004F\n",
                   {"--no-trace"},
                   3,
                   "TOS: expected 00000037, got 00000005\n"
                   "URD0: expected -1 (FFFFFFFF), got 0 (00000000)\n"
                   "FL: expected 1, got 0\n"
                   "W[0x0]: expected 6101004F, got 4F000161\n"},
        // --state comes first, then the differences
        ExpectCase{
            "M[1] = 0x02\nDS[1] = 3",
            {"--no-trace", "--state", "--fl"},
            3,
            "PC: 00000004\nIR: FFFFFFFF\nFL: 1\nC: 0\nDS: 00000005" + Zeros(15) +
                "\nRS:" + Zeros(16) + "\nURD:" + Zeros(4) +
                "\nM[0x1]: expected 02, got 01\nSOS: expected 3 (00000003), got 0 (00000000)\n"},
        ExpectCase{"TOS = 5\n\n# fine so far\nTOS 5\n", {}, 2, ":4: expected NAME = VALUE\n"},
        ExpectCase{"M[1001] = 0\n", {}, 2, ":1: address 1001 is outside 0..1000 of M[1001]\n"},
        ExpectCase{"TOS = 5\nDS[0] = 5\n", {}, 2, ":2: TOS already expected on line 1\n"}));

// Each image gets a row, the missing one too; no trace is written.
TEST_F(Runner, ManyImagesGiveOneRowEach) {
    WriteBytes(dir.file("exp.txt"), {'T', 'O', 'S', '=', '5', '\n'});
    Image wrong = Example();
    wrong.ds(0, 4); // 4 + 3 = 7
    Image loop;
    loop.word(0, Jump(1, 0)).ds(0, 5);
    const std::string good = image(Example(), "good.emu"), bad = image(wrong, "bad.emu"),
                      spin = image(loop, "loop.emu"), missing = dir.file("missing.emu");

    Result r = run({"--expect", dir.file("exp.txt"), "--limit", "7", good, bad, missing, spin});
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.out, good + "\t1\thalt\tPASS\t0\n" + bad + "\t1\thalt\tFAIL\t1\n" + missing +
                         "\t0\tunreadable\tFAIL\t0\n" + spin + "\t7\tlimit\tPASS\t0\n");
    EXPECT_EQ(r.err, "");

    r = run({good, spin, "--step", "3", "--expect", dir.file("exp.txt")});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, good + "\t3\tsteps\tPASS\t0\n" + spin + "\t3\tsteps\tPASS\t0\n");

    // One image with a report is a row too.
    r = run({"--report", "text", "--expect", dir.file("exp.txt"), bad});
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.out, bad + "\t1\thalt\tFAIL\t1\n");
}

// ---------------------------------------------------------------- files of the wrong size

struct SizeCase {
    std::string what;
    Bytes bytes;
    std::string problem; // empty for a whole image
};

Bytes Sized(std::size_t n) {
    Bytes b = Example().bytes;
    b.resize(n, 0xEE);
    return b;
}

Bytes Text(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

class RunnerImageSize : public ::testing::TestWithParam<SizeCase> {};

// The check form fails a file not of 2148 bytes without running it; the
// single-image form runs it as the simulator loads it and says so.
TEST_P(RunnerImageSize, FailsTheCheckAndWarnsASingleRun) {
    const SizeCase c = GetParam();
    TempDir dir;
    const std::string name = dir.file("student.emu");
    WriteBytes(name, c.bytes);
    WriteBytes(dir.file("exp.txt"), {});

    Result r =
        RunTool(dir, {"--report", "csv", "--limit", "3", "--expect", dir.file("exp.txt"), name});
    const auto rows = ParseCsv(r.out);
    ASSERT_EQ(rows.size(), 2u) << r.out;
    const std::vector<std::string>& row = rows[1];
    ASSERT_EQ(row.size(), 7u);
    EXPECT_EQ(row[0], name);
    if (c.problem.empty()) {
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(row[3], "halt");
        EXPECT_EQ(row[4], "PASS");
    } else {
        EXPECT_EQ(r.code, 3);
        EXPECT_EQ(row[2], "0") << "not run";
        EXPECT_EQ(row[3], "size");
        EXPECT_EQ(row[4], "FAIL");
        EXPECT_EQ(row[6], c.problem);
    }

    r = RunTool(dir, {"--no-trace", "--limit", "3", name});
    EXPECT_EQ(r.code, 0);
    const std::string warning =
        c.problem.empty()
            ? ""
            : "kovar3-run: Загружен файл неверного размера: " + name + "\n" + c.problem + "\n";
    EXPECT_TRUE(r.err == warning || r.err == warning + "MaxStep:3\n") << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Table, RunnerImageSize,
    ::testing::Values(SizeCase{"empty", Sized(0), "короткий файл: 0 байт из 2148"},
                      SizeCase{"one", Sized(1), "короткий файл: 1 байт из 2148"},
                      SizeCase{"short", Sized(2147), "короткий файл: 2147 байт из 2148"},
                      SizeCase{"whole", Sized(2148), ""},
                      SizeCase{"long", Sized(2149), "длинный файл: 2149 байт вместо 2148"},
                      SizeCase{"text", Text("; not an image\nhalt \n\n"),
                               "короткий файл: 22 байта из 2148"}),
    [](const auto& info) { return info.param.what; });

// ---------------------------------------------------------------- cases and --fresh

struct CasesCase {
    const char* image; // "adder": TOS := TOS + SOS, halt, TOS 2 and SOS 3 stored;
                       // "typed": the answer 5 typed into TOS before a halt
    const char* file;
    Args options;
    int code;
    const char* rows; // "@" stands for the image's name
};

class RunnerCases : public ::testing::TestWithParam<CasesCase> {};

TEST_P(RunnerCases, EachCaseRunsFromItsOwnStart) {
    const CasesCase c = GetParam();
    TempDir dir;
    Image img = Example();
    if (std::string(c.image) == "typed") {
        img = Image();
        img.word(0, kHalt).ds(0, 5);
    }
    const std::string name = dir.file("student.emu");
    WriteBytes(name, img.bytes);
    WriteBytes(dir.file("exp.txt"), Bytes(c.file, c.file + std::strlen(c.file)));
    Args args = c.options;
    args.insert(args.end(), {"--report", "text", "--expect", dir.file("exp.txt"), name});
    const Result r = RunTool(dir, args);
    EXPECT_EQ(r.code, c.code);
    std::string rows = c.rows;
    for (auto at = rows.find('@'); at != std::string::npos; at = rows.find('@'))
        rows.replace(at, 1, name);
    EXPECT_EQ(r.out, rows);
    EXPECT_EQ(r.err, "");
}

const char* const kAdderCases = "[case two and three]\nset TOS = 2\nset SOS = 3\nexpect TOS = 5\n"
                                "expect SOS = 0\n"
                                "[case no inputs]    # zeroed stacks\nexpect TOS = 0\n"
                                "[case wraps]\nset TOS = 0xFFFFFFFF\nset SOS = 1\nexpect TOS = 0\n"
                                "[case wrong]\nset SOS = 4\nexpect TOS = 5\nexpect PC = 0\n";

INSTANTIATE_TEST_SUITE_P(
    Table, RunnerCases,
    ::testing::Values(
        // the plain form runs the image as stored: a typed-in answer passes...
        CasesCase{"adder", "TOS = 5", {}, 0, "@\t1\thalt\tPASS\t0\n"},
        CasesCase{"typed", "TOS = 5", {}, 0, "@\t0\thalt\tPASS\t0\n"},
        // ...unless it starts fresh, as every case does
        CasesCase{"typed", "TOS = 5", {"--fresh"}, 3, "@\t0\thalt\tFAIL\t1\n"},
        CasesCase{"typed", "[case answer]\nexpect TOS = 5", {}, 3, "@\tanswer\t0\thalt\tFAIL\t1\n"},
        CasesCase{"adder",
                  kAdderCases,
                  {},
                  3,
                  "@\ttwo and three\t1\thalt\tPASS\t0\n@\tno inputs\t1\thalt\tPASS\t0\n"
                  "@\twraps\t1\thalt\tPASS\t0\n@\twrong\t1\thalt\tFAIL\t2\n"},
        CasesCase{"adder",
                  kAdderCases,
                  {"--fresh", "--step", "2"},
                  3,
                  "@\ttwo and three\t2\tsteps\tPASS\t0\n@\tno inputs\t2\tsteps\tPASS\t0\n"
                  "@\twraps\t2\tsteps\tPASS\t0\n@\twrong\t2\tsteps\tFAIL\t1\n"},
        CasesCase{"adder",
                  // inputs apply in order: the byte over the word set before it
                  "[case from the halt]\nset PC = 4\nset W[0x100] = 0x11223344\n"
                  "set M[0x101] = 0xAB\nexpect PC = 4\nexpect W[0x100] = 0x1122AB44\n",
                  {},
                  0,
                  "@\tfrom the halt\t0\thalt\tPASS\t0\n"},
        // --fl sets FL at every start; a case's own input comes after it
        CasesCase{"adder",
                  "[case flag]\nexpect FL = 1\n[case unset]\nset FL = 0\nexpect FL = 0",
                  {"--fl"},
                  0,
                  "@\tflag\t1\thalt\tPASS\t0\n@\tunset\t1\thalt\tPASS\t0\n"}));

// With one image the cases follow each other, each under its heading.
TEST_F(Runner, CasesOfOneImageHaveHeadings) {
    WriteBytes(dir.file("exp.txt"), Bytes(kAdderCases, kAdderCases + std::strlen(kAdderCases)));
    const Result r = run({"--no-trace", "--expect", dir.file("exp.txt"), image(Example())});
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.out, "[case two and three]\n[case no inputs]\n[case wraps]\n[case wrong]\n"
                     "TOS: expected 5 (00000005), got 4 (00000004)\n"
                     "PC: expected 0 (00000000), got 4 (00000004)\n");
    EXPECT_EQ(r.err, "");
}

// ---------------------------------------------------------------- --make-expect

TEST_F(Runner, MakeExpectListsTheFinalState) {
    Image img; // SAVE TOS to 0x100, LOAD it into URD1, halt
    img.word(0, 0xA0E80100).word(4, 0x8E980100).word(8, kHalt).ds(0, 0x11223344);
    const Result r = run({"--make-expect", image(img)});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    std::vector<std::string> lines;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#')
            lines.push_back(line);
    EXPECT_EQ(lines, (std::vector<std::string>{"PC = 0x8", "FL = 0", "TOS = 287454020",
                                               "URD1 = 287454020", "W[0x100] = 287454020"}));
    EXPECT_NE(r.out.find("# The run ended at the halt word after 2 steps.\n"), std::string::npos)
        << r.out;
}

// Whatever a program does, checking it against the file made from it passes,
// with the same options, in both forms.
TEST(RunnerMakeExpect, CheckingTheSameImagePasses) {
    std::mt19937 rng(2024);
    const std::vector<Args> optionSets = {
        {}, {"--fresh"}, {"--step", "37"}, {"--limit", "50", "--fl"}};
    for (int round = 0; round < 24; ++round) {
        TempDir dir;
        Image img;
        for (std::size_t a = 0; a < 1001; ++a)
            img.bytes[a] = static_cast<uint8_t>(rng());
        for (std::size_t i = 0; i < 16; ++i)
            img.ds(i, rng() % 3 == 0 ? static_cast<uint32_t>(rng()) : 0)
                .rs(i, rng() % 4 == 0 ? rng() % 1001 : 0);
        img.le(2130 + 4 * (rng() % 4), static_cast<uint32_t>(rng()));
        img.pc(static_cast<uint16_t>(rng() % 1001)).mark(rng() % 1001);
        const std::string name = dir.file("model.emu");
        WriteBytes(name, img.bytes);
        Args options = optionSets[static_cast<std::size_t>(round) % optionSets.size()];

        // The cases form half the time: random inputs, expectations made.
        Args made = options;
        if (round % 2 == 1) {
            const std::string cases = "[case a]\nset TOS = " + std::to_string(rng() % 1000) +
                                      "\nset W[" + std::to_string(rng() % 998) +
                                      "] = " + std::to_string(static_cast<int32_t>(rng())) +
                                      "\n[case b]\nset PC = 0x" + std::to_string(rng() % 400) +
                                      "\nset URD2 = -7\n[case c]\n";
            WriteBytes(dir.file("cases.txt"), Bytes(cases.begin(), cases.end()));
            made.insert(made.end(), {"--expect", dir.file("cases.txt")});
        }
        made.insert(made.end(), {"--make-expect", name});
        const Result m = RunTool(dir, made);
        ASSERT_EQ(m.code, 0) << m.err;
        ASSERT_NE(m.out.find("PC = 0x"), std::string::npos) << m.out;
        EXPECT_EQ(round % 2 == 1, m.out.find("[case b]\n") != std::string::npos) << m.out;
        EXPECT_EQ(round % 2 == 1, m.out.find("set URD2 = -7\n") != std::string::npos) << m.out;
        WriteBytes(dir.file("made.txt"), Bytes(m.out.begin(), m.out.end()));

        Args check = options;
        check.insert(check.end(), {"--no-trace", "--expect", dir.file("made.txt"), name});
        const Result c = RunTool(dir, check);
        EXPECT_EQ(c.code, 0) << "round " << round << "\n" << m.out << c.out;
        EXPECT_EQ(c.out.find("expected"), std::string::npos) << c.out;
    }
}

// ---------------------------------------------------------------- the examples

// Every example program has an expectation file beside it, with inputs that
// the program reads, and passes it.
TEST(RunnerExamples, EachPassesItsExpectationFile) {
    TempDir dir;
    int examples = 0;
    for (const auto& entry : fs::directory_iterator(KOVAR_EXAMPLES)) {
        if (entry.path().extension() != ".kasm")
            continue;
        ++examples;
        const fs::path expect = fs::path(entry.path()).replace_extension(".expect");
        SCOPED_TRACE(expect.string());
        ASSERT_TRUE(fs::exists(expect));
        EXPECT_NE(ReadText(expect.string()).find("\nset "), std::string::npos) << "no inputs";
        const Result r =
            RunTool(dir, {"--report", "csv", "--expect", expect.string(), entry.path().string()});
        EXPECT_EQ(r.code, 0) << r.out;
        const auto rows = ParseCsv(r.out);
        ASSERT_GE(rows.size(), 3u) << "at least two cases";
        for (std::size_t i = 1; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i][3], "halt") << rows[i][1];
            EXPECT_EQ(rows[i][4], "PASS") << rows[i][1] << ": " << rows[i][6];
        }
    }
    EXPECT_GE(examples, 5);
}

// ---------------------------------------------------------------- CSV

// One row per image and case, read back by an RFC 4180 reader: names with
// commas, quotes and line breaks, a name a spreadsheet would take for a
// formula, mismatches one per line in the last field.
TEST_F(Runner, CsvRowsForASpreadsheet) {
    const std::string cases = "[case ok]\nset TOS = 2\nset SOS = 3\nexpect TOS = 5\n"
                              "[case two, \"wrong\"]\nexpect TOS = 1\nexpect SOS = -1\n";
    WriteBytes(dir.file("exp.txt"), Bytes(cases.begin(), cases.end()));
    const std::string odd = image(Example(), "a,\"b\"\nc.emu");
    WriteBytes(dir.file("short.emu"), Bytes(100, 0));
    const Result r = run({"--report", "csv", "--expect", dir.file("exp.txt"), odd,
                          dir.file("short.emu"), dir.file("missing.emu")});
    EXPECT_EQ(r.code, 3);
    const auto rows = ParseCsv(r.out);
    using Row = std::vector<std::string>;
    ASSERT_EQ(rows.size(), 7u) << r.out;
    EXPECT_EQ(rows[0], (Row{"image", "case", "steps", "stop", "result", "mismatches", "details"}));
    EXPECT_EQ(rows[1], (Row{odd, "ok", "1", "halt", "PASS", "0", ""}));
    EXPECT_EQ(rows[2], (Row{odd, "two, \"wrong\"", "1", "halt", "FAIL", "2",
                            "TOS: expected 1 (00000001), got 0 (00000000)\n"
                            "SOS: expected -1 (FFFFFFFF), got 0 (00000000)"}));
    EXPECT_EQ(rows[3], (Row{dir.file("short.emu"), "ok", "0", "size", "FAIL", "0",
                            "короткий файл: 100 байт из 2148"}));
    EXPECT_EQ(rows[5][3], "unreadable");
    EXPECT_EQ(rows[5][6], "Ошибка чтения файла: " + dir.file("missing.emu") + "\nнет такого файла");

    const Result f = run({"--report", "csv", "--expect", dir.file("exp.txt"), "=1+1.emu"});
    const auto formulaRows = ParseCsv(f.out);
    ASSERT_EQ(formulaRows.size(), 3u);
    EXPECT_EQ(formulaRows[1][0], "'=1+1.emu") << "a name is never a formula";
}

} // namespace
