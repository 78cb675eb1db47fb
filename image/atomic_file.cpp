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
    if (exists && ::access(target.c_str(), W_OK) != 0)
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
        return fail(cause, err == EACCES || err == EPERM ? std::string("папка защищена от записи")
                                                         : FileErrorCause(err, true));
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
                   std::string* cause) {
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
