// The calculator without its window: the tokenizer, the operator priorities
// and the operator-stack conversion of an infix text into the postfix list,
// and the in-place evaluation of that list over the variables A, B, C and D.
//
// Texts are UTF-8. Where an entry is cut to 10 characters it is cut after the
// tenth character, never inside a multi-byte sequence.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kovar::calc {

// Longest text an entry of the postfix list or of the operator stack holds.
inline constexpr std::size_t kEntryChars = 10;
// Slots of the postfix list; its 8-bit count reaches only the first 255.
inline constexpr std::size_t kListSlots = 1000;
inline constexpr std::size_t kMaxListEntries = 255;
// Pending entries the operator stack of one conversion can hold.
inline constexpr std::size_t kMaxStackEntries = 254;
// Only this many characters of an infix text are read.
inline constexpr std::size_t kMaxInfixChars = 255;

inline constexpr std::string_view kConversionError = "Error";

// The first `chars` characters of a UTF-8 text (the whole text when shorter).
std::string_view FirstChars(std::string_view text, std::size_t chars);

// One entry: a text of at most 10 characters kept in place, so that filling
// the list or the stack never allocates.
class Entry {
public:
    constexpr Entry() = default;
    // Keeps the first 10 characters of the text.
    void Assign(std::string_view text);
    std::string_view Text() const { return {bytes_.data(), size_}; }

private:
    std::array<char, kEntryChars * 4> bytes_{};
    uint8_t size_ = 0;
};

// The postfix list shared by the conversion and the evaluation. The window
// keeps one for the whole run; each conversion replaces its content and each
// evaluation rewrites its entries in place. The count is 8 bits wide and
// never wraps: an entry beyond the 255th is refused.
class PostfixList {
public:
    constexpr PostfixList() = default;

    uint8_t Count() const { return count_; }
    // Entry number `index`, 0-based, for index < Count().
    std::string_view operator[](std::size_t index) const { return slots_[index].Text(); }
    // Rewrites entry number `index` (0-based, below Count()), cut to 10 characters.
    void Set(std::size_t index, std::string_view text) { slots_[index].Assign(text); }

    void Clear() { count_ = 0; }
    // Appends the text cut to 10 characters; false (and nothing stored) when
    // the list already holds 255 entries.
    bool Append(std::string_view text);

private:
    std::array<Entry, kListSlots> slots_{};
    uint8_t count_ = 0;
};

enum class TokenKind : uint8_t { None = 0, Operand = 1, Operator = 9, Function = 20 };

struct Token {
    std::string_view text; // points into the scanned text; empty for kind None
    TokenKind kind = TokenKind::None;
};

// Reads the token at the 1-based byte position `position` (spaces before it
// are skipped) and moves the position past it. Kind None (a character that
// starts no token, or the end of the text) leaves the position on that
// character. Only ASCII characters start or continue a token, so positions
// before the first non-ASCII character count bytes and characters alike.
Token NextToken(std::string_view text, std::size_t& position);

// 20 for "(" and names, 30 for ")", 5 for "*" "/", 4 for "+" "-", else 0.
int Priority(std::string_view token);

// Whether the entry on top of the operator stack moves to the list before
// the current token is handled.
bool ShouldPop(std::string_view top, std::string_view token);

// Converts the infix text into the list and returns the postfix text: each
// entry preceded by one space. A character that starts no token, a 255th
// pending operator or a 256th list entry shows "Error" once; the conversion
// then stops at that point and flushes the pending operators into the list as
// at the end (as far as the list has room). Only the first 255 characters are
// read: a longer text is converted up to there, then reports "Error" the
// same way.
std::string InfixToPostfix(std::string_view infix, PostfixList& list);

// What the infix field does when it loses the focus: a text that is empty
// once blanks and control characters are trimmed converts nothing (nullopt;
// the list and the postfix field keep what they held); any other text is
// converted as typed, untrimmed, and its postfix text returned.
std::optional<std::string> ConvertInfixField(std::string_view infix, PostfixList& list);

// Whether the text is a number as the evaluation reads it: leading spaces, an
// optional sign, then a non-empty rest of optional digits, optionally "."
// and optional digits, optionally an exponent ("E" or "e", optional sign, at
// least one digit), and nothing after it. The point is "." in every locale.
bool IsNumberText(std::string_view text);

// The text of a result: fixed-point with five decimals, right-aligned to 10
// characters and cut to 10. The value must be finite.
std::string ResultText(long double value);

enum class ArithmeticFault : uint8_t { DivisionByZero, InvalidOperation, Overflow };

// "Floating point division by zero", "Invalid floating point operation",
// "Floating point overflow".
std::string_view FaultMessage(ArithmeticFault fault);

struct Evaluation {
    // Set when the evaluation stopped on a fault: the caller reports its
    // message and leaves the answer as it was. Entries rewritten before the
    // fault stay rewritten.
    std::optional<ArithmeticFault> fault;
    // The new answer when there is no fault: the last entry, or empty for an
    // empty list.
    std::string answer;
};

// Evaluates the list in place with the texts of the four variable fields, as
// typed (each cut to 10 characters where it replaces a name).
Evaluation Evaluate(PostfixList& list, std::string_view a, std::string_view b, std::string_view c,
                    std::string_view d);

} // namespace kovar::calc
