#include "asm_names.h"

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
    case Field::Register: return "register";
    case Field::Stack: return "stack action";
    case Field::Condition: return "condition";
    case Field::Carry: return "carry";
    case Field::Operation: return "ALU operation";
    case Field::Direction: return "shift direction";
    case Field::Combine: return "combine operation";
    }
    return "field";
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
        out += " (or the instruction constructor's name of the entry)";
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
        out += " (or the instruction constructor's name of the entry)";
        break;
    }
    return out + ", or a code 0 to " + std::to_string(MaxCode(field));
}

} // namespace kovar::asmnames
