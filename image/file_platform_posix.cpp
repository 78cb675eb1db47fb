// The file layer's system calls on POSIX systems (see file_platform.h).
#include "file_platform.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <unistd.h>

namespace kovar::platform {

int MakeTempFile(std::string& pattern) {
    return ::mkstemp(pattern.data());
}

int KeepOwnerAndMode(int fd, const struct stat& old) {
    // Only root may give a file away; others keep what they may.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0)
        (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    return ::fchmod(fd, old.st_mode & 07777) == 0 ? 0 : errno;
}

int SetNewFileMode(int fd) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return ::fchmod(fd, 0666 & ~mask) == 0 ? 0 : errno;
}

void KeepRunningPastFileSizeLimit() {
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace kovar::platform
