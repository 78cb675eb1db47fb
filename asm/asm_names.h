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
// "register", "stack action", ... for messages.
std::string_view FieldWhat(Field field);
// The names a user may type, for "expected one of ..." messages.
std::string ExpectedNames(Field field);

// Matches a typed name: a quoted text against the instruction constructor's
// list names, a bare text against the short mnemonics first and then the list
// names. ASCII letters match in any case; runs of blanks count as one.
bool LookupName(Field field, std::string_view text, bool quoted, unsigned& code);

// The text the disassembler writes for a code ("" when the code has no name).
std::string_view CanonicalName(Field field, unsigned code);

// ASCII case-insensitive equality.
bool SameWord(std::string_view a, std::string_view b);

} // namespace kovar::asmnames
