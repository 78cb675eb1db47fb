// Reading and writing whole files safely: a write goes to a temporary file
// beside the target and is renamed over it only when complete, so a failed
// save never damages the file that was there. Only regular files are read or
// replaced: a pipe, a device or a folder is refused without being touched
// (and without waiting for a writer on a pipe).
#pragma once

#include <cstddef>
#include <string>

namespace kovar {

// Replaces (or creates) fileName with `size` bytes. Saving over a symbolic
// link writes the file it points to; a link loop or an existing target that
// is not a regular file is refused. The replacement keeps the old file's mode
// and, where the process may set them, its owner and group. Returns false
// when the file could not be completely written; the old file is then
// untouched and `cause` (when given) receives the reason in a few words.
bool WriteFileAtomically(const std::string& fileName, const void* data, std::size_t size,
                         std::string* cause = nullptr);

// Reads at most `maxBytes` bytes of the regular file fileName (opened
// read-only) into `out`. Returns false when it is not a regular file or
// cannot be opened or read; `out` is then unchanged and `cause` (when given)
// receives the reason.
bool ReadFileBytes(const std::string& fileName, std::size_t maxBytes, std::string& out,
                   std::string* cause = nullptr);

// The same, reporting a failure through ShowError: "Ошибка записи файла: " or
// "Ошибка чтения файла: " and the name on the first line, the reason on the
// second.
bool WriteFileOrReport(const std::string& fileName, const void* data, std::size_t size);
bool ReadFileOrReport(const std::string& fileName, std::size_t maxBytes, std::string& out);

// What went wrong, in the user's words, for an errno value met while reading
// (`writing` false) or writing a file.
std::string FileErrorCause(int error, bool writing);

// The cause given for an existing name that is not a regular file.
std::string NotRegularCause(bool isDirectory);

} // namespace kovar
