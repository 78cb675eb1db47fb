// Infix-to-postfix conversion and in-place postfix evaluation.
#include "rpn.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>
#include <utility>

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
    // from_chars reads "." as the point whatever the locale; it takes the
    // text without its leading spaces and sign.
    double value = 0.0;
    const char* first = parts->rest.data();
    const char* last = first + parts->rest.size();
    const std::from_chars_result read =
        std::from_chars(first, last, value, std::chars_format::general);
    if (read.ec == std::errc::result_out_of_range || read.ptr != last) {
        if (parts->leadExponent > 0) {
            return std::nullopt;
        }
        value = 0.0;
    } else if (read.ec != std::errc{}) {
        value = 0.0;
    }
    if (std::isinf(value)) {
        return std::nullopt;
    }
    return parts->negative ? -value : value;
}

// Adds one unit in the last digit of a fixed-point text such as "-0.01562".
void IncrementLastDigit(std::string& text) {
    for (std::size_t i = text.size(); i-- > 0;) {
        char& c = text[i];
        if (c == '.') {
            continue;
        }
        if (c == '-') {
            text.insert(i + 1, 1, '1');
            return;
        }
        if (c != '9') {
            ++c;
            return;
        }
        c = '0';
    }
    text.insert(0, 1, '1');
}

// The fixed-point text with exactly five decimals, rounded to nearest with
// halves away from zero (0.015625 gives 0.01563).
std::string FixedFiveDecimals(long double value) {
    std::array<char, 64> buffer{};
    // A tie at the fifth decimal is an exact multiple of 1/200000 with an odd
    // numerator; being binary, it is then an odd multiple of 1/64 (5^5 divides
    // the numerator), and its exact text has six decimals ending in 5.
    const long double scaled = std::fabs(value) * 64;
    const bool tie = scaled == std::floor(scaled) && std::fmod(scaled, 2.0L) == 1.0L;
    const int precision = tie ? 6 : 5;
    const std::to_chars_result written = std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                                       value, std::chars_format::fixed, precision);
    std::string text(buffer.data(), written.ptr);
    if (tie) {
        text.pop_back(); // the final 5
        IncrementLastDigit(text);
    }
    return text;
}

// An extended value carries about 18 significant decimal digits; from 1e18 up
// its fixed-point text shows it rounded to 18 significant digits followed by
// zeros, so that 1e20 * 1e20 reads 1000... and not the 9999... of the binary
// value's exact expansion.
std::string FixedLarge(long double value) {
    std::array<char, 64> buffer{};
    const std::to_chars_result written = std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                                       value, std::chars_format::scientific, 17);
    const std::string_view sci(buffer.data(),
                               static_cast<std::size_t>(written.ptr - buffer.data()));
    const std::size_t e = sci.find('e');
    int exponent = 0;
    std::from_chars(sci.data() + e + 1 + (sci[e + 1] == '+' ? 1 : 0), sci.data() + sci.size(),
                    exponent);
    std::string text;
    for (char c : sci.substr(0, e)) {
        if (c != '.') {
            text += c;
        }
    }
    const std::size_t integerDigits = static_cast<std::size_t>(exponent) + 1; // at least 19
    text.append(integerDigits - 18, '0');
    text += ".00000";
    return text;
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

std::string ResultText(long double value) {
    std::string text = std::fabs(value) >= 1e18L ? FixedLarge(value) : FixedFiveDecimals(value);
    // Every negative value keeps its sign, also one that rounds to zero; only
    // an exact zero (also -0, as 0 * -1 gives) is written without one.
    if (text[0] == '-' && !(value < 0)) {
        text.erase(0, 1);
    }
    if (text.size() < kEntryChars) {
        text.insert(0, kEntryChars - text.size(), ' ');
    }
    text.resize(kEntryChars);
    return text;
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
        long double x = 0;
        long double y = 0;
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
        std::optional<long double> result;
        switch (op) {
        case '+': result = x + y; break;
        case '-': result = x - y; break;
        case '*': result = x * y; break;
        case '/':
            // Tested here rather than trapped: the operands are finite, so
            // the divisor being zero is the only way to fault.
            if (y == 0) {
                return {x == 0 ? ArithmeticFault::InvalidOperation
                               : ArithmeticFault::DivisionByZero,
                        {}};
            }
            result = x / y;
            break;
        default: break;
        }
        if (result) {
            // Two doubles never overflow the extended range; a result beyond
            // the range of double is written like any other large result.
            list.Set(k - 1, ResultText(*result));
        }

        for (std::size_t j = k - 1; j >= 3; --j) {
            list.Set(j - 1, list[j - 3]);
        }
    }

    return {std::nullopt, n == 0 ? std::string() : std::string(list[n - 1])};
}

} // namespace kovar::calc
