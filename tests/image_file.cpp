// The memory image file: its 2148-byte layout, round trips, short and long
// files, and saves and loads that fail.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "memory_image.h"
#include "show_error.h"
#include "test_support.h"

namespace {

using namespace kovar;
using kovar::test::MessageRecorder;
using kovar::test::TempDir;
namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

const std::string kReadError = "Ошибка чтения файла: ";
const std::string kWriteError = "Ошибка записи файла: ";

Bytes ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& name, const Bytes& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void PutLE(Bytes& b, std::size_t offset, uint32_t word) {
    b[offset] = static_cast<uint8_t>(word);
    b[offset + 1] = static_cast<uint8_t>(word >> 8);
    b[offset + 2] = static_cast<uint8_t>(word >> 16);
    b[offset + 3] = static_cast<uint8_t>(word >> 24);
}

// The file as laid out by hand: memory at 0, marks at 1001, DS at 2002, RS at
// 2066, the user registers at 2130 (all words least significant byte first),
// and the low 16 bits of PC at 2146.
Bytes Layout(const MachineState& s) {
    Bytes b(2148, 0);
    for (int a = 0; a < 1001; ++a) {
        b[static_cast<std::size_t>(a)] = s.Memory[static_cast<std::size_t>(a)];
        b[static_cast<std::size_t>(1001 + a)] = s.BreakpointMarks[static_cast<std::size_t>(a)];
    }
    for (std::size_t i = 0; i < 16; ++i) {
        PutLE(b, 2002 + 4 * i, static_cast<uint32_t>(s.DS[i]));
        PutLE(b, 2066 + 4 * i, static_cast<uint32_t>(s.RS[i]));
    }
    for (std::size_t i = 0; i < 4; ++i)
        PutLE(b, 2130 + 4 * i, static_cast<uint32_t>(s.URD[i]));
    b[2146] = static_cast<uint8_t>(s.PC);
    b[2147] = static_cast<uint8_t>(static_cast<uint32_t>(s.PC) >> 8);
    return b;
}

Bytes Encoded(const MachineState& s) {
    const ImageBytes img = EncodeImage(s);
    return Bytes(img.begin(), img.end());
}

// Every block distinguishable from its neighbours and each word from the next.
MachineState Distinct() {
    MachineState s;
    for (std::size_t a = 0; a < 1001; ++a) {
        s.Memory[a] = static_cast<uint8_t>(a % 251);
        s.BreakpointMarks[a] = a % 3 == 0 ? 1 : 0;
    }
    s.BreakpointMarks[1000] = 0xFE;
    for (std::size_t i = 0; i < 16; ++i) {
        s.DS[i] = static_cast<int32_t>(0xA1000000u + (i << 16) + 0x0102u * i + 3);
        s.RS[i] = static_cast<int32_t>(0xB2000000u + (i << 16) + 0x0304u * i + 5);
    }
    s.DS[0] = 0x11223344;
    s.RS[15] = static_cast<int32_t>(0x80000000u);
    s.URD = {0x01234567, -1, 0x7F, static_cast<int32_t>(0xCAFEBABEu)};
    s.PC = 0x12345678;
    return s;
}

// ---------------------------------------------------------------- layout

TEST(ImageLayout, EveryBlockAtItsOffset) {
    const MachineState s = Distinct();
    const Bytes expected = Layout(s);
    EXPECT_EQ(Encoded(s), expected);

    // A few bytes spelled out, independently of the helper above.
    const Bytes enc = Encoded(s);
    ASSERT_EQ(enc.size(), 2148u);
    EXPECT_EQ(enc[0], 0);
    EXPECT_EQ(enc[252], 1);    // memory 252 = 252 mod 251
    EXPECT_EQ(enc[1000], 247); // memory 1000 = 1000 mod 251
    EXPECT_EQ(enc[1001], 1);   // mark of address 0
    EXPECT_EQ(enc[1002], 0);   // mark of address 1
    EXPECT_EQ(enc[2001], 0xFE);
    EXPECT_EQ((Bytes{enc[2002], enc[2003], enc[2004], enc[2005]}), (Bytes{0x44, 0x33, 0x22, 0x11}));
    EXPECT_EQ((Bytes{enc[2126], enc[2127], enc[2128], enc[2129]}),
              (Bytes{0x00, 0x00, 0x00, 0x80})); // deepest RS entry
    EXPECT_EQ((Bytes{enc[2130], enc[2131], enc[2132], enc[2133]}),
              (Bytes{0x67, 0x45, 0x23, 0x01})); // URD0
    EXPECT_EQ((Bytes{enc[2142], enc[2143], enc[2144], enc[2145]}),
              (Bytes{0xBE, 0xBA, 0xFE, 0xCA})); // URD3
    EXPECT_EQ((Bytes{enc[2146], enc[2147]}), (Bytes{0x78, 0x56}));

    TempDir dir;
    MessageRecorder rec;
    ASSERT_TRUE(SaveDmp(s, dir.file("a.emu")));
    EXPECT_EQ(ReadFile(dir.file("a.emu")), expected);
    EXPECT_TRUE(rec.messages.empty());
    EXPECT_EQ(dir.names(), std::vector<std::string>{"a.emu"});
}

TEST(ImageLayout, ZeroedMachineSavesAllZeros) {
    TempDir dir;
    MachineState s = Distinct();
    s.Reset();
    ASSERT_TRUE(SaveDmp(s, dir.file("new.emu")));
    EXPECT_EQ(ReadFile(dir.file("new.emu")), Bytes(2148, 0));
}

struct PcCase {
    int32_t pc;
    uint8_t lo, hi;
    int32_t loaded;
};

class ImagePc : public ::testing::TestWithParam<PcCase> {};

TEST_P(ImagePc, OnlyTheLow16BitsTravel) {
    const PcCase c = GetParam();
    MachineState s;
    s.PC = c.pc;
    const Bytes enc = Encoded(s);
    EXPECT_EQ(enc[2146], c.lo);
    EXPECT_EQ(enc[2147], c.hi);

    MachineState back;
    back.PC = -1; // upper bits must not survive a load
    DecodeImage(back, enc.data(), enc.size());
    EXPECT_EQ(back.PC, c.loaded);
}

INSTANTIATE_TEST_SUITE_P(Table, ImagePc,
                         ::testing::Values(PcCase{0x12345678, 0x78, 0x56, 0x5678},
                                           PcCase{-2, 0xFE, 0xFF, 0xFFFE},
                                           PcCase{65536 + 5, 0x05, 0x00, 5},
                                           PcCase{0xFFFF, 0xFF, 0xFF, 0xFFFF},
                                           PcCase{996, 0xE4, 0x03, 996}));

// ---------------------------------------------------------------- round trips

TEST(ImageRoundTrip, RestoresEverythingButFlIrAndC) {
    TempDir dir;
    std::mt19937 rng(20240611);
    for (int round = 0; round < 20; ++round) {
        MachineState src;
        for (auto& b : src.Memory)
            b = static_cast<uint8_t>(rng());
        for (auto& b : src.BreakpointMarks)
            b = static_cast<uint8_t>(rng()); // any byte value is taken as it stands
        for (auto& w : src.DS)
            w = static_cast<int32_t>(rng());
        for (auto& w : src.RS)
            w = static_cast<int32_t>(rng());
        for (auto& w : src.URD)
            w = static_cast<int32_t>(rng());
        src.PC = static_cast<int32_t>(rng());
        src.FL = false;
        src.C = 0;

        MachineState dst = Distinct();
        dst.FL = true;
        dst.C = 1;
        dst.IR.set(0xDEADBEEF);

        MessageRecorder rec;
        const std::string name = dir.file("r.emu");
        ASSERT_TRUE(SaveDmp(src, name));
        ASSERT_TRUE(LoadDmp(dst, name));
        EXPECT_TRUE(rec.messages.empty());
        EXPECT_EQ(dst.Memory, src.Memory);
        EXPECT_EQ(dst.BreakpointMarks, src.BreakpointMarks);
        EXPECT_EQ(dst.DS, src.DS);
        EXPECT_EQ(dst.RS, src.RS);
        EXPECT_EQ(dst.URD, src.URD);
        EXPECT_EQ(dst.PC, static_cast<int32_t>(static_cast<uint32_t>(src.PC) & 0xFFFFu));
        EXPECT_TRUE(dst.FL);
        EXPECT_EQ(dst.C, 1);
        EXPECT_EQ(dst.IR.text(), "DEADBEEF");
    }
}

// ---------------------------------------------------------------- short and long files

MachineState OldState() {
    MachineState s;
    s.Memory.fill(0xAA);
    s.BreakpointMarks.fill(0);
    for (uint32_t i = 0; i < 16; ++i) {
        s.DS[i] = static_cast<int32_t>(0xD0D0D0D0u | i);
        s.RS[i] = static_cast<int32_t>(0xE0E0E0E0u | i);
    }
    for (uint32_t i = 0; i < 4; ++i)
        s.URD[i] = static_cast<int32_t>(0xF0F0F0F0u | i);
    s.PC = 0x0001BEEF;
    s.FL = true;
    s.C = 1;
    s.IR.set(0x12345678);
    return s;
}

MachineState FileState() {
    MachineState s;
    for (std::size_t a = 0; a < 1001; ++a) {
        s.Memory[a] = static_cast<uint8_t>(a);
        s.BreakpointMarks[a] = static_cast<uint8_t>(a * 3 + 1);
    }
    for (uint32_t i = 0; i < 16; ++i) {
        s.DS[i] = static_cast<int32_t>(0x30303030u | i);
        s.RS[i] = static_cast<int32_t>(0x40404040u | i);
    }
    for (uint32_t i = 0; i < 4; ++i)
        s.URD[i] = static_cast<int32_t>(0x50505050u | i);
    s.PC = 0x5634;
    return s;
}

// The file's first `length` bytes (a long file padded with 0xFF).
Bytes FileBytes(std::size_t length) {
    Bytes b = Layout(FileState());
    b.resize(std::max<std::size_t>(length, 2148), 0xFF);
    b.resize(length);
    return b;
}

MachineState LoadBytes(const Bytes& bytes, bool* ok = nullptr, uint64_t* fileBytes = nullptr) {
    TempDir dir;
    WriteFile(dir.file("s.emu"), bytes);
    MachineState s = OldState();
    const bool loaded = LoadDmp(s, dir.file("s.emu"), fileBytes);
    if (ok)
        *ok = loaded;
    return s;
}

class ImageLength : public ::testing::TestWithParam<std::size_t> {};

// Byte k of the image comes from the file when the file has it, else stays.
TEST_P(ImageLength, FileBytesOverlayTheOldState) {
    const std::size_t length = GetParam();
    MessageRecorder rec;
    bool ok = false;
    uint64_t fileBytes = 0;
    const MachineState s = LoadBytes(FileBytes(length), &ok, &fileBytes);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(rec.messages.empty());
    EXPECT_EQ(fileBytes, length) << "the caller is told the whole length";

    const Bytes old = Layout(OldState());
    const Bytes file = Layout(FileState());
    Bytes expected(2148);
    for (std::size_t k = 0; k < 2148; ++k)
        expected[k] = k < length ? file[k] : old[k];
    EXPECT_EQ(Encoded(s), expected);

    if (length <= 2146) {
        EXPECT_EQ(s.PC, 0x0001BEEF); // the PC block is not reached at all
    }
    if (length >= 2148) {
        EXPECT_EQ(s.PC, 0x5634);
    }
    EXPECT_TRUE(s.FL);
    EXPECT_EQ(s.C, 1);
    EXPECT_EQ(s.IR.text(), "12345678");
}

INSTANTIATE_TEST_SUITE_P(Table, ImageLength,
                         ::testing::Values(0, 1, 500, 1000, 1001, 1002, 1500, 2001, 2002, 2003,
                                           2024, 2065, 2066, 2067, 2129, 2131, 2145, 2146, 2147,
                                           2148, 2149, 3000, 10000));

// The words of the message after a file of the wrong length was loaded.
TEST(ImageShortFile, SizeMessagesNameTheByteCount) {
    const std::pair<uint64_t, std::string> cases[] = {
        {0, "короткий файл: 0 байт из 2148"},
        {1, "короткий файл: 1 байт из 2148"},
        {2, "короткий файл: 2 байта из 2148"},
        {4, "короткий файл: 4 байта из 2148"},
        {5, "короткий файл: 5 байт из 2148"},
        {12, "короткий файл: 12 байт из 2148"},
        {22, "короткий файл: 22 байта из 2148"},
        {113, "короткий файл: 113 байт из 2148"},
        {1000, "короткий файл: 1000 байт из 2148"},
        {2147, "короткий файл: 2147 байт из 2148"},
        {2148, ""},
        {2149, "длинный файл: 2149 байт вместо 2148"},
        {2152, "длинный файл: 2152 байта вместо 2148"},
        {5000000000, "длинный файл: 5000000000 байт вместо 2148"}};
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(ImageSizeProblem(bytes), text) << bytes;
        EXPECT_EQ(ImageSizeWarning("a.emu", bytes),
                  text.empty() ? "" : "Загружен файл неверного размера: a.emu\n" + text);
    }
}

TEST(ImageShortFile, BlocksCutPartWay) {
    {
        SCOPED_TRACE("1500 bytes: memory whole, marks of 0..498");
        const MachineState s = LoadBytes(FileBytes(1500));
        EXPECT_EQ(s.Memory[1000], 0xE8);
        EXPECT_EQ(s.BreakpointMarks[498], 0xD7); // 498 * 3 + 1 = 1495
        EXPECT_EQ(s.BreakpointMarks[499], 0);
        EXPECT_EQ(s.DS[0], static_cast<int32_t>(0xD0D0D0D0u));
    }
    {
        SCOPED_TRACE("2024 bytes: DS 0..4 whole, two bytes of DS 5");
        const MachineState s = LoadBytes(FileBytes(2024));
        EXPECT_EQ(s.DS[4], 0x30303034);
        EXPECT_EQ(s.DS[5], static_cast<int32_t>(0xD0D03035u));
        EXPECT_EQ(s.DS[6], static_cast<int32_t>(0xD0D0D0D6u));
        EXPECT_EQ(s.RS[0], static_cast<int32_t>(0xE0E0E0E0u));
    }
    {
        SCOPED_TRACE("2131 bytes: one byte of URD0");
        const MachineState s = LoadBytes(FileBytes(2131));
        EXPECT_EQ(s.RS[15], 0x4040404F);
        EXPECT_EQ(s.URD[0], static_cast<int32_t>(0xF0F0F050u));
        EXPECT_EQ(s.URD[1], static_cast<int32_t>(0xF0F0F0F1u));
    }
    {
        SCOPED_TRACE("2145 bytes: three bytes of URD3");
        const MachineState s = LoadBytes(FileBytes(2145));
        EXPECT_EQ(s.URD[3], static_cast<int32_t>(0xF0505053u));
        EXPECT_EQ(s.PC, 0x0001BEEF);
    }
    {
        SCOPED_TRACE("2147 bytes: the low byte of PC");
        const MachineState s = LoadBytes(FileBytes(2147));
        EXPECT_EQ(static_cast<uint32_t>(s.PC) & 0xFFFFu, 0xBE34u);
    }
}

// ---------------------------------------------------------------- loads that fail or succeed oddly

TEST(ImageLoadFailure, MissingFileIsReportedAndChangesNothing) {
    TempDir dir;
    const std::string name = dir.file("missing.emu");
    MachineState s = OldState();
    const MachineState before = s;
    MessageRecorder rec;
    EXPECT_FALSE(LoadDmp(s, name));
    EXPECT_EQ(rec.messages, std::vector<std::string>{kReadError + name + "\nнет такого файла"});
    EXPECT_TRUE(s == before);
}

TEST(ImageLoadFailure, DirectoryIsReportedAndChangesNothing) {
    TempDir dir;
    const std::string name = dir.file("folder.emu");
    fs::create_directory(name);
    MachineState s = OldState();
    const MachineState before = s;
    MessageRecorder rec;
    EXPECT_FALSE(LoadDmp(s, name));
    EXPECT_EQ(rec.messages, std::vector<std::string>{kReadError + name + "\nэто папка"});
    EXPECT_TRUE(s == before);
}

// A program that is being executed cannot be opened for writing, not even by
// root; this test program itself is such a file. It must load all the same.
TEST(ImageLoad, FileThatCannotBeOpenedForWritingStillLoads) {
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const Bytes content = ReadFile(self);
    ASSERT_GT(content.size(), 2148u);
    MachineState s = OldState();
    MessageRecorder rec;
    EXPECT_TRUE(LoadDmp(s, self));
    EXPECT_TRUE(rec.messages.empty());
    EXPECT_TRUE(std::equal(s.Memory.begin(), s.Memory.end(), content.begin()));
    EXPECT_EQ(s.PC, content[2146] | (content[2147] << 8));
}

// ---------------------------------------------------------------- saves that fail

TEST(ImageSaveFailure, MissingDirectoryIsReported) {
    TempDir dir;
    const std::string name = dir.file("no/such/dir/a.emu");
    MessageRecorder rec;
    EXPECT_FALSE(SaveDmp(Distinct(), name));
    EXPECT_EQ(rec.messages, std::vector<std::string>{kWriteError + name + "\nнет такой папки"});
    EXPECT_TRUE(dir.names().empty());
}

TEST(ImageSaveFailure, DirectoryInTheWayIsReportedAndKept) {
    TempDir dir;
    const std::string name = dir.file("taken.emu");
    fs::create_directory(name);
    MessageRecorder rec;
    EXPECT_FALSE(SaveDmp(Distinct(), name));
    EXPECT_EQ(rec.messages, std::vector<std::string>{kWriteError + name + "\nэто папка"});
    EXPECT_TRUE(fs::is_directory(name));
    EXPECT_EQ(dir.names(), std::vector<std::string>{"taken.emu"});
}

TEST(ImageSave, ReplacesALongerFileWhole) {
    TempDir dir;
    const std::string name = dir.file("old.emu");
    WriteFile(name, Bytes(5000, 0x5A));
    ASSERT_TRUE(SaveDmp(Distinct(), name));
    EXPECT_EQ(ReadFile(name), Layout(Distinct()));
    EXPECT_EQ(dir.names(), std::vector<std::string>{"old.emu"});
}

TEST(ImageSave, ThroughALinkUpdatesTheLinkedFile) {
    TempDir dir;
    const std::string target = dir.file("real.emu");
    const std::string link = dir.file("link.emu");
    WriteFile(target, Bytes(10, 1));
    fs::create_symlink("real.emu", link);
    ASSERT_TRUE(SaveDmp(Distinct(), link));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(target), Layout(Distinct()));

    // A link to a file not yet there creates that file.
    const std::string dangling = dir.file("later.emu");
    fs::create_symlink("made.emu", dangling);
    ASSERT_TRUE(SaveDmp(Distinct(), dangling));
    EXPECT_TRUE(fs::is_symlink(dangling));
    EXPECT_EQ(ReadFile(dir.file("made.emu")), Layout(Distinct()));
}

TEST(ImageSave, LongestFileNameSaves) {
    TempDir dir;
    const std::string name = dir.file(std::string(251, 'n') + ".emu"); // 255 bytes
    ASSERT_TRUE(SaveDmp(Distinct(), name));
    EXPECT_EQ(ReadFile(name), Layout(Distinct()));
    EXPECT_EQ(dir.names().size(), 1u);
}

struct ChildResult {
    int exitCode = -1;
    std::string message;
};

// SaveDmp in a child whose files may not grow past 1000 bytes, so the write
// fails part way. Exit code 0: SaveDmp returned false; 1: it returned true.
ChildResult SaveUnderSizeLimit(const MachineState& s, const std::string& name) {
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1000, 1000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        SetErrorHandler([&](std::string_view m) {
            if (::write(fds[1], m.data(), m.size()) < 0)
                ::_exit(3);
        });
        const bool ok = SaveDmp(s, name);
        ::_exit(ok ? 1 : 0);
    }
    ::close(fds[1]);
    ChildResult r;
    char buf[512];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        r.message.append(buf, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
    return r;
}

TEST(ImageSaveFailure, WriteFailingPartWayKeepsTheOldFile) {
    TempDir dir;
    const std::string name = dir.file("keep.emu");
    MachineState old = FileState();
    ASSERT_TRUE(SaveDmp(old, name));
    const Bytes before = ReadFile(name);
    ASSERT_EQ(before.size(), 2148u);

    const ChildResult r = SaveUnderSizeLimit(Distinct(), name);
    EXPECT_EQ(r.exitCode, 0) << "SaveDmp should report failure";
    EXPECT_EQ(r.message, kWriteError + name + "\nфайл слишком велик");
    EXPECT_EQ(ReadFile(name), before);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"keep.emu"}) << "temporary file left";
}

TEST(ImageSaveFailure, WriteFailingPartWayCreatesNothing) {
    TempDir dir;
    const std::string name = dir.file("fresh.emu");
    const ChildResult r = SaveUnderSizeLimit(Distinct(), name);
    EXPECT_EQ(r.exitCode, 0) << "SaveDmp should report failure";
    EXPECT_EQ(r.message, kWriteError + name + "\nфайл слишком велик");
    EXPECT_TRUE(dir.names().empty());
}

// ---------------------------------------------------------------- targets that are not regular
// files

// Makes the target in the folder and returns its name; an empty name means
// this system cannot make it (a device node needs root).
using MakeTarget = std::string (*)(const TempDir&);

struct TargetCase {
    const char* kind;
    MakeTarget make;
    const char* cause; // the same for loading and saving
};

std::string MakeFifo(const TempDir& d) {
    return ::mkfifo(d.file("pipe.emu").c_str(), 0644) == 0 ? d.file("pipe.emu") : "";
}
std::string MakeLinkToFifo(const TempDir& d) {
    fs::create_symlink(MakeFifo(d), d.file("to-pipe.emu"));
    return d.file("to-pipe.emu");
}
std::string MakeLoop(const TempDir& d) {
    fs::create_symlink("b.emu", d.file("a.emu"));
    fs::create_symlink("a.emu", d.file("b.emu"));
    return d.file("a.emu");
}
std::string MakeSelfLink(const TempDir& d) {
    fs::create_symlink("self.emu", d.file("self.emu"));
    return d.file("self.emu");
}
std::string MakeFolder(const TempDir& d) {
    fs::create_directory(d.file("folder.emu"));
    return d.file("folder.emu");
}
std::string MakeDevice(const TempDir& d) {
    // The same device as /dev/null; only root may make it.
    const std::string name = d.file("null.emu");
    return ::mknod(name.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0 ? name : "";
}
std::string MakeFileAsFolder(const TempDir& d) {
    WriteFile(d.file("plain.emu"), Bytes(4, 1));
    return d.file("plain.emu/inner.emu");
}

class ImageTargetKind : public ::testing::TestWithParam<TargetCase> {};

// Neither a load nor a save waits, reads or replaces anything: the folder
// holds the same names of the same kinds afterwards, the state is untouched.
TEST_P(ImageTargetKind, LoadAndSaveAreRefusedWithTheCause) {
    const TargetCase c = GetParam();
    TempDir dir;
    const std::string name = c.make(dir);
    if (name.empty())
        GTEST_SKIP() << c.kind << " cannot be made here";
    const auto kinds = [&] {
        std::vector<std::pair<std::string, fs::file_type>> out;
        for (const std::string& n : dir.names())
            out.emplace_back(n, fs::symlink_status(dir.file(n)).type());
        return out;
    };
    const auto before = kinds();

    ::alarm(30); // a blocking open ends the test program instead of the run
    MachineState s = OldState();
    const MachineState old = s;
    MessageRecorder rec;
    EXPECT_FALSE(LoadDmp(s, name));
    EXPECT_TRUE(s == old);
    EXPECT_FALSE(SaveDmp(Distinct(), name));
    ::alarm(0);

    EXPECT_EQ(rec.messages, (std::vector<std::string>{kReadError + name + "\n" + c.cause,
                                                      kWriteError + name + "\n" + c.cause}));
    EXPECT_EQ(kinds(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ImageTargetKind,
    ::testing::Values(TargetCase{"fifo", MakeFifo, "не обычный файл"},
                      TargetCase{"link to a fifo", MakeLinkToFifo, "не обычный файл"},
                      TargetCase{"link loop", MakeLoop, "слишком много ссылок"},
                      TargetCase{"link to itself", MakeSelfLink, "слишком много ссылок"},
                      TargetCase{"folder", MakeFolder, "это папка"},
                      TargetCase{"device", MakeDevice, "не обычный файл"},
                      TargetCase{"file used as a folder", MakeFileAsFolder,
                                 "часть пути не является папкой"}),
    [](const auto& info) {
        std::string n = info.param.kind;
        std::replace(n.begin(), n.end(), ' ', '_');
        return n;
    });

// Runs `body` in a child process as an ordinary user (when the test runs as
// root) and returns the child's exit status.
template <typename Body> int AsOrdinaryUser(Body body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(99);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

TEST(ImageSaveFailure, ProtectedFolderAndFileNameTheCause) {
    TempDir dir;
    fs::permissions(dir.path(), fs::perms(0755));
    fs::create_directory(dir.file("locked"));
    WriteFile(dir.file("readonly.emu"), Bytes(3, 7));
    fs::permissions(dir.file("readonly.emu"), fs::perms(0444));
    fs::permissions(dir.file("locked"), fs::perms(0555));

    struct Case {
        std::string name, cause;
    };
    const Case cases[] = {{dir.file("locked/new.emu"), "папка защищена от записи"},
                          {dir.file("readonly.emu"), "файл защищён от записи"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int status = AsOrdinaryUser([&] {
            std::string message;
            SetErrorHandler([&](std::string_view m) { message = m; });
            const bool saved = SaveDmp(Distinct(), c.name);
            return !saved && message == kWriteError + c.name + "\n" + c.cause ? 0 : 1;
        });
        EXPECT_EQ(status, 0);
    }
    EXPECT_EQ(ReadFile(dir.file("readonly.emu")), Bytes(3, 7));
    EXPECT_TRUE(fs::is_empty(dir.file("locked")));
}

// A file the user may write in a folder the user may not (a class folder
// with mode 555) has no room beside it for a temporary file: it is written in
// place, the same file with its mode, owner and hard links. Under a file size
// limit of 1000 bytes the write fails part way and the old content is put back.
TEST(ImageSave, WritableFileInAProtectedFolderIsWrittenInPlace) {
    for (const bool limited : {false, true}) {
        for (const std::size_t oldLength : {0, 3, 2148, 5000}) {
            SCOPED_TRACE(std::to_string(oldLength) + (limited ? " limited" : ""));
            TempDir dir;
            fs::permissions(dir.path(), fs::perms(0755));
            fs::create_directory(dir.file("class"));
            const std::string name = dir.file("class/student.emu");
            const std::string link = dir.file("class/second-name.emu");
            Bytes old(oldLength);
            for (std::size_t i = 0; i < oldLength; ++i)
                old[i] = static_cast<uint8_t>(i * 7 + 1);
            WriteFile(name, old);
            ASSERT_EQ(::link(name.c_str(), link.c_str()), 0);
            ASSERT_EQ(::chmod(name.c_str(), 0646), 0); // the ordinary user may write it
            fs::permissions(dir.file("class"), fs::perms(0555));
            struct stat before {};
            ASSERT_EQ(::stat(name.c_str(), &before), 0);

            const int status = AsOrdinaryUser([&] {
                std::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{1000, 1000};
                if (limited)
                    ::setrlimit(RLIMIT_FSIZE, &limit);
                std::string message;
                SetErrorHandler([&](std::string_view m) { message = m; });
                const bool saved = SaveDmp(Distinct(), name);
                return saved == !limited &&
                               message ==
                                   (limited ? kWriteError + name + "\nфайл слишком велик" : "")
                           ? 0
                           : 1;
            });
            if (status == 99)
                GTEST_SKIP() << "cannot run as an ordinary user here";
            EXPECT_EQ(status, 0);
            struct stat after {};
            ASSERT_EQ(::stat(name.c_str(), &after), 0);
            EXPECT_EQ(ReadFile(link), limited ? old : Layout(Distinct()));
            EXPECT_EQ(after.st_ino, before.st_ino);
            EXPECT_EQ(after.st_mode, before.st_mode);
            EXPECT_EQ(after.st_uid, before.st_uid);
            EXPECT_EQ(after.st_nlink, 2u);
            fs::permissions(dir.file("class"), fs::perms(0755));
            EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("class")), {}), 2)
                << "nothing left beside it";
        }
    }
}

// Every errno has a one-line reason; the common ones are worded for the user.
TEST(FileErrorCause, OneLineForEveryErrno) {
    for (int e = 1; e < 140; ++e) {
        for (bool writing : {false, true}) {
            const std::string text = FileErrorCause(e, writing);
            EXPECT_FALSE(text.empty()) << e;
            EXPECT_EQ(text.find('\n'), std::string::npos) << e;
        }
    }
    EXPECT_EQ(FileErrorCause(ENOSPC, true), "диск заполнен");
    EXPECT_EQ(FileErrorCause(EACCES, false), "нет доступа");
    EXPECT_NE(FileErrorCause(ENOENT, false), FileErrorCause(ENOENT, true));
}

// Replacing a file keeps its mode, and its owner and group where the process
// may set them (root saving over a student's file leaves it the student's).
TEST(ImageSave, ReplacingKeepsModeAndOwner) {
    TempDir dir;
    const std::string name = dir.file("student.emu");
    WriteFile(name, Bytes(10, 1));
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(name.c_str(), 12345, 23456), 0);
    }
    ASSERT_EQ(::chmod(name.c_str(), 0640), 0);
    struct stat before {};
    ASSERT_EQ(::stat(name.c_str(), &before), 0);

    ASSERT_TRUE(SaveDmp(Distinct(), name));
    struct stat after {};
    ASSERT_EQ(::stat(name.c_str(), &after), 0);
    EXPECT_EQ(ReadFile(name), Layout(Distinct()));
    EXPECT_NE(after.st_ino, before.st_ino) << "replaced, not rewritten in place";
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    if (!root)
        GTEST_SKIP() << "giving the file to another user needs root";
}

} // namespace
