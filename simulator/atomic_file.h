// Reading and writing whole files safely: a write goes to a temporary file
// beside the target and is renamed over it only when complete, so a failed
// save never damages the file that was there.
#pragma once

#include <cstddef>
#include <string>

namespace kovar {

// Replaces (or creates) fileName with `size` bytes. Saving over a symbolic
// link writes the file it points to. Returns false when the file could not be
// completely written; the old file is then untouched.
bool WriteFileAtomically(const std::string& fileName, const void* data, std::size_t size);

// Reads at most `maxBytes` bytes of the file (opened read-only) into `out`.
// Returns false when it cannot be opened or read; `out` is then unchanged.
bool ReadFileBytes(const std::string& fileName, std::size_t maxBytes, std::string& out);

} // namespace kovar
