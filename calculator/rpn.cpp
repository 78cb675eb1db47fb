// Infix-to-postfix conversion and in-place postfix evaluation.
#include "rpn.h"

#include <cmath>
#include <utility>

#include "extended.h"
#include "show_error.h"

namespace kovar::calc {

namespace {

constexpr std::array<std::string_view, 7> kFunctionNames = {"sin", "cos", "tg",  "arctg",
                                                            "exp", "ln",  "sqrt"};

bool IsContinuationByte(unsigned char c) {
    return (c & 0xC0) == 0x80;
}
bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}
bool IsLetter(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsOperatorChar(unsigned char c) {
    return c == '(' || c == ')' || c == '*' || c == '+' || c == '-' || c == '/';
}

// The operator stack of one conversion. It never holds more than 254
// entries; a push beyond that is refused.
class OperatorStack {
public:
    bool Empty() const { return size_ == 0; }
    std::string_view Top() const { return slots_[size_ - 1].Text(); }
    void Pop() { --size_; }
    bool Push(std::string_view text) {
        if (size_ == kMaxStackEntries) {
            return false;
        }
        slots_[size_++].Assign(text);
        return true;
    }

private:
    std::array<Entry, kMaxStackEntries> slots_{};
    uint8_t size_ = 0;
};

// A number text split into its parts (see IsNumberText).
struct NumberParts {
    bool negative = false;
    std::string_view mantissa; // digits, optional point, digits
    std::string_view rest;     // mantissa and exponent, without sign
    bool hasNonZeroDigit = false;
    // Decimal exponent of the first non-zero digit; meaningful only when there
    // is one. Saturates far outside the range of double.
    long leadExponent = 0;
};

std::optional<NumberParts> SplitNumber(std::string_view text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && text[i] == ' ') {
        ++i;
    }
    NumberParts parts;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        parts.negative = text[i] == '-';
        ++i;
    }
    const std::size_t restStart = i;
    if (restStart == n) {
        return std::nullopt; // empty rest: an empty text or a lone sign
    }
    long intDigits = 0;
    long firstNonZero = -1; // index among all mantissa digits
    long digitIndex = 0;
    while (i < n && IsDigit(text[i])) {
        if (text[i] != '0' && firstNonZero < 0) {
            firstNonZero = digitIndex;
        }
        ++digitIndex;
        ++intDigits;
        ++i;
    }
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && IsDigit(text[i])) {
            if (text[i] != '0' && firstNonZero < 0) {
                firstNonZero = digitIndex;
            }
            ++digitIndex;
            ++i;
        }
    }
    parts.mantissa = text.substr(restStart, i - restStart);
    long exponent = 0;
    if (i < n && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        bool expNegative = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            expNegative = text[i] == '-';
            ++i;
        }
        if (i == n || !IsDigit(text[i])) {
            return std::nullopt; // an exponent needs at least one digit
        }
        while (i < n && IsDigit(text[i])) {
            if (exponent < 1'000'000) {
                exponent = exponent * 10 + (text[i] - '0');
            }
            ++i;
        }
        if (expNegative) {
            exponent = -exponent;
        }
    }
    if (i != n) {
        return std::nullopt; // anything after the number
    }
    parts.rest = text.substr(restStart);
    parts.hasNonZeroDigit = firstNonZero >= 0;
    if (parts.hasNonZeroDigit) {
        parts.leadExponent = intDigits - 1 - firstNonZero + exponent;
    }
    return parts;
}

// The value of a number text as a double, or nullopt when it lies beyond
// the range of double. A text that is not a number counts as 0, and so does
// one too small for double.
std::optional<double> ReadOperand(std::string_view text) {
    const std::optional<NumberParts> parts = SplitNumber(text);
    if (!parts || !parts->hasNonZeroDigit) {
        return (parts && parts->negative) ? -0.0 : 0.0;
    }
    // Read without the leading spaces and sign, "." as the point whatever
    // the locale.
    const std::optional<double> value = ReadDecimal(parts->rest);
    if (!value) {
        return std::nullopt;
    }
    return parts->negative ? -*value : *value;
}

bool IsVariable(std::string_view entry, char upperName) {
    return entry.size() == 1 && (entry[0] == upperName || entry[0] == upperName + ('a' - 'A'));
}

} // namespace

std::string_view FirstChars(std::string_view text, std::size_t chars) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!IsContinuationByte(static_cast<unsigned char>(text[i]))) {
            if (seen == chars) {
                return text.substr(0, i);
            }
            ++seen;
        }
    }
    return text;
}

void Entry::Assign(std::string_view text) {
    std::string_view kept = FirstChars(text, kEntryChars);
    if (kept.size() > bytes_.size()) {
        // Only malformed UTF-8 (stray continuation bytes) gets here: keep
        // whole characters that fit, or the bytes that fit when none does.
        std::size_t end = bytes_.size();
        while (end > 0 && IsContinuationByte(static_cast<unsigned char>(kept[end]))) {
            --end;
        }
        kept = kept.substr(0, end > 0 ? end : bytes_.size());
    }
    kept.copy(bytes_.data(), kept.size());
    size_ = static_cast<uint8_t>(kept.size());
}

bool PostfixList::Append(std::string_view text) {
    if (count_ == kMaxListEntries) {
        return false;
    }
    slots_[count_].Assign(text);
    ++count_;
    return true;
}

Token NextToken(std::string_view text, std::size_t& position) {
    // The text reads as if followed by a NUL, which starts no token.
    const auto at = [text](std::size_t p) -> unsigned char {
        return (p >= 1 && p <= text.size()) ? static_cast<unsigned char>(text[p - 1]) : 0;
    };
    while (at(position) == ' ') {
        ++position;
    }
    const std::size_t start = position;
    const unsigned char c = at(start);
    if (IsOperatorChar(c)) {
        ++position;
        return {text.substr(start - 1, 1), TokenKind::Operator};
    }
    if (IsDigit(c)) {
        while (IsDigit(at(position)) || at(position) == '.') {
            ++position;
        }
        return {text.substr(start - 1, position - start), TokenKind::Operand};
    }
    if (IsLetter(c)) {
        while (IsLetter(at(position)) || IsDigit(at(position))) {
            ++position;
        }
        const std::string_view name = text.substr(start - 1, position - start);
        for (std::string_view function : kFunctionNames) {
            if (name == function) {
                return {name, TokenKind::Function};
            }
        }
        return {name, TokenKind::Operand};
    }
    return {{}, TokenKind::None};
}

int Priority(std::string_view token) {
    if (token.empty()) {
        return 0;
    }
    const unsigned char c = static_cast<unsigned char>(token[0]);
    if (c == '(' || IsLetter(c)) {
        return 20;
    }
    if (c == ')') {
        return 30;
    }
    if (c == '*' || c == '/') {
        return 5;
    }
    if (c == '+' || c == '-') {
        return 4;
    }
    return 0;
}

bool ShouldPop(std::string_view top, std::string_view token) {
    const int p = Priority(top);
    const int c = Priority(token);
    if (p < 9 && c < 9) {
        return c <= p; // equal levels group from the left
    }
    if (p == 20 || c == 20) {
        return false; // "(" and functions wait for ")" or the end
    }
    return true; // ")" moves the arithmetic operators out
}

std::string InfixToPostfix(std::string_view infix, PostfixList& list) {
    list.Clear();
    OperatorStack stack;

    // Only the first 255 characters are read; reaching the end of a longer
    // text is an error like an unreadable character there.
    const std::string_view visible = FirstChars(infix, kMaxInfixChars);
    bool failed = false;
    const auto fail = [&failed] {
        if (!failed) {
            ShowError(kConversionError);
            failed = true;
        }
    };

    std::size_t position = 1;
    while (!failed && position <= visible.size()) {
        const Token token = NextToken(visible, position);
        switch (token.kind) {
        case TokenKind::None:
            // The offending character is not consumed, so the conversion
            // cannot go on past it.
            fail();
            break;
        case TokenKind::Operand:
            if (!list.Append(token.text)) {
                fail();
            }
            break;
        case TokenKind::Operator:
        case TokenKind::Function:
            while (!stack.Empty() && ShouldPop(stack.Top(), token.text)) {
                if (!list.Append(stack.Top())) {
                    fail();
                    break;
                }
                stack.Pop();
            }
            if (failed) {
                break;
            }
            if (token.text == ")") {
                // Normally the matching "("; a surplus ")" is dropped.
                if (!stack.Empty()) {
                    stack.Pop();
                }
            } else if (!stack.Push(token.text)) {
                fail();
            }
            break;
        }
    }
    if (visible.size() < infix.size()) {
        fail();
    }

    while (!stack.Empty()) {
        if (!list.Append(stack.Top())) {
            fail(); // no room left: the rest of the stack is dropped
        }
        stack.Pop();
    }

    std::string postfix;
    for (std::size_t i = 0; i < list.Count(); ++i) {
        postfix += ' ';
        postfix += list[i];
    }
    return postfix;
}

std::optional<std::string> ConvertInfixField(std::string_view infix, PostfixList& list) {
    bool blank = true;
    for (char ch : infix) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c > ' ' && c != 0x7F) {
            blank = false;
            break;
        }
    }
    if (blank) {
        return std::nullopt;
    }
    return InfixToPostfix(infix, list);
}

bool IsNumberText(std::string_view text) {
    return SplitNumber(text).has_value();
}

namespace {

std::string ResultText(const Extended& value) {
    std::string text = FixedText(value);
    if (text.size() < kEntryChars) {
        text.insert(0, kEntryChars - text.size(), ' ');
    }
    text.resize(kEntryChars);
    return text;
}

} // namespace

std::string ResultText(long double value) {
    // Every negative value keeps its sign, also one that rounds to zero; only
    // an exact zero (also -0, as 0 * -1 gives) is written without one.
    return ResultText(ToExtended(value));
}

std::string_view FaultMessage(ArithmeticFault fault) {
    switch (fault) {
    case ArithmeticFault::DivisionByZero: return "Floating point division by zero";
    case ArithmeticFault::InvalidOperation: return "Invalid floating point operation";
    case ArithmeticFault::Overflow: return "Floating point overflow";
    }
    return {};
}

Evaluation Evaluate(PostfixList& list, std::string_view a, std::string_view b, std::string_view c,
                    std::string_view d) {
    const std::size_t n = list.Count();

    // Each check sees the entry as the previous one left it, so a field text
    // that is itself a later name is replaced again.
    const std::array<std::pair<char, std::string_view>, 4> fields = {
        {{'A', a}, {'B', b}, {'C', c}, {'D', d}}};
    for (std::size_t i = 0; i < n; ++i) {
        for (const auto& [name, text] : fields) {
            if (IsVariable(list[i], name)) {
                list.Set(i, text);
            }
        }
    }

    // Positions k are 1-based below, as entry k is list[k - 1]. There is no
    // operand stack: after an operator the entries before its two operands
    // move two places up, so the values still waiting lie directly before the
    // next position.
    for (std::size_t k = 1; k <= n; ++k) {
        const std::string_view entry = list[k - 1];
        if (IsNumberText(entry)) {
            continue;
        }
        // Every entry that is not a number is treated as an operator: its two
        // operands are read even when it is none of the four symbols. A
        // missing operand (before entry 1) or one that is not a number counts
        // as 0.
        double x = 0;
        double y = 0;
        if (k >= 3) {
            const std::optional<double> value = ReadOperand(list[k - 3]);
            if (!value) {
                return {ArithmeticFault::Overflow, {}};
            }
            x = *value;
        }
        if (k >= 2) {
            const std::optional<double> value = ReadOperand(list[k - 2]);
            if (!value) {
                return {ArithmeticFault::Overflow, {}};
            }
            y = *value;
        }

        const char op = entry.size() == 1 ? entry[0] : '\0';
        if (op == '/' && y == 0) {
            // Tested here rather than trapped: the operands are finite, so
            // the divisor being zero is the only way to fault.
            return {x == 0 ? ArithmeticFault::InvalidOperation : ArithmeticFault::DivisionByZero,
                    {}};
        }
        if (op == '+' || op == '-' || op == '*' || op == '/') {
            // Computed in extended precision: two doubles never overflow its
            // range, and a result beyond the range of double is written like
            // any other large result.
            list.Set(k - 1, ResultText(Compute(x, op, y)));
        }

        for (std::size_t j = k - 1; j >= 3; --j) {
            list.Set(j - 1, list[j - 3]);
        }
    }

    return {std::nullopt, n == 0 ? std::string() : std::string(list[n - 1])};
}

} // namespace kovar::calc
