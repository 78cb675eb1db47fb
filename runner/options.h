// The runner's command line: its options, their checks, the usage line and
// the help text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "check.h"

namespace kovar::runner {

enum class Report { None, Text, Json, Csv };

struct Options {
    bool run = false;
    RunSettings settings;
    bool limitGiven = false;
    bool noTrace = false;
    bool state = false;
    bool saveGiven = false;
    std::string saveFile;
    bool expectGiven = false;
    std::string expectFile;
    Report report = Report::None;
    // --make-expect PROGRAM: write an expectation file of its final state.
    bool makeExpectGiven = false;
    std::string makeExpectFile;
    std::vector<std::string> images;

    // Several images, or a report asked for: a summary row per image
    // instead of the trace.
    bool batch() const { return images.size() > 1 || report != Report::None; }
};

enum class Parsed { Run, Help, Version, Error };

// Reads the arguments after the program name. On Error, `error` is the
// message (without the program's name).
Parsed ParseOptions(const std::vector<std::string>& args, Options& out, std::string& error);

// The one-line usage that follows a usage error.
extern const char* const kUsageLine;
// The full --help text, ending in a newline.
extern const char* const kHelpText;

} // namespace kovar::runner
