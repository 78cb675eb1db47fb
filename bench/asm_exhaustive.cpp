// Disassembles every 32-bit word and, with --roundtrip, assembles each text
// back and compares it with the word. Reports the time and the rate.
//
//   asm_exhaustive [--roundtrip] [--threads N] [--first W] [--count N]
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "assembler.h"
#include "disassembler.h"

int main(int argc, char** argv) {
    bool roundTrip = false;
    unsigned threads = std::thread::hardware_concurrency();
    uint64_t first = 0, count = uint64_t{1} << 32;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto number = [&]() -> uint64_t {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s needs a number\n", a.c_str());
                std::exit(2);
            }
            return std::strtoull(argv[++i], nullptr, 0);
        };
        if (a == "--roundtrip")
            roundTrip = true;
        else if (a == "--threads")
            threads = static_cast<unsigned>(number());
        else if (a == "--first")
            first = number();
        else if (a == "--count")
            count = number();
        else {
            std::fprintf(stderr, "usage: asm_exhaustive [--roundtrip] [--threads N] [--first W] "
                                 "[--count N]\n");
            return 2;
        }
    }
    if (threads == 0)
        threads = 1;
    if (first + count > (uint64_t{1} << 32))
        count = (uint64_t{1} << 32) - first;

    std::atomic<uint64_t> failures{0}, checksum{0};
    std::atomic<uint64_t> firstFailure{~uint64_t{0}};
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            const uint64_t begin = first + count * t / threads;
            const uint64_t end = first + count * (t + 1) / threads;
            char buf[kovar::kMaxDisassemblyLength];
            uint64_t sum = 0, bad = 0;
            for (uint64_t w = begin; w < end; ++w) {
                const auto word = static_cast<uint32_t>(w);
                const std::size_t n = kovar::DisassembleTo(word, buf);
                sum += n + static_cast<unsigned char>(buf[n - 1]);
                if (roundTrip) {
                    uint32_t back = 0;
                    if (!kovar::AssembleOne(std::string_view(buf, n), back) || back != word) {
                        if (bad++ == 0) {
                            uint64_t expected = ~uint64_t{0};
                            firstFailure.compare_exchange_strong(expected, w);
                        }
                    }
                }
            }
            checksum += sum;
            failures += bad;
        });
    for (auto& th : pool)
        th.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s %llu words from 0x%08llX with %u threads: %.2f s, %.1f M words/s "
                "(checksum %llu)\n",
                roundTrip ? "disassembled and assembled back" : "disassembled",
                static_cast<unsigned long long>(count), static_cast<unsigned long long>(first),
                threads, seconds, static_cast<double>(count) / seconds / 1e6,
                static_cast<unsigned long long>(checksum.load()));
    if (failures != 0) {
        std::printf("%llu words did not come back; the first is 0x%08llX\n",
                    static_cast<unsigned long long>(failures.load()),
                    static_cast<unsigned long long>(firstFailure.load()));
        return 1;
    }
    return 0;
}
