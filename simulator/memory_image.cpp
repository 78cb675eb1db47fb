#include "memory_image.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "show_error.h"

namespace kovar {

namespace {

void putWord(uint8_t* out, int32_t value) {
    const auto v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(v >> (8 * i));
}

int32_t getWord(const uint8_t* in) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<uint32_t>(in[i]) << (8 * i);
    return static_cast<int32_t>(v);
}

void reportWrite(const std::string& name) {
    ShowError("Ошибка записи файла: " + name);
}
void reportRead(const std::string& name) {
    ShowError("Ошибка чтения файла: " + name);
}

bool writeAll(int fd, const uint8_t* data, std::size_t size) {
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

ImageBytes EncodeImage(const MachineState& state) {
    ImageBytes img{};
    std::copy(state.Memory.begin(), state.Memory.end(), img.begin() + kImageMemoryOffset);
    std::copy(state.BreakpointMarks.begin(), state.BreakpointMarks.end(),
              img.begin() + kImageMarksOffset);
    for (int i = 0; i < kStackDepth; ++i) {
        putWord(&img[kImageDSOffset + 4 * i], state.DS[i]);
        putWord(&img[kImageRSOffset + 4 * i], state.RS[i]);
    }
    for (int i = 0; i < kUserRegisters; ++i)
        putWord(&img[kImageURDOffset + 4 * i], state.URD[i]);
    const auto pc = static_cast<uint32_t>(state.PC);
    img[kImagePCOffset] = static_cast<uint8_t>(pc);
    img[kImagePCOffset + 1] = static_cast<uint8_t>(pc >> 8);
    return img;
}

void DecodeImage(MachineState& state, const uint8_t* bytes, std::size_t length) {
    // Overlaying the file's bytes on the current image and decoding the whole
    // gives exactly the rule for short files: what the file lacks stays.
    ImageBytes img = EncodeImage(state);
    length = std::min(length, kImageSize);
    std::copy(bytes, bytes + length, img.begin());

    std::copy(img.begin() + kImageMemoryOffset, img.begin() + kImageMarksOffset,
              state.Memory.begin());
    std::copy(img.begin() + kImageMarksOffset, img.begin() + kImageDSOffset,
              state.BreakpointMarks.begin());
    for (int i = 0; i < kStackDepth; ++i) {
        state.DS[i] = getWord(&img[kImageDSOffset + 4 * i]);
        state.RS[i] = getWord(&img[kImageRSOffset + 4 * i]);
    }
    for (int i = 0; i < kUserRegisters; ++i)
        state.URD[i] = getWord(&img[kImageURDOffset + 4 * i]);
    // PC becomes the 16-bit value read; a file ending before it keeps PC whole.
    if (length > kImagePCOffset)
        state.PC = static_cast<int32_t>(img[kImagePCOffset] |
                                        (static_cast<uint32_t>(img[kImagePCOffset + 1]) << 8));
}

bool SaveDmp(const MachineState& state, const std::string& fileName) {
    const ImageBytes img = EncodeImage(state);
    const std::string target = resolveTarget(fileName);
    const auto slash = target.rfind('/');
    const std::string dir =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    // A short name of our own, so that a target name of any valid length works.
    std::string temp = dir + ".kovar-save-XXXXXX";

    // A file the user may not write is not replaced behind their back.
    if (::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) != 0) {
        reportWrite(fileName);
        return false;
    }

    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        reportWrite(fileName);
        return false;
    }
    bool ok = writeAll(fd, img.data(), img.size());
    ok = ok && ::fchmod(fd, newFileMode(target)) == 0;
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        reportWrite(fileName);
    }
    return ok;
}

bool LoadDmp(MachineState& state, const std::string& fileName) {
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        reportRead(fileName);
        return false;
    }
    ImageBytes buffer{};
    std::size_t length = 0;
    bool ok = true;
    while (length < kImageSize) {
        const ssize_t n = ::read(fd, buffer.data() + length, kImageSize - length);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        if (n == 0)
            break;
        length += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (!ok) {
        reportRead(fileName);
        return false;
    }
    DecodeImage(state, buffer.data(), length);
    return true;
}

} // namespace kovar
