// The one place where the runner puts a program into the machine.
#pragma once

#include <string>

#include "machine_state.h"

namespace kovar::runner {

// Loads the program named by `path` into the machine: a memory image, read
// as the simulator's Load reads it, or program text (a name ending in
// ".kasm"), assembled into memory with PC at its start. Assembly errors are
// reported one a line. A file that cannot be read is reported
// through ShowError (its name on the first line, the reason on the second)
// and returns false; the machine is then unchanged.
bool LoadProgram(MachineState& state, const std::string& path);

} // namespace kovar::runner
