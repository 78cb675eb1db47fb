// The calculator's tokenizer, priorities, pop rule and infix-to-postfix
// conversion, including the "Error" reports and the capacity limits.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "rpn.h"
#include "show_error.h"

namespace {

using kovar::calc::ConvertInfixField;
using kovar::calc::InfixToPostfix;
using kovar::calc::NextToken;
using kovar::calc::PostfixList;
using kovar::calc::Priority;
using kovar::calc::ShouldPop;
using kovar::calc::Token;
using kovar::calc::TokenKind;

std::vector<std::string> Entries(const PostfixList& list) {
    std::vector<std::string> entries;
    for (std::size_t i = 0; i < list.Count(); ++i) {
        entries.emplace_back(list[i]);
    }
    return entries;
}

std::string PostfixTextOf(const std::vector<std::string>& entries) {
    std::string text;
    for (const std::string& entry : entries) {
        text += ' ';
        text += entry;
    }
    return text;
}

// Records what ShowError is asked to show instead of showing it.
class RecordErrors : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = kovar::SetErrorHandler(
            [this](std::string_view message) { messages_.emplace_back(message); });
    }
    void TearDown() override { kovar::SetErrorHandler(previous_); }

    std::vector<std::string> messages_;

private:
    kovar::ErrorHandler previous_;
};

// ---------------------------------------------------------------- tokenizer

TEST(CalcTokenizer, ReadsTokensAndSkipsSpaces) {
    const std::string_view text = "  12.5+x1 *(";
    std::size_t position = 1;
    struct Expected {
        std::string_view text;
        TokenKind kind;
        std::size_t positionAfter;
    };
    const Expected expected[] = {
        {"12.5", TokenKind::Operand, 7}, {"+", TokenKind::Operator, 8},
        {"x1", TokenKind::Operand, 10},  {"*", TokenKind::Operator, 12},
        {"(", TokenKind::Operator, 13},
    };
    for (const Expected& e : expected) {
        const Token token = NextToken(text, position);
        EXPECT_EQ(token.text, e.text);
        EXPECT_EQ(token.kind, e.kind) << e.text;
        EXPECT_EQ(position, e.positionAfter) << e.text;
    }
    // The end of the text reads as a character that starts nothing.
    const Token end = NextToken(text, position);
    EXPECT_EQ(end.kind, TokenKind::None);
    EXPECT_TRUE(end.text.empty());
    EXPECT_EQ(position, 13u);
}

TEST(CalcTokenizer, TokenClasses) {
    struct Case {
        std::string_view text;
        std::string_view token;
        TokenKind kind;
    };
    const Case cases[] = {
        {"1.2.3*2", "1.2.3", TokenKind::Operand}, // digits and points in any order
        {"7..+", "7..", TokenKind::Operand},
        {"3abc", "3", TokenKind::Operand}, // a number stops at a letter
        {"abc3.5", "abc3", TokenKind::Operand},
        {"sin(", "sin", TokenKind::Function},
        {"cos", "cos", TokenKind::Function},
        {"tg", "tg", TokenKind::Function},
        {"arctg", "arctg", TokenKind::Function},
        {"exp", "exp", TokenKind::Function},
        {"ln", "ln", TokenKind::Function},
        {"sqrt", "sqrt", TokenKind::Function},
        {"SIN", "SIN", TokenKind::Operand}, // function names are case-sensitive
        {"Sqrt", "Sqrt", TokenKind::Operand},
        {"sinh", "sinh", TokenKind::Operand},
        {"tg2", "tg2", TokenKind::Operand},
        {"-5", "-", TokenKind::Operator},
        {")", ")", TokenKind::Operator},
        {"/", "/", TokenKind::Operator},
        {".5", "", TokenKind::None},
        {",", "", TokenKind::None},
        {"^", "", TokenKind::None},
        {"_", "", TokenKind::None},
        {"\t1", "", TokenKind::None}, // only the space is skipped
        {"Ж", "", TokenKind::None},
        {"", "", TokenKind::None},
    };
    for (const Case& c : cases) {
        std::size_t position = 1;
        const Token token = NextToken(c.text, position);
        EXPECT_EQ(token.text, c.token) << "text: " << c.text;
        EXPECT_EQ(token.kind, c.kind) << "text: " << c.text;
        EXPECT_EQ(position, 1 + c.token.size()) << "text: " << c.text;
    }
}

TEST(CalcTokenizer, NameRunStopsAtNonAsciiLetter) {
    const std::string_view text = "AЖ";
    std::size_t position = 1;
    EXPECT_EQ(NextToken(text, position).text, "A");
    const std::size_t before = position;
    EXPECT_EQ(NextToken(text, position).kind, TokenKind::None);
    EXPECT_EQ(position, before);
}

// ------------------------------------------------------ priorities and popping

TEST(CalcPriority, DecidedByFirstCharacter) {
    struct Case {
        std::string_view token;
        int priority;
    };
    const Case cases[] = {
        {"(", 20}, {"A", 20}, {"z", 20}, {"sin", 20}, {"Q7", 20}, {")", 30}, {"*", 5},
        {"/", 5},  {"+", 4},  {"-", 4},  {"7", 0},    {"1.5", 0}, {".", 0},  {"", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Priority(c.token), c.priority) << "token: " << c.token;
    }
}

TEST(CalcPriority, PopRule) {
    struct Case {
        std::string_view top;
        std::string_view token;
        bool pop;
    };
    const Case cases[] = {
        {"+", "+", true},    {"-", "+", true},  {"+", "-", true},    {"*", "/", true},
        {"*", "+", true},    {"/", "-", true},  {"+", "*", false},   {"-", "/", false},
        {"(", "+", false},   {"(", "*", false}, {"sin", "+", false}, {"+", "(", false},
        {"*", "cos", false}, {"(", ")", false}, {"sin", ")", false}, {"+", ")", true},
        {"/", ")", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ShouldPop(c.top, c.token), c.pop) << "top " << c.top << ", token " << c.token;
    }
}

// ----------------------------------------------------------------- conversion

struct ConversionCase {
    const char* infix;
    std::vector<std::string> entries;
};

void PrintTo(const ConversionCase& c, std::ostream* os) {
    *os << '"' << c.infix << '"';
}

class CalcConversion : public RecordErrors, public ::testing::WithParamInterface<ConversionCase> {};

TEST_P(CalcConversion, FillsListAndPostfixText) {
    const ConversionCase& c = GetParam();
    PostfixList list;
    list.Append("stale"); // each conversion starts from an empty list
    const std::string postfix = InfixToPostfix(c.infix, list);
    EXPECT_EQ(Entries(list), c.entries);
    EXPECT_EQ(postfix, PostfixTextOf(c.entries));
    EXPECT_TRUE(messages_.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Expressions, CalcConversion,
    ::testing::Values(ConversionCase{"A+B*C", {"A", "B", "C", "*", "+"}},
                      ConversionCase{"(A+B)*C", {"A", "B", "+", "C", "*"}},
                      ConversionCase{"A*(B+C)/D", {"A", "B", "C", "+", "*", "D", "/"}},
                      ConversionCase{"A-B-C", {"A", "B", "-", "C", "-"}},
                      ConversionCase{"A/B*C", {"A", "B", "/", "C", "*"}},
                      ConversionCase{"2*(3+4)-5", {"2", "3", "4", "+", "*", "5", "-"}},
                      ConversionCase{" A + B", {"A", "B", "+"}}, ConversionCase{"-A", {"A", "-"}},
                      ConversionCase{"A B", {"A", "B"}},
                      ConversionCase{"1.5+2.25", {"1.5", "2.25", "+"}},
                      ConversionCase{"1.2.3*2", {"1.2.3", "2", "*"}},
                      ConversionCase{"abcdefghijkl+1", {"abcdefghij", "1", "+"}},
                      ConversionCase{"3.14159265358979+0", {"3.14159265", "0", "+"}},
                      ConversionCase{"sin(A)+B", {"A", "B", "+", "sin"}},
                      ConversionCase{"sin(A)*B", {"A", "B", "*", "sin"}},
                      ConversionCase{"SIN(A)", {"SIN", "A"}},
                      ConversionCase{"(A+B", {"A", "B", "+", "("}}, ConversionCase{"()", {}},
                      ConversionCase{"", {}},
                      // A surplus ")" finds the stack empty and is dropped.
                      ConversionCase{")", {}}, ConversionCase{"A)+B", {"A", "B", "+"}},
                      ConversionCase{"A+B)*C", {"A", "B", "+", "C", "*"}},
                      ConversionCase{"(A))-B", {"A", "B", "-"}}));

// A character that starts no token reports "Error" there; the conversion
// stops and the pending operators are flushed into the list as at the end.
class CalcConversionError : public RecordErrors,
                            public ::testing::WithParamInterface<ConversionCase> {};

TEST_P(CalcConversionError, ReportsErrorAndKeepsWhatWasRead) {
    const ConversionCase& c = GetParam();
    PostfixList list;
    const std::string postfix = InfixToPostfix(c.infix, list);
    EXPECT_EQ(messages_, std::vector<std::string>{"Error"});
    EXPECT_EQ(Entries(list), c.entries);
    EXPECT_EQ(postfix, PostfixTextOf(c.entries));
}

INSTANTIATE_TEST_SUITE_P(
    BadCharacters, CalcConversionError,
    ::testing::Values(ConversionCase{"A+B ", {"A", "B", "+"}},    // trailing space
                      ConversionCase{"A ", {"A"}},                //
                      ConversionCase{"A,B", {"A"}},               // comma
                      ConversionCase{"A+B,C*D", {"A", "B", "+"}}, //
                      ConversionCase{"2^3", {"2"}},               // caret
                      ConversionCase{"A_1+B", {"A"}},             // underscore
                      ConversionCase{"A+Б", {"A", "+"}},          // Cyrillic letter
                      ConversionCase{"Жук", {}},                  //
                      ConversionCase{"   ", {}}, // blanks reach the end of the text
                      ConversionCase{"(A*(B+.5)", {"A", "B", "+", "(", "*", "("}},
                      ConversionCase{"sin(A\t)", {"A", "(", "sin"}}));

// ---------------------------------------------------------------------- limits

std::string Repeat(std::string_view piece, std::size_t times) {
    std::string text;
    for (std::size_t i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

// A+A+...+A of 255 characters: 128 names and 127 plus signs, grouped from the
// left, so the list is A followed by 127 pairs "A", "+".
std::vector<std::string> SumOf128Entries() {
    std::vector<std::string> entries{"A"};
    for (int i = 0; i < 127; ++i) {
        entries.emplace_back("A");
        entries.emplace_back("+");
    }
    return entries;
}

using CalcLimits = RecordErrors;

TEST_F(CalcLimits, TextOf255CharactersFillsTheList) {
    const std::string infix = Repeat("A+", 127) + "A";
    ASSERT_EQ(infix.size(), 255u);
    PostfixList list;
    InfixToPostfix(infix, list);
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(list.Count(), 255);
    EXPECT_EQ(Entries(list), SumOf128Entries());
}

TEST_F(CalcLimits, TextOf256CharactersReportsErrorAfterCharacter255) {
    const std::string infix = Repeat("A+", 128);
    ASSERT_EQ(infix.size(), 256u);
    PostfixList list;
    InfixToPostfix(infix, list);
    EXPECT_EQ(messages_, std::vector<std::string>{"Error"});
    EXPECT_EQ(list.Count(), 255);
    EXPECT_EQ(Entries(list), SumOf128Entries());
}

TEST_F(CalcLimits, LengthCountsCharactersNotBytes) {
    // 254 spaces and a name: 255 characters, converts without a report.
    PostfixList list;
    InfixToPostfix(Repeat(" ", 254) + "A", list);
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(Entries(list), std::vector<std::string>{"A"});
    // The first 255 characters of a text with two-byte letters end inside
    // the letters, not after 255 bytes.
    EXPECT_EQ(kovar::calc::FirstChars(Repeat("Ж", 300), 255), Repeat("Ж", 255));
}

TEST_F(CalcLimits, StackHolds254PendingEntries) {
    PostfixList list;
    InfixToPostfix(Repeat("(", 254) + "A", list);
    EXPECT_TRUE(messages_.empty());
    std::vector<std::string> expected{"A"};
    expected.insert(expected.end(), 254, "(");
    EXPECT_EQ(Entries(list), expected);
}

TEST_F(CalcLimits, The255thPendingEntryReportsError) {
    PostfixList list;
    const std::string postfix = InfixToPostfix(Repeat("(", 255), list);
    EXPECT_EQ(messages_, std::vector<std::string>{"Error"});
    // The conversion stops at the 255th "(" and flushes the 254 pending ones.
    EXPECT_EQ(Entries(list), std::vector<std::string>(254, "("));
    EXPECT_EQ(postfix, Repeat(" (", 254));
}

// Within 255 characters a conversion yields at most 255 entries, so the
// refusal of a 256th entry is checked on the list itself.
TEST(CalcPostfixList, RefusesThe256thEntry) {
    PostfixList list;
    EXPECT_EQ(list.Count(), 0);
    for (int i = 0; i < 255; ++i) {
        ASSERT_TRUE(list.Append(std::to_string(i)));
    }
    EXPECT_FALSE(list.Append("more"));
    EXPECT_EQ(list.Count(), 255);
    EXPECT_EQ(list[0], "0");
    EXPECT_EQ(list[254], "254");
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(list.Append("x"));
    EXPECT_EQ(list[0], "x");
}

TEST(CalcPostfixList, EntriesKeepTenCharactersNeverPartOfOne) {
    PostfixList list;
    list.Append("АБВГДЕЖЗИЙКЛ"); // twelve two-byte letters
    list.Append("12345678901");
    list.Append("€€€€€€€€€€€€"); // three-byte characters
    list.Append("short");
    EXPECT_EQ(list[0], "АБВГДЕЖЗИЙ");
    EXPECT_EQ(list[1], "1234567890");
    EXPECT_EQ(list[2], "€€€€€€€€€€");
    EXPECT_EQ(list[3], "short");
    list.Set(3, "ЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖ");
    EXPECT_EQ(list[3], "ЖЖЖЖЖЖЖЖЖЖ");
}

// ------------------------------------------------------------ the field's exit

using CalcInfixField = RecordErrors;

TEST_F(CalcInfixField, BlankTextConvertsNothing) {
    PostfixList list;
    ASSERT_EQ(ConvertInfixField("A+B", list), std::optional<std::string>(" A B +"));
    for (std::string_view blank : {"", " ", "   ", "\t", " \t\r\n "}) {
        EXPECT_EQ(ConvertInfixField(blank, list), std::nullopt) << "text: '" << blank << "'";
        EXPECT_EQ(Entries(list), (std::vector<std::string>{"A", "B", "+"}));
    }
    EXPECT_TRUE(messages_.empty());
}

TEST_F(CalcInfixField, ConvertsTheTextAsTyped) {
    PostfixList list;
    EXPECT_EQ(ConvertInfixField(" A + B", list), std::optional<std::string>(" A B +"));
    EXPECT_TRUE(messages_.empty());
    // Not trimmed: the trailing space still reports "Error".
    EXPECT_EQ(ConvertInfixField("C*D ", list), std::optional<std::string>(" C D *"));
    EXPECT_EQ(messages_, std::vector<std::string>{"Error"});
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"C", "D", "*"}));
}

TEST_F(CalcInfixField, EachConversionReplacesTheList) {
    PostfixList list;
    ConvertInfixField("A+B*C", list);
    EXPECT_EQ(ConvertInfixField("D", list), std::optional<std::string>(" D"));
    EXPECT_EQ(Entries(list), std::vector<std::string>{"D"});
    EXPECT_EQ(ConvertInfixField("()", list), std::optional<std::string>(""));
    EXPECT_EQ(list.Count(), 0);
}

} // namespace
