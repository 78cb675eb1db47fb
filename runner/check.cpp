#include "check.h"

#include "load_program.h"
#include "memory_image.h"
#include "show_error.h"
#include "trace_log.h"

namespace kovar::runner {

namespace {

// Puts the previous ShowError handler back when it goes.
class ErrorCatcher {
public:
    explicit ErrorCatcher(std::string* into)
        : previous_(SetErrorHandler([into](std::string_view message) {
              if (into && into->empty())
                  *into = message;
          })) {}
    ~ErrorCatcher() { SetErrorHandler(std::move(previous_)); }
    ErrorCatcher(const ErrorCatcher&) = delete;
    ErrorCatcher& operator=(const ErrorCatcher&) = delete;

private:
    ErrorHandler previous_;
};

} // namespace

std::string_view StopReason(const RunReport& report) {
    if (report.halt)
        return "halt";
    if (report.breakpoint)
        return "breakpoint";
    return "limit";
}

MachineState StartOfTest(const MachineState& loaded, const RunSettings& settings,
                         const TestFile& file, const TestCase& test) {
    MachineState st = loaded;
    if (file.cases || settings.fresh) {
        st.DS.fill(0);
        st.RS.fill(0);
        st.URD.fill(0);
    }
    st.FL = settings.fl;
    ApplyInputs(st, test.inputs);
    return st;
}

RunOutcome RunProgram(Processor& cpu, const RunSettings& settings) {
    if (settings.step) {
        for (uint64_t n = 0; n < settings.steps; ++n)
            cpu.StepPrg();
        return {settings.steps, "steps"};
    }
    const RunReport report = cpu.RunPrg(settings.limit);
    return {report.steps, std::string(StopReason(report))};
}

bool ImageResult::pass() const {
    if (!loadProblem.empty())
        return false;
    for (const CaseResult& c : cases)
        if (!c.pass())
            return false;
    return true;
}

uint64_t ImageResult::steps() const {
    uint64_t n = 0;
    for (const CaseResult& c : cases)
        n += c.steps;
    return n;
}

std::string ImageResult::stop() const {
    if (!loadProblem.empty() || cases.empty())
        return loadProblem;
    for (const CaseResult& c : cases)
        if (!c.pass())
            return c.stop;
    return cases.back().stop;
}

std::size_t ImageResult::mismatchCount() const {
    std::size_t n = 0;
    for (const CaseResult& c : cases)
        n += c.mismatches.size();
    return n;
}

ImageResult CheckImage(const std::string& image, const RunSettings& settings,
                       const TestFile& file) {
    ImageResult result;
    result.image = image;
    MachineState loaded;
    uint64_t bytes = kImageSize;
    {
        ErrorCatcher catcher(&result.error);
        LoadProgram(loaded, image, &bytes);
    }
    if (!result.error.empty()) {
        result.loadProblem = "unreadable";
    } else if (bytes != kImageSize) {
        // A half-saved or foreign file is not the student's program: it is
        // never run, so it can neither pass nor look like a loop.
        result.loadProblem = "size";
        result.error = ImageSizeProblem(bytes);
    }

    TraceLog log;
    log.setEnabled(false);
    ErrorCatcher quiet(nullptr); // the step limit is a stop reason here, not a message
    for (const TestCase& test : file.tests) {
        CaseResult c;
        c.name = test.name;
        if (!result.loadProblem.empty()) {
            c.stop = result.loadProblem;
            result.cases.push_back(std::move(c));
            continue;
        }
        MachineState st = StartOfTest(loaded, settings, file, test);
        Processor cpu(st, log);
        const RunOutcome outcome = RunProgram(cpu, settings);
        c.steps = outcome.steps;
        c.stop = outcome.stop;
        c.ran = true;
        c.mismatches = CheckExpectations(st, test.expected);
        result.cases.push_back(std::move(c));
    }
    return result;
}

} // namespace kovar::runner
