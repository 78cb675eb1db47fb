// The file layer's system calls under WebAssembly's system interface (see
// file_platform.h): files there have no owners and no mode bits, and there
// are no signals.
#include "file_platform.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace kovar::platform {

int MakeTempFile(std::string& pattern) {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const std::size_t start = pattern.size() - 6;
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[6];
        if (::getentropy(random, sizeof random) != 0)
            return -1;
        for (std::size_t i = 0; i < 6; ++i)
            pattern[start + i] = kLetters[random[i] % (sizeof kLetters - 1)];
        const int fd = ::open(pattern.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

int KeepOwnerAndMode(int, const struct stat&) {
    return 0;
}

int SetNewFileMode(int) {
    return 0;
}

void KeepRunningPastFileSizeLimit() {}

} // namespace kovar::platform
