// The memory image file ("emu"): 2148 bytes without header holding memory,
// breakpoint marks, both stacks, the user registers and the low 16 bits of PC.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "machine_state.h"

namespace kovar {

inline constexpr std::size_t kImageSize = 2148;
inline constexpr std::size_t kImageMemoryOffset = 0;
inline constexpr std::size_t kImageMarksOffset = 1001;
inline constexpr std::size_t kImageDSOffset = 2002;
inline constexpr std::size_t kImageRSOffset = 2066;
inline constexpr std::size_t kImageURDOffset = 2130;
inline constexpr std::size_t kImagePCOffset = 2146;

using ImageBytes = std::array<uint8_t, kImageSize>;

ImageBytes EncodeImage(const MachineState& state);
// Takes the first `length` bytes of an image into the state: a block cut by
// the end keeps its old contents after the bytes present, later blocks keep
// theirs. FL, IR and C are never touched.
void DecodeImage(MachineState& state, const uint8_t* bytes, std::size_t length);

// Writes the image through a temporary file renamed over the target, so a
// failed save leaves any earlier file intact. Failures are reported with
// ShowError ("Ошибка записи файла: <name>" and the reason on a second line)
// and return false.
bool SaveDmp(const MachineState& state, const std::string& fileName);

// Reads the file (opened read-only) into the state. Anything but a regular
// file, and a file that cannot be opened or read, is reported ("Ошибка
// чтения файла: <name>" and the reason on a second line), returns false and
// leaves the state unchanged. A file of another length than kImageSize loads
// as DecodeImage takes it, silently: `fileBytes` (when given) receives the
// file's whole length, so that the caller can tell the user
// (ImageSizeWarning).
bool LoadDmp(MachineState& state, const std::string& fileName, std::uint64_t* fileBytes = nullptr);

// What is wrong with an image file of `fileBytes` bytes, in one line:
// "короткий файл: 1000 байт из 2148" or "длинный файл: 3000 байт вместо
// 2148"; empty for a file of exactly kImageSize bytes.
std::string ImageSizeProblem(std::uint64_t fileBytes);

// The message after a file of the wrong size was loaded all the same: the
// heading "Загружен файл неверного размера: <name>" and ImageSizeProblem on a
// second line; empty for a file of exactly kImageSize bytes.
std::string ImageSizeWarning(const std::string& fileName, std::uint64_t fileBytes);

} // namespace kovar
