// What the file layer needs from the system beyond the calls every target
// has: the few POSIX calls that WebAssembly's system interface (WASI) lacks.
// file_platform_posix.cpp serves native builds, file_platform_wasi.cpp the
// WebAssembly one; CMake picks one of the two.
#pragma once

#include <string>
#include <sys/stat.h>

namespace kovar::platform {

// Creates and opens a new file whose name is `pattern` with its trailing
// "XXXXXX" replaced (as mkstemp does); returns the descriptor or -1 with errno.
int MakeTempFile(std::string& pattern);

// Gives the open file the owner, group and mode bits of `old` as far as the
// process may (the owner first, as changing it clears set-id bits); returns
// 0 or an errno value for a mode that could not be set.
int KeepOwnerAndMode(int fd, const struct stat& old);

// Gives a new file the mode a created file gets (0666 less the umask);
// returns 0 or an errno value.
int SetNewFileMode(int fd);

// A file-size limit makes a write fail instead of ending the program.
void KeepRunningPastFileSizeLimit();

} // namespace kovar::platform
