#include "expect.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>

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

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

constexpr const char* kOutsideCase =
    "set and expect lines belong to a case: start it with [case NAME]";

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

// A number as the file writes it: decimal digits, or 0x and hex digits,
// either with an optional leading minus. `problem` is set when the text is
// not one: a hint to write 0x when it reads as hex without it, otherwise the
// text in quotes and `what` is wrong with it.
struct Number {
    int64_t value = 0;
    bool decimal = true;
    std::string problem;
};

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int digitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    return (c >= 'a' ? c - 'a' : c - 'A') + 10;
}

// `what` names the kind in the refusal: "is not a number", "is not an address".
Number parseNumber(std::string_view text, std::string_view what) {
    Number n;
    std::string_view s = text;
    const bool negative = !s.empty() && s[0] == '-';
    if (negative)
        s.remove_prefix(1);
    const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    if (hex)
        s.remove_prefix(2);
    n.decimal = !hex;
    const bool allDecimal =
        !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    const bool allHex = !s.empty() && std::all_of(s.begin(), s.end(), isHexDigit);
    // Every value the simulator shows is hex: "00000010" or "DC" copied from
    // it must not silently become decimal 10 or an error without a way out.
    // (0b101 is meant as binary, which no hint can mend.)
    const bool binary = s.size() > 1 && s[0] == '0' && (s[1] == 'b' || s[1] == 'B');
    if (!hex && !binary && allHex && (!allDecimal || (s.size() > 1 && s[0] == '0'))) {
        n.problem = std::string(text) + ": напишите " + (negative ? "-0x" : "0x") + std::string(s);
        return n;
    }
    if (!(hex ? allHex : allDecimal)) {
        n.problem = quoted(text) + " " + std::string(what);
        return n;
    }
    const int base = hex ? 16 : 10;
    for (char c : s) {
        n.value = n.value * base + digitValue(c);
        if (n.value > (int64_t{1} << 40)) { // far beyond any range
            n.problem = quoted(text) + " " + std::string(what);
            return n;
        }
    }
    if (negative)
        n.value = -n.value;
    return n;
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
    // The address as written (upper() keeps every byte in its place).
    const std::string_view inner = trim(text.substr(open + 1, text.size() - open - 2));
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
    const Number n = parseNumber(inner, "is not an address");
    if (!n.problem.empty())
        return n.problem;
    if (n.value < 0)
        return quoted(inner) + " is not an address";
    if (n.value > last)
        return std::string(kind == "DS" || kind == "RS" ? "entry " : "address ") +
               std::string(inner) + " is outside 0.." + std::to_string(last) + " of " +
               std::string(text);
    e.index = static_cast<uint32_t>(n.value);
    return "";
}

// Parses the value into `e` (whose name is known); returns a complete error
// text or "".
std::string parseValue(std::string_view text, Expectation& e) {
    const Number n = parseNumber(text, "is not a number");
    if (!n.problem.empty())
        return n.problem.front() == '\'' ? e.name() + ": " + n.problem : n.problem;
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
    if (n.value < low || n.value > high)
        return e.name() + ": " + std::string(text) +
               (e.target == Target::FL     ? " is not 0 or 1"
                : e.target == Target::Byte ? " does not fit a byte"
                                           : " does not fit a word");
    e.value = static_cast<uint32_t>(n.value) & (e.target == Target::Byte ? 0xFFu : 0xFFFFFFFFu);
    e.decimal = n.decimal;
    e.written = n.value;
    e.text = std::string(text);
    return "";
}

// A value in decimal as a mismatch shows it: a word signed unless the
// expected value was written above the signed range, a byte unsigned unless
// it was written negative.
std::string decimalText(const Expectation& e, uint32_t v) {
    if (e.target == Target::Byte)
        return e.written < 0 ? std::to_string(static_cast<int8_t>(v)) : std::to_string(v);
    return e.written > INT32_MAX ? std::to_string(v) : std::to_string(static_cast<int32_t>(v));
}

bool sameTarget(const Expectation& a, const Expectation& b) {
    return a.target == b.target && a.index == b.index;
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

uint32_t ActualValue(const MachineState& s, const Expectation& e) {
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

void ApplyInputs(MachineState& s, const std::vector<Expectation>& inputs) {
    for (const Expectation& e : inputs) {
        const auto word = static_cast<int32_t>(e.value);
        switch (e.target) {
        case Target::PC: s.PC = word; break;
        case Target::FL: s.FL = e.value != 0; break;
        case Target::DS: s.DS[e.index] = word; break;
        case Target::RS: s.RS[e.index] = word; break;
        case Target::URD: s.URD[e.index] = word; break;
        case Target::Byte: s.WriteByte(e.index, static_cast<uint8_t>(e.value)); break;
        case Target::DataWord: s.WriteDataWord(e.index, e.value); break;
        case Target::InstructionWord: s.WriteInstructionWord(e.index, e.value); break;
        }
    }
}

std::string Mismatch::text() const {
    if (expectedDecimal.empty())
        return name + ": expected " + expected + ", got " + actual;
    return name + ": expected " + expectedDecimal + " (" + expected + "), got " + actualDecimal +
           " (" + actual + ")";
}

namespace {

// One `NAME = VALUE` (after `set` or `expect`, or alone in the plain form).
bool parseItem(std::string_view item, int lineNo, const std::vector<Expectation>& earlier,
               const char* already, Expectation& e, std::string& error) {
    const auto eq = item.find('=');
    const std::string_view name = trim(item.substr(0, eq == std::string_view::npos ? 0 : eq));
    const std::string_view value =
        eq == std::string_view::npos ? std::string_view() : trim(item.substr(eq + 1));
    if (name.empty() || value.empty()) {
        error = "expected NAME = VALUE";
        return false;
    }
    e.line = lineNo;
    if (std::string why = parseName(name, e); !why.empty()) {
        // "expect TOS = 5" in a file without cases
        const std::string first = lower(name.substr(0, name.find_first_of(" \t")));
        error = name.find_first_of(" \t") != std::string_view::npos &&
                        (first == "set" || first == "expect")
                    ? kOutsideCase
                    : why;
        return false;
    }
    if (std::string why = parseValue(value, e); !why.empty()) {
        error = std::move(why);
        return false;
    }
    const auto twice = std::find_if(earlier.begin(), earlier.end(),
                                    [&](const Expectation& p) { return sameTarget(p, e); });
    if (twice != earlier.end()) {
        error = e.name() + " already " + already + " on line " + std::to_string(twice->line);
        return false;
    }
    return true;
}

// The name of a `[case NAME]` line, or an error.
bool parseHeader(std::string_view line, std::string& name, std::string& error) {
    if (line.back() != ']') {
        error = "expected [case NAME]";
        return false;
    }
    const std::string_view inner = trim(line.substr(1, line.size() - 2));
    const std::string_view word = inner.substr(0, inner.find_first_of(" \t"));
    if (lower(word) != "case") {
        error = "expected [case NAME]";
        return false;
    }
    name = std::string(trim(inner.substr(word.size())));
    if (name.empty()) {
        error = "a case needs a name: [case NAME]";
        return false;
    }
    return true;
}

} // namespace

bool ParseTestFile(std::string_view text, TestFile& out, int& errorLine, std::string& error) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") // a byte-order mark some editors write
        text.remove_prefix(3);
    std::vector<std::string_view> lines;
    bool cases = false;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        line = trim(line.substr(0, line.find('#')));
        lines.push_back(line);
        cases = cases || (!line.empty() && line.front() == '[');
    }

    TestFile parsed;
    parsed.cases = cases;
    if (cases)
        parsed.tests.clear();
    const auto fail = [&](int lineNo, std::string what) {
        errorLine = lineNo;
        error = std::move(what);
        return false;
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int lineNo = static_cast<int>(i) + 1;
        const std::string_view line = lines[i];
        if (line.empty())
            continue;
        if (line.front() == '[') {
            TestCase c;
            c.line = lineNo;
            if (std::string why; !parseHeader(line, c.name, why))
                return fail(lineNo, why);
            for (const TestCase& other : parsed.tests)
                if (other.name == c.name)
                    return fail(lineNo, "case " + quoted(c.name) + " already on line " +
                                            std::to_string(other.line));
            parsed.tests.push_back(std::move(c));
            continue;
        }
        Expectation e;
        std::string why;
        if (!cases) {
            if (!parseItem(line, lineNo, parsed.tests.back().expected, "expected", e, why))
                return fail(lineNo, why);
            parsed.tests.back().expected.push_back(e);
            continue;
        }
        const std::string_view word = line.substr(0, line.find_first_of(" \t"));
        const std::string keyword = lower(word);
        if (keyword != "set" && keyword != "expect")
            return fail(lineNo, "in a file of cases, write 'set NAME = VALUE' or "
                                "'expect NAME = VALUE'");
        if (parsed.tests.empty())
            return fail(lineNo, kOutsideCase);
        TestCase& c = parsed.tests.back();
        std::vector<Expectation>& into = keyword == "set" ? c.inputs : c.expected;
        if (!parseItem(line.substr(word.size()), lineNo, into,
                       keyword == "set" ? "set" : "expected", e, why))
            return fail(lineNo, why);
        into.push_back(e);
    }
    out = std::move(parsed);
    return true;
}

bool ParseExpectations(std::string_view text, std::vector<Expectation>& out, int& errorLine,
                       std::string& error) {
    TestFile file;
    if (!ParseTestFile(text, file, errorLine, error))
        return false;
    if (file.cases) {
        errorLine = file.tests.front().line;
        error = "a file of cases where plain NAME = VALUE lines were expected";
        return false;
    }
    out = std::move(file.tests.front().expected);
    return true;
}

bool ReadTestFile(const std::string& fileName, TestFile& out, std::string& error) {
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
    if (!ParseTestFile(text, out, line, what)) {
        error = fileName + ":" + std::to_string(line) + ": " + what;
        return false;
    }
    return true;
}

std::vector<Mismatch> CheckExpectations(const MachineState& state,
                                        const std::vector<Expectation>& expected) {
    std::vector<Mismatch> out;
    for (const Expectation& e : expected) {
        const uint32_t actual = ActualValue(state, e);
        if (actual == e.value)
            continue;
        Mismatch m{e.name(), valueText(e.target, e.value), valueText(e.target, actual), "", ""};
        if (e.decimal && e.target != Target::FL) {
            m.expectedDecimal = decimalText(e, e.value);
            m.actualDecimal = decimalText(e, actual);
        }
        out.push_back(std::move(m));
    }
    return out;
}

} // namespace kovar::runner
