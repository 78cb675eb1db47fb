// Start-up of the command-line programs built for WebAssembly: a WASI
// program starts in "/", so it enters the folder its launcher (kovar-wasi)
// names, and relative file names mean what they mean to the user.
#include <cstdlib>
#include <unistd.h>

namespace {

[[maybe_unused]] const bool kEntered = [] {
    const char* folder = std::getenv("KOVAR_WASI_CWD");
    if (folder != nullptr && ::chdir(folder) == 0)
        ::unsetenv("KOVAR_WASI_CWD");
    return true;
}();

} // namespace
