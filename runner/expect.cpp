#include "expect.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>

#include "atomic_file.h"
#include "hex_op.h"

namespace kovar::runner {

namespace {

using Target = Expectation::Target;

// An expectation file is a few lines; anything this large is not one.
constexpr std::size_t kMaxFileBytes = std::size_t{1} << 20;
constexpr uint32_t kLastWordAddress = kMemorySize - 4;

struct Register {
    std::string_view name;
    Target target;
    uint32_t index;
};

constexpr std::array<Register, 14> kRegisters{{
    {"PC", Target::PC, 0},
    {"FL", Target::FL, 0},
    {"TOS", Target::DS, 0},
    {"SOS", Target::DS, 1},
    {"3OS", Target::DS, 2},
    {"4OS", Target::DS, 3},
    {"TOR", Target::RS, 0},
    {"SOR", Target::RS, 1},
    {"3OR", Target::RS, 2},
    {"4OR", Target::RS, 3},
    {"URD0", Target::URD, 0},
    {"URD1", Target::URD, 1},
    {"URD2", Target::URD, 2},
    {"URD3", Target::URD, 3},
}};

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// A number as the file writes it: 0x and hex digits, or decimal digits with
// an optional leading minus. Returns the value as a 64-bit signed number, or
// nothing when the text is not a number or is far out of any range.
std::optional<int64_t> parseNumber(std::string_view s) {
    bool negative = false;
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    } else if (!s.empty() && s[0] == '-') {
        negative = true;
        s.remove_prefix(1);
    }
    if (s.empty())
        return std::nullopt;
    int64_t v = 0;
    for (char c : s) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return std::nullopt;
        v = v * base + d;
        if (v > (int64_t{1} << 40))
            return std::nullopt;
    }
    return negative ? -v : v;
}

// The text in single quotes (built by appending, which also keeps GCC's
// overlap warning about `"'" + std::string(...)` quiet).
std::string quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '\'';
    out += text;
    out += '\'';
    return out;
}

std::string hexAddress(uint32_t a) {
    std::string digits = IntToHexMin(static_cast<int32_t>(a));
    return "0x" + digits;
}

// The widest value a target takes, and the text of a value in that width.
int hexWidth(Target t) {
    return t == Target::Byte ? 2 : 8;
}

std::string valueText(Target t, uint32_t v) {
    if (t == Target::FL)
        return v ? "1" : "0";
    return hexWidth(t) == 2 ? IntToHexBytes(static_cast<int32_t>(v), 1) : Hex8(v);
}

// Parses the name into `e`; returns an error text or "".
std::string parseName(std::string_view text, Expectation& e) {
    const std::string name = upper(text);
    for (const Register& r : kRegisters) {
        if (name == r.name) {
            e.target = r.target;
            e.index = r.index;
            return "";
        }
    }
    const auto open = name.find('[');
    if (open == std::string::npos || name.back() != ']')
        return "unknown name " + quoted(text);
    const std::string kind(trim(std::string_view(name).substr(0, open)));
    const std::string_view inner =
        trim(std::string_view(name).substr(open + 1, name.size() - open - 2));
    uint32_t last;
    if (kind == "M") {
        e.target = Target::Byte;
        last = kMemorySize - 1;
    } else if (kind == "W" || kind == "I") {
        e.target = kind == "W" ? Target::DataWord : Target::InstructionWord;
        last = kLastWordAddress;
    } else if (kind == "DS" || kind == "RS") {
        e.target = kind == "DS" ? Target::DS : Target::RS;
        last = kStackDepth - 1;
    } else {
        return "unknown name " + quoted(text);
    }
    const auto n = parseNumber(inner);
    if (!n || *n < 0)
        return quoted(inner) + " is not an address";
    if (*n > last)
        return std::string(kind == "DS" || kind == "RS" ? "entry " : "address ") +
               std::string(inner) + " is outside 0.." + std::to_string(last) + " of " +
               std::string(text);
    e.index = static_cast<uint32_t>(*n);
    return "";
}

std::string parseValue(std::string_view text, Expectation& e) {
    const auto n = parseNumber(text);
    if (!n)
        return quoted(text) + " is not a number";
    int64_t low, high;
    if (e.target == Target::FL) {
        low = 0;
        high = 1;
    } else if (e.target == Target::Byte) {
        low = -128;
        high = 255;
    } else {
        low = -(int64_t{1} << 31);
        high = (int64_t{1} << 32) - 1;
    }
    if (*n < low || *n > high)
        return std::string(text) + (e.target == Target::FL     ? " is not 0 or 1"
                                    : e.target == Target::Byte ? " does not fit a byte"
                                                               : " does not fit a word");
    e.value = static_cast<uint32_t>(*n) & (e.target == Target::Byte ? 0xFFu : 0xFFFFFFFFu);
    return "";
}

bool sameTarget(const Expectation& a, const Expectation& b) {
    return a.target == b.target && a.index == b.index;
}

uint32_t actualValue(const MachineState& s, const Expectation& e) {
    switch (e.target) {
    case Target::PC: return static_cast<uint32_t>(s.PC);
    case Target::FL: return s.FL ? 1 : 0;
    case Target::DS: return static_cast<uint32_t>(s.DS[e.index]);
    case Target::RS: return static_cast<uint32_t>(s.RS[e.index]);
    case Target::URD: return static_cast<uint32_t>(s.URD[e.index]);
    case Target::Byte: return s.ReadByte(e.index);
    case Target::DataWord: return s.ReadDataWord(e.index);
    case Target::InstructionWord: return s.ReadInstructionWord(e.index);
    }
    return 0;
}

} // namespace

std::string Expectation::name() const {
    switch (target) {
    case Target::PC: return "PC";
    case Target::FL: return "FL";
    case Target::DS:
    case Target::RS:
        for (const Register& r : kRegisters)
            if (r.target == target && r.index == index)
                return std::string(r.name);
        return (target == Target::DS ? "DS[" : "RS[") + std::to_string(index) + "]";
    case Target::URD: return "URD" + std::to_string(index);
    case Target::Byte: return "M[" + hexAddress(index) + "]";
    case Target::DataWord: return "W[" + hexAddress(index) + "]";
    case Target::InstructionWord: return "I[" + hexAddress(index) + "]";
    }
    return "";
}

std::string Mismatch::text() const {
    return name + ": expected " + expected + ", got " + actual;
}

bool ParseExpectations(std::string_view text, std::vector<Expectation>& out, int& errorLine,
                       std::string& error) {
    std::vector<Expectation> parsed;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") // a byte-order mark some editors write
        text.remove_prefix(3);
    int lineNo = 0;
    while (!text.empty()) {
        ++lineNo;
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        line = trim(line.substr(0, line.find('#')));
        if (line.empty())
            continue;

        const auto fail = [&](std::string what) {
            errorLine = lineNo;
            error = std::move(what);
            return false;
        };
        const auto eq = line.find('=');
        if (eq == std::string_view::npos)
            return fail("expected NAME = VALUE");
        const std::string_view name = trim(line.substr(0, eq));
        const std::string_view value = trim(line.substr(eq + 1));
        if (name.empty() || value.empty())
            return fail("expected NAME = VALUE");

        Expectation e;
        e.line = lineNo;
        if (std::string why = parseName(name, e); !why.empty())
            return fail(why);
        if (std::string why = parseValue(value, e); !why.empty())
            return fail(e.name() + ": " + why);
        const auto earlier = std::find_if(parsed.begin(), parsed.end(),
                                          [&](const Expectation& p) { return sameTarget(p, e); });
        if (earlier != parsed.end())
            return fail(e.name() + " already expected on line " + std::to_string(earlier->line));
        parsed.push_back(e);
    }
    out = std::move(parsed);
    return true;
}

bool ReadExpectations(const std::string& fileName, std::vector<Expectation>& out,
                      std::string& error) {
    std::string text, cause;
    if (!ReadFileBytes(fileName, kMaxFileBytes + 1, text, &cause)) {
        error = "Ошибка чтения файла: " + fileName + "\n" + cause;
        return false;
    }
    if (text.size() > kMaxFileBytes) {
        error = fileName + ": too large for an expectation file";
        return false;
    }
    int line = 0;
    std::string what;
    if (!ParseExpectations(text, out, line, what)) {
        error = fileName + ":" + std::to_string(line) + ": " + what;
        return false;
    }
    return true;
}

std::vector<Mismatch> CheckExpectations(const MachineState& state,
                                        const std::vector<Expectation>& expected) {
    std::vector<Mismatch> out;
    for (const Expectation& e : expected) {
        const uint32_t actual = actualValue(state, e);
        if (actual != e.value)
            out.push_back({e.name(), valueText(e.target, e.value), valueText(e.target, actual)});
    }
    return out;
}

} // namespace kovar::runner
