// Checking images against expected values: each image loaded once, each of
// its test cases run without a trace from its own start and compared.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "expect.h"
#include "processor.h"

namespace kovar::runner {

// How each image is run: N single steps, or one Run up to the limit; FL set
// at the start; with `fresh`, a plain expectation file's run starts from
// zeroed stacks, user registers and FL as cases always do.
struct RunSettings {
    bool step = false;
    uint64_t steps = 0;
    uint64_t limit = kDefaultStepLimit;
    bool fl = false;
    bool fresh = false;
};

// Why a Run stopped, in one word; the halt word counts before a breakpoint,
// and both before the limit that the same step may have reached.
std::string_view StopReason(const RunReport& report);

// The machine a test starts from: the loaded image as it is (plain form), or
// for a case and with `fresh` its memory, marks and PC with the stacks, user
// registers and FL zeroed. Then FL is set when asked and the case's `set`
// lines are applied.
MachineState StartOfTest(const MachineState& loaded, const RunSettings& settings,
                         const TestFile& file, const TestCase& test);

struct RunOutcome {
    uint64_t steps = 0;
    std::string stop; // as StopReason, or "steps" after N single steps
};

// Runs the processor as the settings say. The step limit's message goes to
// ShowError as usual.
RunOutcome RunProgram(Processor& cpu, const RunSettings& settings);

struct CaseResult {
    std::string name; // empty in the plain form
    uint64_t steps = 0;
    // "halt", "breakpoint", "limit", "steps", or the image's "unreadable"
    // or "size" when it was not run at all.
    std::string stop;
    bool ran = false;
    std::vector<Mismatch> mismatches;

    bool pass() const { return ran && mismatches.empty(); }
};

struct ImageResult {
    std::string image;
    // "unreadable" (missing, not a file, program text that does not
    // assemble) or "size" (a memory image not of 2148 bytes) when the image
    // was not run, `error` then saying why; otherwise empty.
    std::string loadProblem;
    std::string error;
    std::vector<CaseResult> cases; // one per test of the file, in its order

    bool pass() const;
    // Over all cases: the steps, and the stop reason of the first case that
    // failed (of the last one when all passed).
    uint64_t steps() const;
    std::string stop() const;
    std::size_t mismatchCount() const;
};

// Loads the image into a zeroed machine (a memory image must hold exactly
// 2148 bytes), runs every test of the file without a trace and compares.
// Messages of the load and the run are caught, never shown.
ImageResult CheckImage(const std::string& image, const RunSettings& settings, const TestFile& file);

} // namespace kovar::runner
