// The names the assembler and the disassembler share: the fields that are
// written by name, how a typed name is matched to a code, and the option words
// of each instruction class. All names come from the tables in isa.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kovar::asmnames {

enum class Field { Register, Stack, Condition, Carry, Operation, Direction, Combine };

// The largest code of a field (15, 15, 15, 3, 127, 3, 3).
unsigned MaxCode(Field field);
// The field in the genitive, for messages: "регистра", "условия", ...
std::string_view FieldWhat(Field field);
// "неизвестный регистр", "неизвестное условие", ... for messages.
std::string_view FieldUnknown(Field field);
// The names a user may type, for "ожидается одно из ..." messages.
std::string ExpectedNames(Field field);

// The known name nearest to a mistyped one: offered the names one by one, it
// keeps the first of the nearest. A name is near when it is at most one edit
// (insert, delete, replace, swap of neighbours) away for a typed text of up
// to 3 characters, two for a longer one; ASCII case does not count.
class Nearest {
public:
    explicit Nearest(std::string_view typed);
    // `shown` is how the suggestion is written (the name itself when empty).
    void Offer(std::string_view name, std::string_view shown = {});
    const std::string& best() const { return best_; } // empty: none is near
private:
    std::u32string typed_;
    unsigned limit_;        // the largest distance still near
    unsigned bestDistance_; // of best_, limit_ + 1 while there is none
    std::string best_;
};
// The nearest name of a field, as it would be typed (a list name in quotes);
// a quoted text is matched against the list names only.
std::string NearestFieldName(Field field, std::string_view typed, bool quoted);

// Matches a typed name: a quoted text against the instruction constructor's
// list names, a bare text against the short mnemonics first and then the list
// names. ASCII letters match in any case; runs of blanks count as one.
bool LookupName(Field field, std::string_view text, bool quoted, unsigned& code);

// The text the disassembler writes for a code ("" when the code has no name).
std::string_view CanonicalName(Field field, unsigned code);

// ASCII case-insensitive equality.
bool SameWord(std::string_view a, std::string_view b);

} // namespace kovar::asmnames
