// An expectation file made from a model solution: the program is run and
// its final state written out, ready for the teacher to edit.
#pragma once

#include <string>

#include "check.h"
#include "expect.h"

namespace kovar::runner {

// Runs the loaded program once per test of `file` (once, as stored, for the
// plain form) and writes an expectation file of the same form: PC, FL, the
// stack entries and user registers that are not zero, and the data words its
// SAVEs changed. A case keeps its name and `set` lines; its `expect` lines
// are replaced by the final state. Comments say how each run stopped and
// which options the check needs (`checkOptions`, e.g. "--fresh").
// Checking the same program against the result with the same options passes.
std::string MakeExpectations(const std::string& image, const MachineState& loaded,
                             const RunSettings& settings, const TestFile& file,
                             const std::string& checkOptions);

} // namespace kovar::runner
