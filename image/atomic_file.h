// Reading and writing whole files safely: a write goes to a temporary file
// beside the target and is renamed over it only when complete, so a failed
// save never damages the file that was there. Only regular files are read or
// replaced: a pipe, a device or a folder is refused without being touched
// (and without waiting for a writer on a pipe).
//
// A file the user may write in a folder the user may not (a shared class
// folder) has no room beside it for a temporary file; it is written in place
// instead: the same file keeps its mode, owner and hard links. Room for the
// new length is reserved first and the old bytes are kept in memory, so that
// a write failing part way (a full disk, a size limit) puts the old content
// back; only when even that fails (the disk itself failing, the program
// killed in the middle) is the file left holding part of the new content.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kovar {

// Replaces (or creates) fileName with `size` bytes. Saving over a symbolic
// link writes the file it points to; a link loop or an existing target that
// is not a regular file is refused. The replacement keeps the old file's mode
// and, where the process may set them, its owner and group; a file written in
// place (see above) stays the same file. Returns false when the file could
// not be completely written; the old file then keeps its content and `cause`
// (when given) receives the reason in a few words.
bool WriteFileAtomically(const std::string& fileName, const void* data, std::size_t size,
                         std::string* cause = nullptr);

// Reads at most `maxBytes` bytes of the regular file fileName (opened
// read-only) into `out`; `fileBytes` (when given) receives the length of the
// whole file, also beyond `maxBytes`. Returns false when it is not a regular
// file or cannot be opened or read; `out` is then unchanged and `cause` (when
// given) receives the reason.
bool ReadFileBytes(const std::string& fileName, std::size_t maxBytes, std::string& out,
                   std::string* cause = nullptr, std::uint64_t* fileBytes = nullptr);

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
