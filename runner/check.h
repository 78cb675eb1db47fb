// Checking images against expected values: one image at a time, without a
// trace, and the summary of many as text rows or JSON.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "expect.h"
#include "processor.h"

namespace kovar::runner {

// How each image is run: N single steps, or one Run up to the limit.
struct RunSettings {
    bool step = false;
    uint64_t steps = 0;
    uint64_t limit = kDefaultStepLimit;
    bool fl = false;
};

struct ImageResult {
    std::string image;
    uint64_t steps = 0;
    // "halt", "breakpoint", "limit", "steps" (after N single steps) or
    // "unreadable" (the image could not be loaded; `error` says why).
    std::string stop;
    std::string error;
    std::vector<Mismatch> mismatches;

    bool pass() const { return error.empty() && mismatches.empty(); }
};

// Why a Run stopped, in one word; the halt word counts before a breakpoint,
// and both before the limit that the same step may have reached.
std::string_view StopReason(const RunReport& report);

// Loads the image into a zeroed machine, runs it without a trace and
// compares the result. Messages of the load and the run are caught, never
// shown: a load failure becomes the result's `error`.
ImageResult CheckImage(const std::string& image, const RunSettings& settings,
                       const std::vector<Expectation>& expected);

// One line without its newline: image, steps, stop reason, PASS or FAIL and
// the number of mismatches, separated by tabs.
std::string TextRow(const ImageResult& result);

// The whole report as one JSON document, ending in a newline.
std::string JsonReport(const std::vector<ImageResult>& results);

// A JSON string literal with its quotes; bytes that are not UTF-8 become U+FFFD.
std::string JsonString(std::string_view text);

} // namespace kovar::runner
