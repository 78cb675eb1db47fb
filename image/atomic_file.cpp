#include "atomic_file.h"

#include "file_platform.h"
#include "show_error.h"

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

// As many links as the system itself follows before it gives up with ELOOP.
constexpr int kMaxLinks = 40;

bool fail(std::string* cause, std::string text) {
    if (cause)
        *cause = std::move(text);
    return false;
}

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

// The file the data really goes to: through symbolic links to their target,
// so that saving over a link updates the linked file, not the link. On
// return `name` is the target and `st` describes it when `exists` is set.
// Returns 0, or the errno that makes the name unusable (ELOOP for a loop).
int resolveTarget(std::string& name, struct stat& st, bool& exists) {
    exists = false;
    for (int depth = 0;; ++depth) {
        if (::lstat(name.c_str(), &st) != 0)
            return errno == ENOENT ? 0 : errno; // a file not yet there is made
        if (!S_ISLNK(st.st_mode)) {
            exists = true;
            return 0;
        }
        if (depth == kMaxLinks)
            return ELOOP;
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(name.c_str(), buf, sizeof buf);
        if (n < 0)
            return errno;
        if (n == 0 || static_cast<std::size_t>(n) == sizeof buf)
            return ENAMETOOLONG;
        std::string link(buf, static_cast<std::size_t>(n));
        if (link.front() != '/') {
            const auto slash = name.rfind('/');
            if (slash != std::string::npos)
                link = name.substr(0, slash + 1) + link;
        }
        name = std::move(link);
    }
}

// Makes the data durable in its folder once renamed; a folder that cannot be
// synced (some file systems refuse) does not make the save fail.
void syncFolder(const std::string& dir) {
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Reads exactly `size` bytes at `offset`; false on an error or an early end.
bool readAllAt(int fd, char* out, std::size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t n = ::pread(fd, out, size, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        out += n;
        offset += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool writeAllAt(int fd, const char* data, std::size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        offset += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Writes the data over the existing file itself, for a file whose folder has
// no room for a temporary file: the inode, and with it the mode, the owner
// and every hard link, stays. Room for the new length is reserved before the
// first byte changes, and the bytes about to be overwritten are kept, so a
// write that fails part way puts them back. Returns 0 or the errno.
int writeInPlace(const std::string& target, const char* data, std::size_t size) {
    // Read access is only needed to keep the old bytes; a file that may be
    // written but not read is written without that net.
    int fd = ::open(target.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const bool canRestore = fd >= 0;
    if (fd < 0 && (errno == EACCES || errno == EPERM))
        fd = ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) { // replaced since it was looked at
        ::close(fd);
        return ENXIO;
    }
    const auto oldSize = static_cast<std::size_t>(st.st_size);
    std::string kept(canRestore ? std::min(oldSize, size) : 0, '\0');
    int err = 0;
    errno = 0;
    if (!readAllAt(fd, kept.data(), kept.size(), 0))
        err = errno != 0 ? errno : EIO;
    bool grown = false;
    if (err == 0 && size > oldSize) {
        const int r = ::posix_fallocate(fd, 0, static_cast<off_t>(size));
        // A file system that cannot reserve space is written all the same.
        if (r != 0 && r != EOPNOTSUPP && r != EINVAL)
            err = r;
        grown = r == 0;
    }
    if (err != 0) {
        if (grown)
            (void)::ftruncate(fd, static_cast<off_t>(oldSize));
        ::close(fd);
        return err;
    }

    if (!writeAllAt(fd, data, size, 0))
        err = errno;
    if (err == 0 && oldSize > size && ::ftruncate(fd, static_cast<off_t>(size)) != 0)
        err = errno;
    if (err == 0 && ::fsync(fd) != 0)
        err = errno;
    if (err != 0 && canRestore) {
        // Put back what was there, as far as the system lets us.
        if (writeAllAt(fd, kept.data(), kept.size(), 0))
            (void)::ftruncate(fd, static_cast<off_t>(oldSize));
        (void)::fsync(fd);
    }
    if (::close(fd) != 0 && err == 0)
        err = errno;
    return err;
}

} // namespace

std::string NotRegularCause(bool isDirectory) {
    return isDirectory ? "это папка" : "не обычный файл";
}

std::string FileErrorCause(int error, bool writing) {
    switch (error) {
    case EACCES:
    case EPERM: return "нет доступа";
    case ENOENT: return writing ? "нет такой папки" : "нет такого файла";
    case ENOTDIR: return "часть пути не является папкой";
    case EISDIR: return NotRegularCause(true);
    case ELOOP: return "слишком много ссылок";
    case ENAMETOOLONG: return "слишком длинное имя";
    case ENOSPC: return "диск заполнен";
    case EDQUOT: return "превышена квота диска";
    case EFBIG: return "файл слишком велик";
    case EROFS: return "диск защищён от записи";
    case EIO: return "ошибка ввода-вывода";
    case ETXTBSY:
    case EBUSY: return "файл занят";
    case EMFILE:
    case ENFILE: return "открыто слишком много файлов";
    case ENOMEM: return "не хватает памяти";
    case ENXIO:
    case ENODEV: return NotRegularCause(false);
    default: return "системная ошибка " + std::to_string(error);
    }
}

bool WriteFileAtomically(const std::string& fileName, const void* data, std::size_t size,
                         std::string* cause) {
    std::string target = fileName;
    struct stat old {};
    bool exists = false;
    if (const int err = resolveTarget(target, old, exists); err != 0)
        return fail(cause, FileErrorCause(err, true));

    // Only a regular file is replaced: a device, pipe or folder of that name
    // stays as it is.
    if (exists && !S_ISREG(old.st_mode))
        return fail(cause, NotRegularCause(S_ISDIR(old.st_mode)));
    // A file the user may not write is not replaced behind their back.
    if (exists && platform::WriteAccess(target) != 0)
        return fail(cause, errno == EACCES ? std::string("файл защищён от записи")
                                           : FileErrorCause(errno, true));

    const auto slash = target.rfind('/');
    const std::string dir =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    // A short name of our own, so that a target name of any valid length works.
    std::string temp = dir + ".kovar-save-XXXXXX";
    const int fd = platform::MakeTempFile(temp);
    if (fd < 0) {
        const int err = errno;
        if (err != EACCES && err != EPERM)
            return fail(cause, FileErrorCause(err, true));
        // No room beside it: a file the user may write is written in place,
        // a new one cannot be made at all.
        if (!exists)
            return fail(cause, "папка защищена от записи");
        if (const int e = writeInPlace(target, static_cast<const char*>(data), size); e != 0)
            return fail(cause, FileErrorCause(e, true));
        return true;
    }

    int err = 0;
    if (!writeAll(fd, static_cast<const char*>(data), size))
        err = errno;
    if (err == 0)
        err = exists ? platform::KeepOwnerAndMode(fd, old) : platform::SetNewFileMode(fd);
    if (err == 0 && ::fsync(fd) != 0)
        err = errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err == 0 && ::rename(temp.c_str(), target.c_str()) != 0)
        err = errno;
    if (err != 0) {
        ::unlink(temp.c_str());
        return fail(cause, FileErrorCause(err, true));
    }
    syncFolder(dir);
    return true;
}

bool ReadFileBytes(const std::string& fileName, std::size_t maxBytes, std::string& out,
                   std::string* cause, std::uint64_t* fileBytes) {
    // Looked at before opening, so that opening a device has no effect on it;
    // looked at again after, in case the name changed in between. The open
    // itself never waits (a pipe without a writer would block it for good).
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0)
        return fail(cause, FileErrorCause(errno, false));
    if (!S_ISREG(st.st_mode))
        return fail(cause, NotRegularCause(S_ISDIR(st.st_mode)));
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return fail(cause, FileErrorCause(errno, false));
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(cause, NotRegularCause(S_ISDIR(st.st_mode)));
    }
    if (const int flags = ::fcntl(fd, F_GETFL); flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);

    std::string buffer;
    int err = 0;
    char chunk[65536];
    while (buffer.size() < maxBytes) {
        const std::size_t want = std::min(sizeof chunk, maxBytes - buffer.size());
        const ssize_t n = ::read(fd, chunk, want);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            break;
        }
        if (n == 0)
            break;
        buffer.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (err != 0)
        return fail(cause, FileErrorCause(err, false));
    // The length as the system gives it, or what was read where it says
    // less (files of some virtual file systems claim to be empty).
    if (fileBytes)
        *fileBytes = std::max<std::uint64_t>(static_cast<std::uint64_t>(st.st_size), buffer.size());
    out = std::move(buffer);
    return true;
}

namespace {

void reportFileError(const char* what, const std::string& name, const std::string& cause) {
    std::string message = what + name;
    if (!cause.empty())
        message += "\n" + cause;
    ShowError(message);
}

} // namespace

bool WriteFileOrReport(const std::string& fileName, const void* data, std::size_t size) {
    std::string cause;
    if (WriteFileAtomically(fileName, data, size, &cause))
        return true;
    reportFileError("Ошибка записи файла: ", fileName, cause);
    return false;
}

bool ReadFileOrReport(const std::string& fileName, std::size_t maxBytes, std::string& out) {
    std::string cause;
    if (ReadFileBytes(fileName, maxBytes, out, &cause))
        return true;
    reportFileError("Ошибка чтения файла: ", fileName, cause);
    return false;
}

} // namespace kovar
