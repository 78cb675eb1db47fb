#include "report.h"

#include <array>
#include <cstdint>

namespace kovar::runner {

namespace {

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

// The text with every byte that is not UTF-8 replaced by U+FFFD.
std::string validUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = utf8Length(text, i);
        out.append(n == 0 ? std::string_view("\xEF\xBF\xBD") : text.substr(i, n));
        i += n == 0 ? 1 : n;
    }
    return out;
}

std::string passText(bool pass) {
    return pass ? "PASS" : "FAIL";
}

std::string jsonMismatch(const Mismatch& m, const std::string* caseName) {
    std::string out = "{";
    if (caseName)
        out += "\"case\": " + JsonString(*caseName) + ", ";
    out += "\"name\": " + JsonString(m.name) + ", \"expected\": " + JsonString(m.expected) +
           ", \"got\": " + JsonString(m.actual) + ", \"text\": " + JsonString(m.text()) + "}";
    return out;
}

// One CSV field: quoted when it holds a comma, a quote or a line break.
// A field a spreadsheet would take for a formula (a student may name a file
// "=HYPERLINK(...)") gets a leading apostrophe, as spreadsheets expect.
std::string csvField(std::string_view raw) {
    std::string text = validUtf8(raw);
    if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos)
        text.insert(0, 1, '\'');
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

} // namespace

std::string TextRows(const ImageResult& r, bool cases) {
    if (!cases)
        return r.image + '\t' + std::to_string(r.steps()) + '\t' + r.stop() + '\t' +
               passText(r.pass()) + '\t' + std::to_string(r.mismatchCount()) + '\n';
    std::string out;
    for (const CaseResult& c : r.cases)
        out += r.image + '\t' + c.name + '\t' + std::to_string(c.steps) + '\t' + c.stop + '\t' +
               passText(c.pass()) + '\t' + std::to_string(c.mismatches.size()) + '\n';
    return out;
}

std::string JsonString(std::string_view raw) {
    static constexpr char kHex[] = "0123456789abcdef";
    const std::string text = validUtf8(raw);
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += ch;
        }
    }
    out += '"';
    return out;
}

std::string JsonReport(const std::vector<ImageResult>& results) {
    static constexpr std::array<std::string_view, 6> kStops = {"halt",  "breakpoint", "limit",
                                                               "steps", "size",       "unreadable"};
    std::array<std::size_t, kStops.size()> stops{};
    std::size_t passed = 0, cases = 0, casesPassed = 0;
    std::string out = "{\n  \"images\": [";
    for (std::size_t i = 0; i < results.size(); ++i) {
        const ImageResult& r = results[i];
        passed += r.pass() ? 1 : 0;
        // The image's mismatches name their case when the file has cases.
        const bool named = r.cases.size() != 1 || !r.cases.front().name.empty();
        out += i ? ",\n    {" : "\n    {";
        out += "\"image\": " + JsonString(r.image);
        out += ", \"steps\": " + std::to_string(r.steps());
        out += ", \"stop\": " + JsonString(r.stop());
        out += std::string(", \"pass\": ") + (r.pass() ? "true" : "false");
        if (!r.error.empty())
            out += ", \"error\": " + JsonString(r.error);
        out += ", \"mismatches\": [";
        bool first = true;
        for (const CaseResult& c : r.cases) {
            for (const Mismatch& m : c.mismatches) {
                out += first ? "" : ", ";
                out += jsonMismatch(m, named ? &c.name : nullptr);
                first = false;
            }
        }
        out += "], \"cases\": [";
        for (std::size_t k = 0; k < r.cases.size(); ++k) {
            const CaseResult& c = r.cases[k];
            ++cases;
            casesPassed += c.pass() ? 1 : 0;
            for (std::size_t s = 0; s < kStops.size(); ++s)
                stops[s] += kStops[s] == c.stop ? 1 : 0;
            out += k ? ",\n      {" : "\n      {";
            out += "\"name\": " + JsonString(c.name) + ", \"steps\": " + std::to_string(c.steps) +
                   ", \"stop\": " + JsonString(c.stop) +
                   ", \"pass\": " + (c.pass() ? "true" : "false") + ", \"mismatches\": [";
            for (std::size_t m = 0; m < c.mismatches.size(); ++m) {
                out += m ? ", " : "";
                out += jsonMismatch(c.mismatches[m], nullptr);
            }
            out += "]}";
        }
        out += r.cases.empty() ? "]}" : "\n    ]}";
    }
    out += results.empty() ? "],\n" : "\n  ],\n";
    const std::string failed = std::to_string(results.size() - passed);
    out += "  \"passed\": " + std::to_string(passed) + ",\n  \"failed\": " + failed + ",\n";
    out += "  \"summary\": {\"images\": " + std::to_string(results.size()) +
           ", \"passed\": " + std::to_string(passed) + ", \"failed\": " + failed +
           ", \"cases\": " + std::to_string(cases) +
           ", \"cases_passed\": " + std::to_string(casesPassed) +
           ", \"cases_failed\": " + std::to_string(cases - casesPassed) + ",\n    \"stops\": {";
    for (std::size_t s = 0; s < kStops.size(); ++s) {
        out += s ? ", " : "";
        out += JsonString(kStops[s]) + ": " + std::to_string(stops[s]);
    }
    out += "}}\n}\n";
    return out;
}

std::string CsvHeader() {
    return "image,case,steps,stop,result,mismatches,details\r\n";
}

std::string CsvRows(const ImageResult& r) {
    std::string out;
    for (const CaseResult& c : r.cases) {
        // What went wrong: the load's message, or each mismatch on its own line.
        std::string details = r.error;
        for (const Mismatch& m : c.mismatches) {
            if (!details.empty())
                details += '\n';
            details += m.text();
        }
        out += csvField(r.image) + ',' + csvField(c.name) + ',' + std::to_string(c.steps) + ',' +
               c.stop + ',' + passText(c.pass()) + ',' + std::to_string(c.mismatches.size()) + ',' +
               csvField(details) + "\r\n";
    }
    return out;
}

} // namespace kovar::runner
