#include "assembler.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <unordered_map>

#include "asm_names.h"
#include "isa.h"

namespace kovar {

using asmnames::Field;

namespace {

constexpr uint64_t kAddressLimit = uint64_t{1} << 32;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsIdentStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool IsIdentChar(char c) {
    return IsIdentStart(c) || IsDigit(c) || c == '.';
}
char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string LowerCopy(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = Lower(c);
    return out;
}

// Characters (not bytes) before `offset`, plus one.
int ColumnOf(std::string_view line, std::size_t offset) {
    int column = 1;
    for (std::size_t i = 0; i < offset && i < line.size(); ++i)
        if ((static_cast<unsigned char>(line[i]) & 0xC0) != 0x80)
            ++column;
    return column;
}

// A text the user wrote, in quotes for a message: at most 40 characters, and
// an ellipsis for the rest (a name may be megabytes long).
std::string Quote(std::string_view text) {
    constexpr int kShown = 40;
    std::size_t cut = 0;
    int characters = 0;
    while (cut < text.size()) {
        if ((static_cast<unsigned char>(text[cut]) & 0xC0) != 0x80 && ++characters > kShown)
            break;
        ++cut;
    }
    return "'" + std::string(text.substr(0, cut)) + (cut < text.size() ? "…'" : "'");
}

// "; может быть, LOAD?" when a known name is near the typed one.
std::string Suggestion(const std::string& nearest) {
    return nearest.empty() ? std::string() : "; может быть, " + nearest + "?";
}

// What may be written instead of a mistyped name, after the nearest one.
std::string Expecting(const std::string& nearest, std::string_view names) {
    return (nearest.empty() ? "; ожидается " : Suggestion(nearest) + " Ожидается ") +
           std::string(names);
}

std::string Hex(uint64_t v) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    do {
        s.insert(s.begin(), digits[v & 15]);
        v >>= 4;
    } while (v != 0);
    return "0x" + s;
}

enum class NumberParse { Ok, NotANumber, Malformed, TooLarge };

// Decimal, 0x hexadecimal or 0b binary, no sign; the whole text.
NumberParse ParseUnsigned(std::string_view t, uint64_t& value) {
    if (t.empty() || !IsDigit(t[0]))
        return NumberParse::NotANumber;
    unsigned base = 10;
    std::size_t i = 0;
    if (t.size() > 1 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        i = 2;
    } else if (t.size() > 1 && t[0] == '0' && (t[1] == 'b' || t[1] == 'B')) {
        base = 2;
        i = 2;
    }
    if (i == t.size())
        return NumberParse::Malformed;
    uint64_t v = 0;
    bool tooLarge = false;
    for (; i < t.size(); ++i) {
        const char c = Lower(t[i]);
        unsigned d;
        if (IsDigit(c))
            d = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            d = static_cast<unsigned>(c - 'a' + 10);
        else
            return NumberParse::Malformed;
        if (d >= base)
            return NumberParse::Malformed;
        v = v * base + d;
        if (v > 0xFFFFFFFFu)
            tooLarge = true;
    }
    if (tooLarge)
        return NumberParse::TooLarge;
    value = v;
    return NumberParse::Ok;
}

// One operand of an instruction or a directive: "value" or "key=value".
struct Operand {
    std::string_view key;   // empty for a positional operand
    std::string_view value; // without quotes
    std::size_t keyOffset = 0;
    std::size_t valueOffset = 0; // of the value's first character in the line
    bool quoted = false;
};

enum class FixKind { Target, Offset, WordMsb, WordLsb, Byte };

// A value that names a label: resolved when every label is known.
struct Fixup {
    FixKind kind;
    std::size_t region;
    std::size_t position;
    std::size_t span;
    std::string_view expr;
    std::string_view lineText;
    std::size_t offset;
    int line;
};

struct MarkSite {
    uint32_t address;
    uint8_t value;
    int line;
    int column;
};

struct LabelInfo {
    uint64_t address;
    int line;
};

// The option words of each instruction class.
enum ClassMask : unsigned {
    MAlu = 1,
    MShift = 2,
    MLoadSave = 4,
    MLaLah = 8,
    MAllData = MAlu | MShift | MLoadSave | MLaLah,
};
struct FlagOption {
    std::string_view name;
    unsigned bit;
    unsigned classes;
};
constexpr std::array<FlagOption, 7> kFlags = {{
    {"ret", 28, MAllData},
    {"setfl", 7, MAlu | MShift},
    {"flres", 14, MAlu},
    {"nowrite", 14, MShift},
    {"nofill", 4, MShift},
    {"flout", 1, MShift},
    {"bit0", 0, MShift},
}};
struct FieldOption {
    std::string_view name;
    unsigned shift;
    unsigned classes;
    Field field;
};
constexpr std::array<FieldOption, 5> kFieldOptions = {{
    {"stack", 16, MAllData, Field::Stack},
    {"cond", 10, MAlu | MShift, Field::Condition},
    {"carry", 8, MAlu | MShift, Field::Carry},
    {"a", 20, MLaLah, Field::Register},
    {"b", 24, MLaLah, Field::Register},
}};

std::string OptionsOf(unsigned mask) {
    std::string out;
    for (const auto& f : kFlags)
        if (f.classes & mask)
            out += std::string(out.empty() ? "" : ", ") + std::string(f.name);
    for (const auto& f : kFieldOptions)
        if (f.classes & mask)
            out += std::string(out.empty() ? "" : ", ") + std::string(f.name) + "=...";
    if (mask & MLaLah)
        out += ", offset=...";
    return out + " или действие со стеком (pushds, popds, ...)";
}

class Assembler {
public:
    Assembler(std::string_view source, AsmBound bound) : src_(source), bound_(bound) {}

    AssembleResult Run();

private:
    void Line(std::string_view text, int lineNo);
    void Instruction(std::string_view mnemonic, std::size_t mnemonicOffset,
                     const std::vector<Operand>& ops);
    void Directive(std::string_view name, std::size_t nameOffset, const std::vector<Operand>& ops);
    bool SplitOperands(std::string_view text, std::size_t base, std::vector<Operand>& out);

    void Error(std::size_t offset, std::string message) {
        result_.errors.push_back({line_, ColumnOf(lineText_, offset), std::move(message)});
    }
    void ErrorAt(std::string_view lineText, int line, std::size_t offset, std::string message) {
        result_.errors.push_back({line, ColumnOf(lineText, offset), std::move(message)});
    }

    // Evaluates `number | label (+|- number | label)...`. With `mustKnow`, a
    // label not yet defined is an error; without, it leaves `unknown` set.
    bool Evaluate(std::string_view expr, std::size_t offset, bool mustKnow, int64_t& value,
                  bool& unknown, std::string_view lineText, int line);
    bool FieldCode(Field field, const Operand& op, unsigned& code);
    bool CheckRange(int64_t v, int64_t lo, int64_t hi, std::string_view what, std::size_t offset,
                    std::string_view lineText, int line);

    // Reserves n bytes at the location counter for one item of the source;
    // false when they do not fit.
    bool Emit(std::size_t n, AsmItemKind kind, std::size_t offset, std::size_t& region,
              std::size_t& position);
    // Places an instruction word (fetch order); the first one placed is where
    // PC starts unless a start: label says otherwise.
    bool EmitInstruction(std::size_t offset, uint32_t word, std::size_t& region,
                         std::size_t& position);
    void StoreValue(FixKind kind, std::size_t region, std::size_t position, uint32_t v);
    // Emits a field value now or, when it names a later label, after the pass.
    // It follows the Emit of its item, whose span is the last one.
    void Value(FixKind kind, const Operand& op, std::size_t region, std::size_t position);
    // An instruction that has an error still takes its 4 addresses, so that
    // the labels after it keep theirs; it writes nothing.
    void SkipFailedInstruction();
    // No byte may be written twice: checked over the items that assembled.
    void CheckOverlaps();

    // Suggestions for a mistyped name.
    std::string NearestLabel(std::string_view typed);
    std::string NearestOption(std::string_view typed, unsigned mask, bool bare) const;

    std::string_view src_;
    AsmBound bound_;
    AssembleResult result_;
    std::vector<Fixup> fixups_;
    std::vector<std::size_t> failedSpans_; // items whose bytes hold no value
    int labelSuggestions_ = 64;            // label tables may be long: guess a few times only
    std::vector<MarkSite> markSites_;
    std::unordered_map<std::string, LabelInfo> labels_;
    std::string_view lineText_;
    int line_ = 0;
    uint64_t loc_ = 0;
    bool open_ = false; // a region is open at loc_
    bool haveInstruction_ = false;
    bool resolving_ = false; // every label is known
    uint32_t firstInstruction_ = 0;
    std::vector<Operand> ops_;
};

bool Assembler::SplitOperands(std::string_view text, std::size_t base, std::vector<Operand>& out) {
    out.clear();
    std::size_t i = 0;
    while (true) {
        // One operand runs to the next comma outside quotes.
        std::size_t start = i;
        std::size_t end = i;
        bool inQuote = false;
        while (end < text.size() && (inQuote || text[end] != ',')) {
            if (text[end] == '"')
                inQuote = !inQuote;
            ++end;
        }
        std::size_t a = start, b = end;
        while (a < b && IsBlank(text[a]))
            ++a;
        while (b > a && IsBlank(text[b - 1]))
            --b;
        if (a == b) {
            Error(base + a, "пустой операнд; между запятыми ожидается значение");
            return false;
        }
        Operand op;
        std::size_t v = a;
        // "key=value" when the text before the first '=' is one word.
        if (text[a] != '"') {
            std::size_t k = a;
            while (k < b && IsIdentChar(text[k]))
                ++k;
            std::size_t e = k;
            while (e < b && IsBlank(text[e]))
                ++e;
            if (k > a && e < b && text[e] == '=') {
                op.key = text.substr(a, k - a);
                op.keyOffset = base + a;
                v = e + 1;
                while (v < b && IsBlank(text[v]))
                    ++v;
                if (v == b) {
                    Error(base + e, "после '=' ожидается значение");
                    return false;
                }
            }
        }
        if (text[v] == '"') {
            if (b - v < 2 || text[b - 1] != '"') {
                Error(base + v,
                      "текст после закрывающей кавычки; имя в кавычках стоит в операнде одно");
                return false;
            }
            op.quoted = true;
            op.value = text.substr(v + 1, b - v - 2);
            op.valueOffset = base + v;
        } else {
            op.value = text.substr(v, b - v);
            op.valueOffset = base + v;
        }
        out.push_back(op);
        if (end >= text.size())
            return true;
        i = end + 1;
    }
}

bool Assembler::CheckRange(int64_t v, int64_t lo, int64_t hi, std::string_view what,
                           std::size_t offset, std::string_view lineText, int line) {
    if (v >= lo && v <= hi)
        return true;
    ErrorAt(lineText, line, offset,
            std::string(what) + " " + std::to_string(v) +
                " вне допустимого диапазона; ожидается от " + std::to_string(lo) + " до " +
                std::to_string(hi) + (hi > 255 ? " (" + Hex(static_cast<uint64_t>(hi)) + ")" : ""));
    return false;
}

bool Assembler::Evaluate(std::string_view expr, std::size_t offset, bool mustKnow, int64_t& value,
                         bool& unknown, std::string_view lineText, int line) {
    value = 0;
    unknown = false;
    std::size_t i = 0;
    bool first = true;
    while (true) {
        while (i < expr.size() && IsBlank(expr[i]))
            ++i;
        int sign = 1;
        if (i < expr.size() && (expr[i] == '+' || expr[i] == '-')) {
            sign = expr[i] == '-' ? -1 : 1;
            ++i;
            while (i < expr.size() && IsBlank(expr[i]))
                ++i;
        } else if (!first) {
            ErrorAt(lineText, line, offset + i,
                    i < expr.size() ? "ожидается '+' или '-' перед " + Quote(expr.substr(i))
                                    : "ожидается число или метка");
            return false;
        }
        if (i >= expr.size()) {
            ErrorAt(lineText, line, offset + i, "ожидается число или метка");
            return false;
        }
        std::size_t j = i;
        while (j < expr.size() && (IsIdentChar(expr[j])))
            ++j;
        if (j == i) {
            ErrorAt(lineText, line, offset + i,
                    "ожидается число или метка, а не " + Quote(expr.substr(i)));
            return false;
        }
        const std::string_view term = expr.substr(i, j - i);
        int64_t termValue = 0;
        if (IsDigit(term[0])) {
            uint64_t u = 0;
            switch (ParseUnsigned(term, u)) {
            case NumberParse::Ok: termValue = static_cast<int64_t>(u); break;
            case NumberParse::TooLarge:
                ErrorAt(lineText, line, offset + i, "число " + Quote(term) + " больше 32 битов");
                return false;
            default:
                ErrorAt(lineText, line, offset + i,
                        "неправильное число " + Quote(term) +
                            "; ожидаются десятичные цифры, 0x и шестнадцатеричные цифры или 0b и "
                            "двоичные цифры");
                return false;
            }
        } else {
            const auto it = labels_.find(LowerCopy(term));
            if (it == labels_.end()) {
                if (mustKnow) {
                    ErrorAt(lineText, line, offset + i,
                            "метка " + Quote(term) + " не определена" +
                                (resolving_ ? ""
                                            : " выше этой строки (здесь метка должна быть "
                                              "определена до того, как используется)") +
                                Suggestion(NearestLabel(term)));
                    return false;
                }
                unknown = true;
            } else {
                termValue = static_cast<int64_t>(it->second.address);
            }
        }
        value += sign * termValue; // |terms| < 2^33 each; no overflow in 64 bits for a line
        i = j;
        first = false;
        while (i < expr.size() && IsBlank(expr[i]))
            ++i;
        if (i >= expr.size())
            return true;
    }
}

bool Assembler::FieldCode(Field field, const Operand& op, unsigned& code) {
    const std::string_view v = op.value;
    const std::string maxCode = std::to_string(asmnames::MaxCode(field));
    if (!op.quoted && !v.empty() && IsDigit(v[0])) {
        uint64_t u = 0;
        const auto r = ParseUnsigned(v, u);
        if (r == NumberParse::Ok) {
            if (u > asmnames::MaxCode(field)) {
                Error(op.valueOffset,
                      "код " + std::string(asmnames::FieldWhat(field)) + " " + std::to_string(u) +
                          " вне допустимого диапазона; ожидается от 0 до " + maxCode);
                return false;
            }
            code = static_cast<unsigned>(u);
            return true;
        }
        if (r != NumberParse::NotANumber && !asmnames::LookupName(field, v, false, code)) {
            Error(op.valueOffset, "неправильное число " + Quote(v));
            return false;
        }
    }
    // A bare number is always a code, and a code has no sign: a list name
    // that looks like a number ("-1") is written in quotes.
    if (!op.quoted && v.size() > 1 && (v[0] == '-' || v[0] == '+') && IsDigit(v[1])) {
        unsigned listed = 0;
        Error(op.valueOffset,
              "код " + std::string(asmnames::FieldWhat(field)) + " " + Quote(v) +
                  " со знаком; код пишется числом от 0 до " + maxCode + " без знака" +
                  (asmnames::LookupName(field, v, true, listed)
                       ? ", а название из списка, похожее на число, в кавычках: \"" +
                             std::string(v) + "\""
                       : ""));
        return false;
    }
    if (asmnames::LookupName(field, v, op.quoted, code))
        return true;
    Error(op.valueOffset, std::string(asmnames::FieldUnknown(field)) + " " + Quote(v) +
                              Expecting(asmnames::NearestFieldName(field, v, op.quoted),
                                        "одно из: " + asmnames::ExpectedNames(field)));
    return false;
}

bool Assembler::Emit(std::size_t n, AsmItemKind kind, std::size_t offset, std::size_t& region,
                     std::size_t& position) {
    const uint64_t limit = bound_ == AsmBound::Memory ? uint64_t{kMemorySize} : kAddressLimit;
    if (loc_ + n > limit) {
        if (bound_ == AsmBound::Memory && n == 1)
            Error(offset, "не помещается в память: байт " + std::to_string(loc_) +
                              " лежит за адресом 1000");
        else if (bound_ == AsmBound::Memory)
            Error(offset, "не помещается в память: байты с " + std::to_string(loc_) + " по " +
                              std::to_string(loc_ + n - 1) + " выходят за адрес 1000");
        else
            Error(offset, "выходит за адрес 0xFFFFFFFF");
        return false;
    }
    if (!open_) {
        result_.regions.push_back({static_cast<uint32_t>(loc_), {}, line_});
        open_ = true;
    }
    result_.spans.push_back({static_cast<uint32_t>(loc_), static_cast<uint32_t>(n), line_, kind});
    auto& r = result_.regions.back();
    region = result_.regions.size() - 1;
    position = r.bytes.size();
    r.bytes.resize(r.bytes.size() + n);
    loc_ += n;
    return true;
}

void Assembler::StoreValue(FixKind kind, std::size_t region, std::size_t position, uint32_t v) {
    uint8_t* p = result_.regions[region].bytes.data() + position;
    switch (kind) {
    case FixKind::Target:
        v = (v & 0x1FFFFFFFu) | (static_cast<uint32_t>(p[0]) << 24 & 0xE0000000u);
        [[fallthrough]];
    case FixKind::WordMsb:
        p[0] = static_cast<uint8_t>(v >> 24);
        p[1] = static_cast<uint8_t>(v >> 16);
        p[2] = static_cast<uint8_t>(v >> 8);
        p[3] = static_cast<uint8_t>(v);
        break;
    case FixKind::Offset:
        p[2] = static_cast<uint8_t>(v >> 8);
        p[3] = static_cast<uint8_t>(v);
        break;
    case FixKind::WordLsb:
        p[0] = static_cast<uint8_t>(v);
        p[1] = static_cast<uint8_t>(v >> 8);
        p[2] = static_cast<uint8_t>(v >> 16);
        p[3] = static_cast<uint8_t>(v >> 24);
        break;
    case FixKind::Byte: p[0] = static_cast<uint8_t>(v); break;
    }
}

struct Range {
    int64_t lo, hi;
    const char* what;
};
Range RangeOf(FixKind kind) {
    switch (kind) {
    case FixKind::Target: return {0, 0x1FFFFFFF, "адрес перехода"};
    case FixKind::Offset: return {0, 0xFFFF, "смещение"};
    case FixKind::Byte: return {-128, 255, "байт"};
    default: return {-2147483648LL, 0xFFFFFFFFLL, "слово"};
    }
}

void Assembler::Value(FixKind kind, const Operand& op, std::size_t region, std::size_t position) {
    const std::size_t span = result_.spans.size() - 1;
    if (op.quoted || !op.key.empty()) {
        Error(op.quoted ? op.valueOffset : op.keyOffset,
              std::string("ожидается число или метка (") + RangeOf(kind).what + ")");
        failedSpans_.push_back(span);
        return;
    }
    int64_t v = 0;
    bool unknown = false;
    if (!Evaluate(op.value, op.valueOffset, false, v, unknown, lineText_, line_)) {
        failedSpans_.push_back(span);
        return;
    }
    if (unknown) {
        fixups_.push_back(
            {kind, region, position, span, op.value, lineText_, op.valueOffset, line_});
        return;
    }
    const Range r = RangeOf(kind);
    if (CheckRange(v, r.lo, r.hi, r.what, op.valueOffset, lineText_, line_))
        StoreValue(kind, region, position, static_cast<uint32_t>(static_cast<uint64_t>(v)));
    else
        failedSpans_.push_back(span);
}

void Assembler::SkipFailedInstruction() {
    const uint64_t limit = bound_ == AsmBound::Memory ? uint64_t{kMemorySize} : kAddressLimit;
    if (loc_ + 4 <= limit) {
        loc_ += 4;
        open_ = false;
    }
}

std::string Assembler::NearestLabel(std::string_view typed) {
    if (labelSuggestions_ == 0)
        return {};
    --labelSuggestions_;
    asmnames::Nearest nearest(typed);
    for (const AsmLabel& l : result_.labels)
        nearest.Offer(l.name);
    return nearest.best();
}

std::string Assembler::NearestOption(std::string_view typed, unsigned mask, bool bare) const {
    asmnames::Nearest nearest(typed);
    for (const auto& f : kFlags)
        if (f.classes & mask)
            nearest.Offer(f.name);
    if (bare) {
        for (std::string_view m : isa::kStackActionMnemonics)
            nearest.Offer(m);
    } else {
        for (const auto& f : kFieldOptions)
            if (f.classes & mask)
                nearest.Offer(f.name);
        if (mask & MLaLah)
            nearest.Offer("offset");
    }
    return nearest.best();
}

bool Assembler::EmitInstruction(std::size_t offset, uint32_t word, std::size_t& region,
                                std::size_t& position) {
    if (!Emit(4, AsmItemKind::Instruction, offset, region, position))
        return false;
    if (!haveInstruction_) {
        haveInstruction_ = true;
        firstInstruction_ = result_.regions[region].address + static_cast<uint32_t>(position);
    }
    StoreValue(FixKind::WordMsb, region, position, word);
    return true;
}

void Assembler::Instruction(std::string_view mnemonic, std::size_t mnemonicOffset,
                            const std::vector<Operand>& ops) {
    using namespace isa;
    if (asmnames::SameWord(mnemonic, "halt")) {
        if (!ops.empty()) {
            Error(ops[0].valueOffset, "у halt нет операндов");
            return;
        }
        std::size_t region, position;
        EmitInstruction(mnemonicOffset, kHaltWord, region, position);
        return;
    }
    std::size_t entry = kCommands.size();
    for (std::size_t i = 0; i < kCommands.size(); ++i)
        if (asmnames::SameWord(mnemonic, kCommands[i].name))
            entry = i;
    if (entry == kCommands.size()) {
        asmnames::Nearest nearest(mnemonic);
        for (const CommandEntry& c : kCommands)
            nearest.Offer(c.name);
        nearest.Offer("halt");
        Error(mnemonicOffset,
              "неизвестная команда " + Quote(mnemonic) +
                  Expecting(nearest.best(), "CALL, BRANCH, BRANCH_C, ALU, SHIFT, LOAD, SAVE, "
                                            "LAL, LAH, halt или директива (.org, .word, .data, "
                                            ".byte, .space, .break)"));
        return;
    }
    const CommandEntry& cmd = kCommands[entry];
    uint32_t word = 0;
    for (char c : cmd.classBits)
        word = word << 1 | static_cast<uint32_t>(c - '0');
    word <<= 29;
    if (cmd.bit15 == 1)
        word |= 1u << 15;
    const unsigned cls = word >> 29;
    const bool isShift = cls == AluShift && cmd.bit15 == 1;
    const std::string name(cmd.name);

    // Positional operands and the form that names them.
    struct Positional {
        const char* what;    // "регистр A"
        const char* missing; // "регистра A"
        Field field;
    };
    std::vector<Positional> positional;
    const char* form = "";
    unsigned mask = 0;
    bool target = false, offset = false;
    switch (cls) {
    case Call:
    case Branch:
    case BranchC:
        target = true;
        form = " АДРЕС";
        break;
    case AluShift:
        positional = {{"регистр A", "регистра A", Field::Register},
                      {"регистр B", "регистра B", Field::Register}};
        if (isShift) {
            positional.push_back({"направление сдвига", "направления сдвига", Field::Direction});
            positional.push_back({"операция объединения", "операции объединения", Field::Combine});
            form = " A, B, НАПРАВЛЕНИЕ, ОБЪЕДИНЕНИЕ[, параметры]";
            mask = MShift;
        } else {
            positional.push_back({"операция АЛУ", "операции АЛУ", Field::Operation});
            form = " A, B, ОПЕРАЦИЯ[, параметры]";
            mask = MAlu;
        }
        break;
    case Load:
    case Save:
        positional = {{"регистр A", "регистра A", Field::Register},
                      {"регистр B", "регистра B", Field::Register}};
        offset = true;
        form = " A, B, СМЕЩЕНИЕ[, параметры]";
        mask = MLoadSave;
        break;
    default:
        form = "[ параметры]";
        mask = MLaLah;
        break;
    }
    const std::size_t need = positional.size() + (target || offset ? 1 : 0);
    if (ops.size() < need) {
        const std::size_t at = ops.empty() ? mnemonicOffset + mnemonic.size()
                                           : ops.back().valueOffset + ops.back().value.size();
        const char* missing = ops.size() < positional.size() ? positional[ops.size()].missing
                              : target                       ? "адреса перехода"
                                                             : "смещения";
        Error(at,
              std::string("нет ") + missing + "; " + name + " записывается так: " + name + form);
        return;
    }
    if (target && ops.size() > 1) {
        Error(ops[1].valueOffset, "у " + name + " один операнд, адрес перехода");
        return;
    }
    static constexpr unsigned kShifts[] = {20, 24, 0, 0};
    for (std::size_t i = 0; i < positional.size(); ++i) {
        const Operand& op = ops[i];
        if (!op.key.empty()) {
            Error(op.keyOffset, std::string("ожидается ") + positional[i].what + "; " + name +
                                    " записывается так: " + name + form);
            return;
        }
        unsigned code = 0;
        if (!FieldCode(positional[i].field, op, code))
            return;
        if (i < 2)
            word |= code << kShifts[i];
        else if (positional[i].field == Field::Operation)
            word |= code;
        else if (positional[i].field == Field::Direction)
            word |= code << 5;
        else
            word |= code << 2;
    }

    // Options.
    unsigned given = 0; // bit per option: flags 0..6, fields 7..11, offset 12, stack bare
    bool stackGiven = false;
    const Operand* offsetOption = nullptr;
    unsigned stack = kStackNop;
    for (std::size_t i = need; i < ops.size(); ++i) {
        const Operand& op = ops[i];
        if (op.key.empty()) {
            bool done = false;
            for (std::size_t f = 0; f < kFlags.size() && !op.quoted; ++f)
                if ((kFlags[f].classes & mask) && asmnames::SameWord(op.value, kFlags[f].name)) {
                    if (given & (1u << f)) {
                        Error(op.valueOffset,
                              "параметр " + std::string(kFlags[f].name) + " задан дважды");
                        return;
                    }
                    given |= 1u << f;
                    word |= 1u << kFlags[f].bit;
                    done = true;
                }
            if (done)
                continue;
            unsigned code = 0;
            if ((op.quoted || !IsDigit(op.value[0])) &&
                asmnames::LookupName(Field::Stack, op.value, op.quoted, code)) {
                if (stackGiven) {
                    Error(op.valueOffset, "действие со стеком задано дважды");
                    return;
                }
                stackGiven = true;
                stack = code;
                continue;
            }
            Error(op.valueOffset,
                  "неизвестный параметр " + Quote(op.value) + " команды " + name +
                      Expecting(NearestOption(op.value, mask, true), OptionsOf(mask)));
            return;
        }
        // key=value
        bool done = false;
        for (std::size_t f = 0; f < kFlags.size(); ++f)
            if ((kFlags[f].classes & mask) && asmnames::SameWord(op.key, kFlags[f].name)) {
                if (given & (1u << f)) {
                    Error(op.keyOffset,
                          "параметр " + std::string(kFlags[f].name) + " задан дважды");
                    return;
                }
                given |= 1u << f;
                if (op.value == "1")
                    word |= 1u << kFlags[f].bit;
                else if (op.value != "0") {
                    Error(op.valueOffset,
                          "параметр " + std::string(kFlags[f].name) + " принимает значение 0 или 1");
                    return;
                }
                done = true;
            }
        for (std::size_t f = 0; f < kFieldOptions.size() && !done; ++f)
            if ((kFieldOptions[f].classes & mask) &&
                asmnames::SameWord(op.key, kFieldOptions[f].name)) {
                unsigned code = 0;
                if (f == 0 ? stackGiven : (given & (1u << (7 + f))) != 0) {
                    Error(op.keyOffset,
                          "параметр " + std::string(kFieldOptions[f].name) + " задан дважды");
                    return;
                }
                if (!FieldCode(kFieldOptions[f].field, op, code))
                    return;
                if (f == 0) {
                    stackGiven = true;
                    stack = code;
                } else {
                    given |= 1u << (7 + f);
                    word |= code << kFieldOptions[f].shift;
                }
                done = true;
            }
        if (!done && (mask & MLaLah) && asmnames::SameWord(op.key, "offset")) {
            if (offsetOption != nullptr) {
                Error(op.keyOffset, "параметр offset задан дважды");
                return;
            }
            offsetOption = &op;
            done = true;
        }
        if (!done) {
            Error(op.keyOffset, "неизвестный параметр " + Quote(op.key) + " команды " + name +
                                    Expecting(NearestOption(op.key, mask, false), OptionsOf(mask)));
            return;
        }
    }
    if (cls != Call && cls != Branch && cls != BranchC)
        word |= stack << 16;

    std::size_t region, position;
    if (!EmitInstruction(mnemonicOffset, word, region, position))
        return;
    if (target)
        Value(FixKind::Target, ops[0], region, position);
    else if (offset)
        Value(FixKind::Offset, ops[2], region, position);
    else if (offsetOption != nullptr) {
        Operand bare = *offsetOption;
        bare.key = {};
        Value(FixKind::Offset, bare, region, position);
    }
}

// CALL ... halt: the lines that take 4 bytes.
bool IsInstructionName(std::string_view mnemonic) {
    if (asmnames::SameWord(mnemonic, "halt"))
        return true;
    for (const isa::CommandEntry& c : isa::kCommands)
        if (asmnames::SameWord(mnemonic, c.name))
            return true;
    return false;
}

void Assembler::Directive(std::string_view name, std::size_t nameOffset,
                          const std::vector<Operand>& ops) {
    const auto known = [&](const Operand& op, int64_t& v) {
        if (op.quoted || !op.key.empty()) {
            Error(op.quoted ? op.valueOffset : op.keyOffset, "ожидается число или метка");
            return false;
        }
        bool unknown = false;
        return Evaluate(op.value, op.valueOffset, true, v, unknown, lineText_, line_);
    };
    const uint64_t limit = bound_ == AsmBound::Memory ? uint64_t{kMemorySize} : kAddressLimit;
    const int64_t lastAddress = static_cast<int64_t>(limit) - 1;
    const std::string lower = LowerCopy(name);
    if (lower == ".org" || lower == ".space") {
        const bool org = lower == ".org";
        if (ops.size() != 1) {
            Error(ops.empty() ? nameOffset + name.size() : ops[1].valueOffset,
                  std::string(name) + (org ? " принимает один операнд, адрес"
                                           : " принимает один операнд, число байтов"));
            return;
        }
        int64_t v = 0;
        if (!known(ops[0], v))
            return;
        if (org) {
            if (!CheckRange(v, 0, lastAddress, "адрес", ops[0].valueOffset, lineText_, line_))
                return;
            loc_ = static_cast<uint64_t>(v);
        } else {
            if (!CheckRange(v, 0, static_cast<int64_t>(limit - loc_), "число байтов",
                            ops[0].valueOffset, lineText_, line_))
                return;
            // One span, or two when 2^32 bytes are skipped from address 0.
            for (uint64_t left = static_cast<uint64_t>(v); left > 0;) {
                const uint64_t n = std::min<uint64_t>(left, 0xFFFFFFFFu);
                result_.spans.push_back({static_cast<uint32_t>(loc_), static_cast<uint32_t>(n),
                                         line_, AsmItemKind::Space});
                loc_ += n;
                left -= n;
            }
        }
        open_ = false;
        return;
    }
    if (lower == ".word" || lower == ".data" || lower == ".byte") {
        if (ops.empty()) {
            Error(nameOffset + name.size(), std::string(name) + " требует хотя бы одно значение");
            return;
        }
        const FixKind kind = lower == ".word"   ? FixKind::WordMsb
                             : lower == ".data" ? FixKind::WordLsb
                                                : FixKind::Byte;
        const AsmItemKind item = lower == ".word"   ? AsmItemKind::Word
                                 : lower == ".data" ? AsmItemKind::Data
                                                    : AsmItemKind::Byte;
        const std::size_t size = kind == FixKind::Byte ? 1 : 4;
        for (const Operand& op : ops) {
            std::size_t region, position;
            if (!Emit(size, item, op.valueOffset, region, position))
                return;
            Value(kind, op, region, position);
        }
        return;
    }
    if (lower == ".break") {
        if (ops.size() > 2) {
            Error(ops[2].valueOffset,
                  ".break принимает не больше двух операндов: адрес и значение отметки");
            return;
        }
        int64_t address = static_cast<int64_t>(loc_);
        int64_t value = 1;
        if (!ops.empty() && !known(ops[0], address))
            return;
        if (ops.size() == 2 && !known(ops[1], value))
            return;
        const std::size_t at = ops.empty() ? nameOffset : ops[0].valueOffset;
        if (!CheckRange(address, 0, lastAddress, "адрес точки останова", at, lineText_, line_))
            return;
        if (ops.size() == 2 &&
            !CheckRange(value, 1, 255, "значение отметки", ops[1].valueOffset, lineText_, line_))
            return;
        markSites_.push_back({static_cast<uint32_t>(address), static_cast<uint8_t>(value), line_,
                              ColumnOf(lineText_, at)});
        return;
    }
    asmnames::Nearest nearest(name);
    for (std::string_view d : {".org", ".word", ".data", ".byte", ".space", ".break"})
        nearest.Offer(d);
    Error(nameOffset,
          "неизвестная директива " + Quote(name) +
              Expecting(nearest.best(), ".org, .word, .data, .byte, .space или .break"));
}

void Assembler::Line(std::string_view text, int lineNo) {
    line_ = lineNo;
    lineText_ = text;
    // The comment starts at the first ';' outside quotes.
    std::size_t end = 0;
    bool inQuote = false;
    std::size_t quoteAt = 0;
    for (; end < text.size(); ++end) {
        if (text[end] == '"') {
            inQuote = !inQuote;
            quoteAt = end;
        } else if (text[end] == ';' && !inQuote) {
            break;
        }
    }
    if (inQuote) {
        Error(quoteAt, "незакрытая кавычка; имя в кавычках заканчивается знаком '\"'");
        return;
    }
    std::size_t i = 0;
    while (true) {
        while (i < end && IsBlank(text[i]))
            ++i;
        if (i >= end)
            return;
        // A label: a name followed by ':'. Letters outside ASCII are taken
        // in, so that such a name is reported as a label.
        std::size_t j = i;
        bool ascii = true;
        while (j < end && (IsIdentChar(text[j]) || static_cast<unsigned char>(text[j]) >= 0x80)) {
            ascii = ascii && static_cast<unsigned char>(text[j]) < 0x80;
            ++j;
        }
        std::size_t k = j;
        while (k < end && IsBlank(text[k]))
            ++k;
        if (k < end && text[k] == ':') {
            const std::string_view label = text.substr(i, j - i);
            // A bad label is reported and left out; what follows it on the
            // line is assembled, so that the addresses after it stay right.
            const std::size_t at = i;
            i = k + 1;
            if (!ascii) {
                Error(at, "в имени метки " + Quote(label) +
                              " есть буквы не из латинского алфавита; имя метки состоит из "
                              "латинских букв, цифр, '_' и '.'");
                continue;
            }
            if (label.empty() || !IsIdentStart(label[0])) {
                Error(at, "метка начинается с латинской буквы или '_' и состоит из латинских "
                          "букв, цифр, '_' и '.'");
                continue;
            }
            auto [it, inserted] = labels_.try_emplace(LowerCopy(label), LabelInfo{loc_, lineNo});
            if (!inserted) {
                Error(at, "метка " + Quote(label) + " определена дважды (впервые в строке " +
                              std::to_string(it->second.line) + ")");
                continue;
            }
            result_.labels.push_back({std::string(label), static_cast<uint32_t>(loc_), lineNo});
            continue;
        }
        break;
    }
    // The mnemonic or directive runs to the first blank.
    std::size_t j = i;
    while (j < end && !IsBlank(text[j]))
        ++j;
    const std::string_view mnemonic = text.substr(i, j - i);
    std::size_t k = j;
    while (k < end && IsBlank(text[k]))
        ++k;
    ops_.clear();
    const std::size_t errors = result_.errors.size();
    const uint64_t before = loc_;
    if (k < end && !SplitOperands(text.substr(k, end - k), k, ops_)) {
    } else if (mnemonic[0] == '.') {
        Directive(mnemonic, i, ops_);
        return;
    } else {
        Instruction(mnemonic, i, ops_);
    }
    if (result_.errors.size() > errors && loc_ == before && IsInstructionName(mnemonic))
        SkipFailedInstruction();
}

void Assembler::CheckOverlaps() {
    // Runs of bytes that items laid down one after another, where each began.
    struct Run {
        uint64_t address, end;
        int line;
    };
    std::vector<uint8_t> failed(result_.spans.size(), 0);
    for (std::size_t span : failedSpans_)
        failed[span] = 1;
    std::vector<Run> runs;
    for (std::size_t i = 0; i < result_.spans.size(); ++i) {
        const AsmSpan& s = result_.spans[i];
        if (s.kind == AsmItemKind::Space || failed[i])
            continue;
        if (!runs.empty() && runs.back().end == s.address)
            runs.back().end += s.size;
        else
            runs.push_back({s.address, uint64_t{s.address} + s.size, s.line});
    }
    const auto byAddress = [](const Run& a, const Run& b) { return a.address < b.address; };
    if (!std::is_sorted(runs.begin(), runs.end(), byAddress))
        std::stable_sort(runs.begin(), runs.end(), byAddress);
    uint64_t reach = 0;
    int reachLine = 0;
    for (std::size_t n = 0; n < runs.size(); ++n) {
        const Run& r = runs[n];
        if (n > 0 && r.address < reach)
            result_.errors.push_back({std::max(r.line, reachLine), 1,
                                      "перекрывает байты, записанные со строки " +
                                          std::to_string(std::min(r.line, reachLine)) +
                                          ": адреса с " + std::to_string(r.address) + " по " +
                                          std::to_string(std::min(reach, r.end) - 1) +
                                          " записываются дважды"});
        if (r.end > reach) {
            reach = r.end;
            reachLine = r.line;
        }
    }
}

AssembleResult Assembler::Run() {
    if (src_.size() > kMaxSourceBytes) {
        result_.errors.push_back({1, 1, "текст слишком длинный (больше 64 МиБ)"});
        return std::move(result_);
    }
    // Editors on some systems begin a UTF-8 text with a byte-order mark.
    if (src_.starts_with("\xEF\xBB\xBF"))
        src_.remove_prefix(3);
    int lineNo = 0;
    std::size_t pos = 0;
    while (pos <= src_.size()) {
        std::size_t nl = src_.find('\n', pos);
        if (nl == std::string_view::npos)
            nl = src_.size();
        std::string_view text = src_.substr(pos, nl - pos);
        ++lineNo;
        Line(text, lineNo);
        pos = nl + 1;
    }

    resolving_ = true;
    for (const Fixup& f : fixups_) {
        int64_t v = 0;
        bool unknown = false;
        const Range r = RangeOf(f.kind);
        if (Evaluate(f.expr, f.offset, true, v, unknown, f.lineText, f.line) &&
            CheckRange(v, r.lo, r.hi, r.what, f.offset, f.lineText, f.line))
            StoreValue(f.kind, f.region, f.position,
                       static_cast<uint32_t>(static_cast<uint64_t>(v)));
        else
            failedSpans_.push_back(f.span);
    }
    CheckOverlaps();

    // No mark may be set twice.
    std::stable_sort(markSites_.begin(), markSites_.end(),
                     [](const MarkSite& a, const MarkSite& b) { return a.address < b.address; });
    for (std::size_t n = 0; n < markSites_.size(); ++n) {
        if (n > 0 && markSites_[n].address == markSites_[n - 1].address) {
            const MarkSite& a = markSites_[n - 1];
            const MarkSite& b = markSites_[n];
            const MarkSite& later = a.line > b.line ? a : b;
            result_.errors.push_back({later.line, later.column,
                                      "точка останова по адресу " + std::to_string(b.address) +
                                          " отмечена дважды (ещё в строке " +
                                          std::to_string(a.line > b.line ? b.line : a.line) + ")"});
            continue;
        }
        result_.marks.push_back({markSites_[n].address, markSites_[n].value});
    }

    const auto start = labels_.find("start");
    if (start != labels_.end())
        result_.start = static_cast<uint32_t>(start->second.address);
    else if (haveInstruction_)
        result_.start = firstInstruction_;

    std::stable_sort(result_.errors.begin(), result_.errors.end(),
                     [](const AsmError& a, const AsmError& b) {
                         return a.line != b.line ? a.line < b.line : a.column < b.column;
                     });
    if (!result_.errors.empty()) {
        result_.regions.clear();
        result_.marks.clear();
        result_.spans.clear();
        result_.labels.clear();
        result_.start = 0;
    } else {
        std::erase_if(result_.regions, [](const AsmRegion& r) { return r.bytes.empty(); });
    }
    return std::move(result_);
}

} // namespace

std::string FormatAsmError(const AsmError& error) {
    return "строка " + std::to_string(error.line) + ", столбец " + std::to_string(error.column) +
           ": " + error.message;
}

AssembleResult Assemble(std::string_view source, AsmBound bound) {
    return Assembler(source, bound).Run();
}

std::vector<uint32_t> AssembleWords(std::string_view source, std::vector<AsmError>* errors) {
    AssembleResult r = Assemble(source, AsmBound::Unbounded);
    std::vector<uint32_t> words;
    if (!r.ok()) {
        if (errors != nullptr)
            *errors = std::move(r.errors);
        return words;
    }
    std::sort(r.regions.begin(), r.regions.end(),
              [](const AsmRegion& a, const AsmRegion& b) { return a.address < b.address; });
    std::size_t total = 0;
    for (const auto& region : r.regions)
        total += region.bytes.size();
    words.reserve(total / 4 + 1);
    uint32_t w = 0;
    std::size_t n = 0;
    for (const auto& region : r.regions)
        for (uint8_t b : region.bytes) {
            w = w << 8 | b;
            if (++n % 4 == 0)
                words.push_back(w);
        }
    if (n % 4 != 0)
        words.push_back(w << (8 * (4 - n % 4)));
    return words;
}

bool AssembleOne(std::string_view line, uint32_t& word) {
    if (line.find('\n') != std::string_view::npos)
        return false;
    const AssembleResult r = Assemble(line, AsmBound::Memory);
    if (!r.ok() || r.regions.size() != 1 || r.regions[0].bytes.size() != 4 ||
        r.regions[0].address != 0)
        return false;
    const auto& b = r.regions[0].bytes;
    word = uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
    return true;
}

void ApplyProgram(const AssembleResult& result, MachineState& state) {
    state.Memory.fill(0);
    state.BreakpointMarks.fill(0);
    for (const auto& region : result.regions)
        for (std::size_t i = 0; i < region.bytes.size(); ++i)
            state.WriteByte(region.address + static_cast<uint32_t>(i), region.bytes[i]);
    for (const auto& mark : result.marks)
        if (MachineState::InMemory(mark.address))
            state.BreakpointMarks[mark.address] = mark.value;
    state.PC = static_cast<int32_t>(result.start);
}

} // namespace kovar
