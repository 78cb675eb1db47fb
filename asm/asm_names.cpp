#include "asm_names.h"

#include <algorithm>
#include <vector>

#include "isa.h"

namespace kovar::asmnames {

namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Equal up to ASCII case and the length of blank runs.
bool SameName(std::string_view typed, std::string_view name) {
    std::size_t i = 0, j = 0;
    while (i < typed.size() && j < name.size()) {
        if (IsBlank(typed[i]) && IsBlank(name[j])) {
            while (i < typed.size() && IsBlank(typed[i]))
                ++i;
            while (j < name.size() && IsBlank(name[j]))
                ++j;
            continue;
        }
        if (Lower(typed[i]) != Lower(name[j]))
            return false;
        ++i;
        ++j;
    }
    return i == typed.size() && j == name.size();
}

template <typename Names>
bool Find(const Names& names, std::string_view text, unsigned& code, bool exactBlanks) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i].empty())
            continue;
        if (exactBlanks ? SameWord(text, names[i]) : SameName(text, names[i])) {
            code = static_cast<unsigned>(i);
            return true;
        }
    }
    return false;
}

} // namespace

bool SameWord(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

unsigned MaxCode(Field field) {
    switch (field) {
    case Field::Register:
    case Field::Stack:
    case Field::Condition: return 15;
    case Field::Operation: return 127;
    default: return 3;
    }
}

std::string_view FieldWhat(Field field) {
    switch (field) {
    case Field::Register: return "регистра";
    case Field::Stack: return "действия со стеком";
    case Field::Condition: return "условия";
    case Field::Carry: return "переноса";
    case Field::Operation: return "операции АЛУ";
    case Field::Direction: return "направления сдвига";
    case Field::Combine: return "операции объединения";
    }
    return "поля";
}

std::string_view FieldUnknown(Field field) {
    switch (field) {
    case Field::Register: return "неизвестный регистр";
    case Field::Stack: return "неизвестное действие со стеком";
    case Field::Condition: return "неизвестное условие";
    case Field::Carry: return "неизвестный перенос";
    case Field::Operation: return "неизвестная операция АЛУ";
    case Field::Direction: return "неизвестное направление сдвига";
    case Field::Combine: return "неизвестная операция объединения";
    }
    return "неизвестное значение";
}

namespace {

// Characters of a UTF-8 text with ASCII letters in lower case; a byte that
// does not start a well-formed sequence counts as one character.
std::u32string Characters(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const std::size_t n = b < 0x80         ? 1
                              : (b >> 5) == 6  ? 2
                              : (b >> 4) == 14 ? 3
                              : (b >> 3) == 30 ? 4
                                               : 1;
        char32_t c = n == 1 ? b : b & (0x7F >> n);
        std::size_t k = 1;
        for (; k < n && i + k < s.size() && (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
             ++k)
            c = c << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        if (k < n) { // cut short: the lead byte alone
            c = b;
            k = 1;
        }
        out += c >= U'A' && c <= U'Z' ? c - U'A' + U'a' : c;
        i += k;
    }
    return out;
}

// Edits between a and b (neighbours swapped count one), or limit + 1 when
// more than limit.
unsigned Distance(const std::u32string& a, const std::u32string& b, unsigned limit) {
    const std::size_t la = a.size(), lb = b.size();
    if ((la > lb ? la - lb : lb - la) > limit)
        return limit + 1;
    // Three rows of the table: i - 2, i - 1 and i.
    std::u32string::size_type width = lb + 1;
    std::vector<unsigned> rows(3 * width, 0);
    unsigned* older = rows.data();
    unsigned* prev = older + width;
    unsigned* cur = prev + width;
    for (std::size_t j = 0; j <= lb; ++j)
        prev[j] = static_cast<unsigned>(j);
    for (std::size_t i = 1; i <= la; ++i) {
        cur[0] = static_cast<unsigned>(i);
        unsigned rowMin = cur[0];
        for (std::size_t j = 1; j <= lb; ++j) {
            const unsigned cost = a[i - 1] == b[j - 1] ? 0 : 1;
            unsigned d = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d = std::min(d, older[j - 2] + 1);
            cur[j] = d;
            rowMin = std::min(rowMin, d);
        }
        if (rowMin > limit)
            return limit + 1;
        unsigned* t = older;
        older = prev;
        prev = cur;
        cur = t;
    }
    return std::min(prev[lb], limit + 1);
}

} // namespace

// Known names are short: a typed text longer than this is near none.
constexpr std::size_t kLongestNear = 64;

Nearest::Nearest(std::string_view typed) {
    if (typed.size() <= kLongestNear)
        typed_ = Characters(typed);
    limit_ = typed_.size() <= 1 ? 0 : typed_.size() <= 3 ? 1 : 2;
    bestDistance_ = limit_ + 1;
}

void Nearest::Offer(std::string_view name, std::string_view shown) {
    // A name with fewer bytes than the typed text has characters, less the
    // limit, is not near: skip it without decoding it.
    if (limit_ == 0 || name.empty() || name.size() + limit_ < typed_.size())
        return;
    const unsigned d = Distance(typed_, Characters(name), bestDistance_ - 1);
    if (d < bestDistance_ && d > 0) {
        bestDistance_ = d;
        best_ = shown.empty() ? name : shown;
    }
}

std::string NearestFieldName(Field field, std::string_view typed, bool quoted) {
    using namespace isa;
    Nearest nearest(typed);
    const auto offer = [&](std::string_view mnemonic, std::string_view listName) {
        if (!quoted)
            nearest.Offer(mnemonic);
        std::string shown(1, '"');
        shown.append(listName).push_back('"');
        nearest.Offer(listName, shown);
    };
    const auto offerAll = [&](const auto& mnemonics, const auto& names) {
        for (std::size_t i = 0; i < names.size(); ++i)
            offer(mnemonics[i], names[i]);
    };
    switch (field) {
    case Field::Register:
        for (const auto& r : kRegisters)
            nearest.Offer(r.listName); // typed alike with or without quotes
        break;
    case Field::Stack: offerAll(kStackActionMnemonics, kStackActionNames); break;
    case Field::Condition: offerAll(kConditionMnemonics, kConditionNames); break;
    case Field::Carry: offerAll(kCarryMnemonics, kCarryNames); break;
    case Field::Direction: offerAll(kShiftDirectionMnemonics, kShiftDirectionNames); break;
    case Field::Combine: offerAll(kCombineMnemonics, kCombineNames); break;
    case Field::Operation:
        for (const auto& op : kAluOperations)
            offer(op.mnemonic, op.name);
        break;
    }
    return nearest.best();
}

bool LookupName(Field field, std::string_view text, bool quoted, unsigned& code) {
    using namespace isa;
    switch (field) {
    case Field::Register:
        for (unsigned i = 0; i < kRegisters.size(); ++i)
            if (SameWord(text, kRegisters[i].listName) ||
                (!quoted && SameWord(text, kRegisters[i].traceName))) {
                code = i;
                return true;
            }
        return false;
    case Field::Stack:
        return (!quoted && Find(kStackActionMnemonics, text, code, true)) ||
               Find(kStackActionNames, text, code, false);
    case Field::Condition:
        return (!quoted && Find(kConditionMnemonics, text, code, true)) ||
               Find(kConditionNames, text, code, false);
    case Field::Carry:
        return (!quoted && Find(kCarryMnemonics, text, code, true)) ||
               Find(kCarryNames, text, code, false);
    case Field::Direction:
        return (!quoted && Find(kShiftDirectionMnemonics, text, code, true)) ||
               Find(kShiftDirectionNames, text, code, false);
    case Field::Combine:
        return (!quoted && Find(kCombineMnemonics, text, code, true)) ||
               Find(kCombineNames, text, code, false);
    case Field::Operation:
        for (const auto& op : kAluOperations)
            if ((!quoted && SameWord(text, op.mnemonic)) || SameName(text, op.name)) {
                code = op.code;
                return true;
            }
        return false;
    }
    return false;
}

std::string_view CanonicalName(Field field, unsigned code) {
    using namespace isa;
    switch (field) {
    case Field::Register: return code < kRegisters.size() ? kRegisters[code].listName : "";
    case Field::Stack:
        return code < kStackActionMnemonics.size() ? kStackActionMnemonics[code] : "";
    case Field::Condition:
        return code < kConditionMnemonics.size() ? kConditionMnemonics[code] : "";
    case Field::Carry: return code < kCarryMnemonics.size() ? kCarryMnemonics[code] : "";
    case Field::Direction:
        return code < kShiftDirectionMnemonics.size() ? kShiftDirectionMnemonics[code] : "";
    case Field::Combine: return code < kCombineMnemonics.size() ? kCombineMnemonics[code] : "";
    case Field::Operation:
        for (const auto& op : kAluOperations)
            if (op.code == code)
                return op.mnemonic;
        return "";
    }
    return "";
}

std::string ExpectedNames(Field field) {
    using namespace isa;
    std::string out;
    const auto add = [&out](std::string_view s) {
        if (s.empty())
            return;
        if (!out.empty())
            out += ", ";
        out += s;
    };
    const auto addAll = [&](const auto& mnemonics, const auto&) {
        for (auto m : mnemonics)
            add(m);
        out += " (или название из списка конструктора команд)";
    };
    switch (field) {
    case Field::Register:
        for (const auto& r : kRegisters)
            add(r.listName);
        break;
    case Field::Stack: addAll(kStackActionMnemonics, kStackActionNames); break;
    case Field::Condition: addAll(kConditionMnemonics, kConditionNames); break;
    case Field::Carry: addAll(kCarryMnemonics, kCarryNames); break;
    case Field::Direction: addAll(kShiftDirectionMnemonics, kShiftDirectionNames); break;
    case Field::Combine: addAll(kCombineMnemonics, kCombineNames); break;
    case Field::Operation:
        for (const auto& op : kAluOperations)
            add(op.mnemonic);
        out += " (или название из списка конструктора команд)";
        break;
    }
    return out + " или код от 0 до " + std::to_string(MaxCode(field));
}

} // namespace kovar::asmnames
