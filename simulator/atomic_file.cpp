#include "atomic_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kovar {

namespace {

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The file the image really goes to: through symbolic links to their
// target, so that saving over a link updates the linked file, not the link.
std::string resolveTarget(std::string name) {
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st {};
        if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            break;
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(name.c_str(), buf, sizeof buf - 1);
        if (n <= 0)
            break;
        std::string link(buf, static_cast<std::size_t>(n));
        if (link.front() != '/') {
            const auto slash = name.rfind('/');
            if (slash != std::string::npos)
                link = name.substr(0, slash + 1) + link;
        }
        name = std::move(link);
    }
    return name;
}

mode_t newFileMode(const std::string& target) {
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0)
        return st.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

bool WriteFileAtomically(const std::string& fileName, const void* data, std::size_t size) {
    const std::string target = resolveTarget(fileName);
    const auto slash = target.rfind('/');
    const std::string dir =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    // A short name of our own, so that a target name of any valid length works.
    std::string temp = dir + ".kovar-save-XXXXXX";

    // A file the user may not write is not replaced behind their back.
    if (::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) != 0)
        return false;

    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, static_cast<const char*>(data), size);
    ok = ok && ::fchmod(fd, newFileMode(target)) == 0;
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok)
        ::unlink(temp.c_str());
    return ok;
}

bool ReadFileBytes(const std::string& fileName, std::size_t maxBytes, std::string& out) {
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::string buffer;
    bool ok = true;
    char chunk[65536];
    while (buffer.size() < maxBytes) {
        const std::size_t want = std::min(sizeof chunk, maxBytes - buffer.size());
        const ssize_t n = ::read(fd, chunk, want);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        if (n == 0)
            break;
        buffer.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (ok)
        out = std::move(buffer);
    return ok;
}

} // namespace kovar
