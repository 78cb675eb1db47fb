// The one place where the runner puts a program into the machine.
#pragma once

#include <cstdint>
#include <string>

#include "machine_state.h"

namespace kovar::runner {

// Loads the program named by `path` into the machine: a memory image, read
// as the simulator's Load reads it, or program text (a name ending in
// ".kasm"), assembled into memory with PC at its start. Assembly errors are
// reported one a line. A file that cannot be read is reported
// through ShowError (its name on the first line, the reason on the second)
// and returns false; the machine is then unchanged. For a memory image,
// `imageBytes` (when given) receives the file's whole length; program text
// leaves it as it is.
bool LoadProgram(MachineState& state, const std::string& path, std::uint64_t* imageBytes = nullptr);

// Reads and assembles a program text file into the machine (as
// ApplyProgram). On a failure the machine is unchanged and `errors` holds one
// message per line ("FILE: строка 3, столбец 5: ...", or the read error with its
// reason on the next line).
bool AssembleFileInto(MachineState& state, const std::string& path, std::string& errors);

} // namespace kovar::runner
