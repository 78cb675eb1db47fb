// How a program file is told apart by its name: program text (".kasm") is
// assembled, anything else is read as a memory image.
#pragma once

#include <string_view>

namespace kovar {

// True when the name ends in ".kasm" (any case).
bool IsSourceFileName(std::string_view path);

} // namespace kovar
