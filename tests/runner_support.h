// Helpers of the runner tests: memory images assembled byte by byte,
// instruction words from their fields, and the runner run as a child process
// with its standard output, standard error and exit code caught.
//
// With KOVAR_CLI_WRAPPER set, every program is started through it (the
// wrapper gets the program's path and then its arguments): the same tests
// then check the WebAssembly build of the programs under Node.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "test_support.h"

namespace kovar::test {

using Bytes = std::vector<uint8_t>;

inline std::string ReadText(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline Bytes ReadBytes(const std::string& name) {
    const std::string s = ReadText(name);
    return Bytes(s.begin(), s.end());
}

inline void WriteBytes(const std::string& name, const Bytes& bytes) {
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

// The program that starts the programs under test, or null for none.
inline const char* CliWrapper() {
    const char* wrapper = std::getenv("KOVAR_CLI_WRAPPER");
    return wrapper != nullptr && *wrapper != '\0' ? wrapper : nullptr;
}

// Skips a case that checks what a program under the wrapper cannot do at all
// (a WebAssembly program has no signals, no owners or modes of files).
#define KOVAR_SKIP_UNDER_WRAPPER(reason)                                                           \
    do {                                                                                           \
        if (::kovar::test::CliWrapper() != nullptr)                                                \
            GTEST_SKIP() << "not under " << ::kovar::test::CliWrapper() << ": " << (reason);       \
    } while (false)

// Runs `program` with the arguments; its standard output goes to `outName`
// (a file in the folder unless given, /dev/full for a full disk).
inline Result Exec(const TempDir& dir, std::string program, const std::vector<std::string>& args,
                   const std::string& outName = "") {
    const std::string outFile = outName.empty() ? dir.file("stdout.txt") : outName;
    const std::string errName = dir.file("stderr.txt");
    std::vector<char*> argv;
    std::string wrapper = CliWrapper() != nullptr ? CliWrapper() : "";
    if (!wrapper.empty())
        argv.push_back(wrapper.data());
    argv.push_back(program.data());
    std::vector<std::string> copy = args;
    for (auto& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
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
    r.out = outName.empty() ? ReadText(outFile) : std::string();
    r.err = ReadText(errName);
    return r;
}

// The runner, kovar3-run.
inline Result RunTool(const TempDir& dir, const std::vector<std::string>& args,
                      const std::string& outName = "") {
    return Exec(dir, KOVAR3_RUN, args, outName);
}

} // namespace kovar::test
