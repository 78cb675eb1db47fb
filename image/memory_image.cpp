#include "memory_image.h"

#include <algorithm>

#include "atomic_file.h"
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
    return WriteFileOrReport(fileName, img.data(), img.size());
}

bool LoadDmp(MachineState& state, const std::string& fileName, std::uint64_t* fileBytes) {
    std::string bytes, cause;
    std::uint64_t length = 0;
    if (!ReadFileBytes(fileName, kImageSize, bytes, &cause, &length)) {
        ShowError("Ошибка чтения файла: " + fileName + "\n" + cause);
        return false;
    }
    DecodeImage(state, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    if (fileBytes)
        *fileBytes = length;
    return true;
}

namespace {

// "байт" after 1, 5 to 20, 21, 25...; "байта" after 2 to 4, 22 to 24...
const char* bytesWord(std::uint64_t n) {
    const std::uint64_t last = n % 10, lastTwo = n % 100;
    return last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14) ? "байта" : "байт";
}

} // namespace

std::string ImageSizeProblem(std::uint64_t fileBytes) {
    if (fileBytes == kImageSize)
        return "";
    const std::string count = std::to_string(fileBytes) + " " + bytesWord(fileBytes);
    const std::string full = std::to_string(kImageSize);
    return fileBytes < kImageSize ? "короткий файл: " + count + " из " + full
                                  : "длинный файл: " + count + " вместо " + full;
}

std::string ImageSizeWarning(const std::string& fileName, std::uint64_t fileBytes) {
    const std::string problem = ImageSizeProblem(fileBytes);
    return problem.empty() ? problem
                           : "Загружен файл неверного размера: " + fileName + "\n" + problem;
}

} // namespace kovar
