#include "check.h"

#include "load_program.h"
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

// The length of the UTF-8 sequence starting at s[i], or 0 when it is not one.
std::size_t utf8Length(std::string_view s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    std::size_t n;
    uint32_t cp;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1Fu;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0Fu;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07u;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0u) != 0x80u)
            return 0;
        cp = cp << 6 | (byte(i + k) & 0x3Fu);
    }
    const bool overlong = (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000);
    const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    return overlong || surrogate || cp > 0x10FFFF ? 0 : n;
}

} // namespace

std::string_view StopReason(const RunReport& report) {
    if (report.halt)
        return "halt";
    if (report.breakpoint)
        return "breakpoint";
    return "limit";
}

ImageResult CheckImage(const std::string& image, const RunSettings& settings,
                       const std::vector<Expectation>& expected) {
    ImageResult result;
    result.image = image;
    MachineState state;
    {
        ErrorCatcher catcher(&result.error);
        LoadProgram(state, image);
    }
    if (!result.error.empty()) {
        result.stop = "unreadable";
        return result;
    }
    state.FL = settings.fl;

    TraceLog log;
    log.setEnabled(false);
    Processor cpu(state, log);
    if (settings.step) {
        for (uint64_t n = 0; n < settings.steps; ++n)
            cpu.StepPrg();
        result.steps = settings.steps;
        result.stop = "steps";
    } else {
        ErrorCatcher quiet(nullptr); // the step limit is a stop reason here, not a message
        const RunReport report = cpu.RunPrg(settings.limit);
        result.steps = report.steps;
        result.stop = StopReason(report);
    }
    result.mismatches = CheckExpectations(state, expected);
    return result;
}

std::string TextRow(const ImageResult& r) {
    return r.image + '\t' + std::to_string(r.steps) + '\t' + r.stop + '\t' +
           (r.pass() ? "PASS" : "FAIL") + '\t' + std::to_string(r.mismatches.size());
}

std::string JsonString(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t n = utf8Length(text, i);
        if (n == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out.append(text.substr(i, n));
        }
        i += n;
    }
    out += '"';
    return out;
}

std::string JsonReport(const std::vector<ImageResult>& results) {
    std::size_t passed = 0;
    std::string out = "{\n  \"images\": [";
    for (std::size_t i = 0; i < results.size(); ++i) {
        const ImageResult& r = results[i];
        passed += r.pass() ? 1 : 0;
        out += i ? ",\n    {" : "\n    {";
        out += "\"image\": " + JsonString(r.image);
        out += ", \"steps\": " + std::to_string(r.steps);
        out += ", \"stop\": " + JsonString(r.stop);
        out += std::string(", \"pass\": ") + (r.pass() ? "true" : "false");
        if (!r.error.empty())
            out += ", \"error\": " + JsonString(r.error);
        out += ", \"mismatches\": [";
        for (std::size_t k = 0; k < r.mismatches.size(); ++k) {
            const Mismatch& m = r.mismatches[k];
            out += k ? ", {" : "{";
            out += "\"name\": " + JsonString(m.name) + ", \"expected\": " + JsonString(m.expected) +
                   ", \"got\": " + JsonString(m.actual) + ", \"text\": " + JsonString(m.text()) +
                   "}";
        }
        out += "]}";
    }
    out += results.empty() ? "],\n" : "\n  ],\n";
    out += "  \"passed\": " + std::to_string(passed) +
           ",\n  \"failed\": " + std::to_string(results.size() - passed) + "\n}\n";
    return out;
}

} // namespace kovar::runner
