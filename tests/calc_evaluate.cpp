// The calculator's evaluation of the postfix list: substitution of the
// variables, the in-place reduction, the number texts it reads and writes,
// the arithmetic faults, and its independence from the C locale.
#include <gtest/gtest.h>

#include <clocale>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rpn.h"
#include "show_error.h"

namespace {

using kovar::calc::ArithmeticFault;
using kovar::calc::Evaluate;
using kovar::calc::Evaluation;
using kovar::calc::FaultMessage;
using kovar::calc::InfixToPostfix;
using kovar::calc::IsNumberText;
using kovar::calc::PostfixList;
using kovar::calc::ResultText;

std::vector<std::string> Entries(const PostfixList& list) {
    std::vector<std::string> entries;
    for (std::size_t i = 0; i < list.Count(); ++i) {
        entries.emplace_back(list[i]);
    }
    return entries;
}

// The four variable fields, starting with the texts the window shows first.
struct Fields {
    std::string a = "0.0";
    std::string b = "0.0";
    std::string c = "0.0";
    std::string d = "0.0";
};

Evaluation EvaluateWith(PostfixList& list, const Fields& f) {
    return Evaluate(list, f.a, f.b, f.c, f.d);
}

// Fails the test on any ShowError: the evaluation reports nothing that way,
// and the expressions converted here are all well formed.
class NoErrors : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = kovar::SetErrorHandler(
            [](std::string_view message) { ADD_FAILURE() << "unexpected ShowError: " << message; });
    }
    void TearDown() override { kovar::SetErrorHandler(previous_); }

private:
    kovar::ErrorHandler previous_;
};

// ------------------------------------------------------------- answer table

struct AnswerCase {
    const char* infix;
    Fields fields;
    const char* answer;
};

void PrintTo(const AnswerCase& c, std::ostream* os) {
    *os << '"' << c.infix << "\" A=" << c.fields.a << " B=" << c.fields.b << " C=" << c.fields.c
        << " D=" << c.fields.d;
}

class CalcAnswer : public NoErrors, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(CalcAnswer, GivesAnswer) {
    const AnswerCase& c = GetParam();
    PostfixList list;
    InfixToPostfix(c.infix, list);
    const Evaluation result = EvaluateWith(list, c.fields);
    EXPECT_EQ(result.fault, std::nullopt);
    EXPECT_EQ(result.answer, c.answer);
}

INSTANTIATE_TEST_SUITE_P(
    Expressions, CalcAnswer,
    ::testing::Values(
        AnswerCase{"A+B*C", {"1", "2", "3"}, "   7.00000"},
        AnswerCase{"(A+B)*(C-D)", {"1", "2", "3", "4"}, "  -3.00000"},
        AnswerCase{"A-B", {"1", "3"}, "  -2.00000"}, AnswerCase{"A*B", {"2.5", "-4"}, " -10.00000"},
        AnswerCase{"a+b", {"1", "2"}, "   3.00000"},
        AnswerCase{"A/B-C/D", {"1", "4", "3", "8"}, "  -0.12500"},
        AnswerCase{"A-B-C", {"10", "3", "2"}, "   5.00000"}, // from the left
        AnswerCase{"A/B/C", {"8", "2", "2"}, "   2.00000"},
        AnswerCase{"2*(3+4)-5", {}, "   9.00000"},
        // Every intermediate result is read back from its five-decimal text.
        AnswerCase{"1/3*3", {}, "   0.99999"}, AnswerCase{"A/B", {"2", "3"}, "   0.66667"},
        AnswerCase{"12345*10", {}, "123450.000"}, AnswerCase{"12345678*1000", {}, "1234567800"},
        AnswerCase{"A*B", {"-1234567", "1"}, "-1234567.0"},
        // Lists without an operator show their last entry as it stands.
        AnswerCase{"A", {}, "0.0"}, AnswerCase{"A B", {"0.0", "2"}, "2"},
        AnswerCase{"sin(A)+B", {}, "sin"},
        AnswerCase{"A", {"1e400"}, "1e400"}, // never read as an operand
        // A field text replaces its name cut to 10 characters.
        AnswerCase{"A", {"3.14159265358979"}, "3.14159265"},
        AnswerCase{"A*B", {"3.14159265358979", "1"}, "   3.14159"},
        AnswerCase{"A", {"ЖЖЖЖЖЖЖЖЖЖЖЖ"}, "ЖЖЖЖЖЖЖЖЖЖ"},
        // The checks for B, C and D follow the one for A on the same entry.
        AnswerCase{"A", {"b", "7"}, "7"}, AnswerCase{"A+B", {"b", "2"}, "   4.00000"},
        AnswerCase{"A", {"c", "0.0", "d", "9"}, "9"},
        AnswerCase{"D", {"0.0", "0.0", "0.0", "a"}, "a"},
        AnswerCase{"A1+B", {"5", "2"}, "   2.00000"}, // only single letters are variables
        // A missing operand or one that is not a number counts as 0.
        AnswerCase{"-A", {"5"}, "  -5.00000"}, AnswerCase{"A+B", {"12abc", "1"}, "   1.00000"},
        AnswerCase{"A+B", {"ЖЖЖ", "2"}, "   2.00000"}, AnswerCase{"A+B", {"1e", "2"}, "   2.00000"},
        AnswerCase{"A+B", {"1.2.3", "2"}, "   2.00000"},
        AnswerCase{"A+B", {"2 ", "2"}, "   2.00000"},
        // Number texts: exponents, a bare point, signs, leading spaces.
        AnswerCase{"A+B", {"1e5", ".5"}, "100000.500"},
        AnswerCase{"A+B", {"+2", "  3"}, "   5.00000"},
        AnswerCase{"A+B", {".", "-.25e1"}, "  -2.50000"},
        AnswerCase{"A+B", {"1E+2", "1e-2"}, " 100.01000"},
        AnswerCase{"A+B", {"1e-400", "1"}, "   1.00000"}, // below the range: 0
        // Halves at the sixth decimal round away from zero.
        AnswerCase{"A/B", {"1", "64"}, "   0.01563"}, AnswerCase{"A/B", {"-1", "64"}, "  -0.01563"},
        AnswerCase{"A/B", {"5", "64"}, "   0.07813"},
        // An exact zero carries no minus sign, a negative value always does.
        AnswerCase{"A*B", {"0", "-1"}, "   0.00000"},
        AnswerCase{"A*B", {"-0.000001", "1"}, "  -0.00000"},
        AnswerCase{"A-B", {"0.000004", "0.000005"}, "  -0.00000"},
        AnswerCase{"A*B", {"-0", "0"}, "   0.00000"},
        // Large magnitudes keep the fixed-point form, cut to 10 characters.
        AnswerCase{"A*B", {"1e20", "1e20"}, "1000000000"},
        AnswerCase{"A*B", {"-1e20", "1e20"}, "-100000000"},
        AnswerCase{"A*B", {"1e30", "1e10"}, "1000000000"},
        AnswerCase{"A*B", {"1.7e308", "1"}, "1699999999"},
        AnswerCase{"A*B", {"1e-300", "1e-300"}, "   0.00000"}));

// ---------------------------------------------------------- the list in place

using CalcReduction = NoErrors;

TEST_F(CalcReduction, WorkedExampleLeavesListAsDescribed) {
    PostfixList list;
    InfixToPostfix("A+B*C", list);
    const Evaluation result = EvaluateWith(list, {"1", "2", "3"});
    EXPECT_EQ(result.answer, "   7.00000");
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"1", "2", "1", "2", "   7.00000"}));
}

TEST_F(CalcReduction, SecondEvaluationShowsSameAnswer) {
    PostfixList list;
    InfixToPostfix("(A+B)*(C-D)", list);
    EXPECT_EQ(EvaluateWith(list, {"1", "2", "3", "4"}).answer, "  -3.00000");
    const std::vector<std::string> after = Entries(list);
    // No name and no operator is left, so changed fields change nothing.
    const Evaluation again = EvaluateWith(list, {"9", "9", "9", "9"});
    EXPECT_EQ(again.fault, std::nullopt);
    EXPECT_EQ(again.answer, "  -3.00000");
    EXPECT_EQ(Entries(list), after);
    // A new conversion restores the names.
    InfixToPostfix("(A+B)*(C-D)", list);
    EXPECT_EQ(EvaluateWith(list, {"9", "9", "9", "9"}).answer, "   0.00000");
}

TEST_F(CalcReduction, EmptyListGivesEmptyAnswer) {
    PostfixList list;
    const Evaluation result = EvaluateWith(list, {"1", "2", "3", "4"});
    EXPECT_EQ(result.fault, std::nullopt);
    EXPECT_EQ(result.answer, "");
}

// --------------------------------------------------------------------- faults

struct FaultCase {
    const char* infix;
    Fields fields;
    ArithmeticFault fault;
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << '"' << c.infix << "\" A=" << c.fields.a << " B=" << c.fields.b;
}

class CalcFault : public NoErrors, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(CalcFault, StopsWithFault) {
    const FaultCase& c = GetParam();
    PostfixList list;
    InfixToPostfix(c.infix, list);
    const Evaluation result = EvaluateWith(list, c.fields);
    EXPECT_EQ(result.fault, std::optional<ArithmeticFault>(c.fault));
    EXPECT_EQ(result.answer, "");
}

INSTANTIATE_TEST_SUITE_P(
    Arithmetic, CalcFault,
    ::testing::Values(FaultCase{"A/B", {"1", "0"}, ArithmeticFault::DivisionByZero},
                      FaultCase{"A/B", {"-5", "0.0"}, ArithmeticFault::DivisionByZero},
                      FaultCase{"A/B", {"1", "-0"}, ArithmeticFault::DivisionByZero},
                      FaultCase{"A/B", {"1", "xyz"}, ArithmeticFault::DivisionByZero},
                      FaultCase{"A/B", {}, ArithmeticFault::InvalidOperation},
                      FaultCase{"A/B", {"0", "-0"}, ArithmeticFault::InvalidOperation},
                      FaultCase{"A+B", {"1e400", "1"}, ArithmeticFault::Overflow},
                      FaultCase{"A+B", {"1", "-1e400"}, ArithmeticFault::Overflow},
                      FaultCase{"A*B", {"1.8e308", "0"}, ArithmeticFault::Overflow}));

// A result beyond the range of double is no fault: it is computed in extended
// precision and written like any large result, cut to ten characters.
INSTANTIATE_TEST_SUITE_P(BeyondDouble, CalcAnswer,
                         ::testing::Values(AnswerCase{"A*B", {"1e300", "1e300"}, "1000000000"},
                                           AnswerCase{"A/B", {"1e300", "1e-300"}, "1000000000"},
                                           // 1.7e308 is the double 1.69999999999999993...e308.
                                           AnswerCase{"A+B", {"1.7e308", "1.7e308"}, "3399999999"},
                                           AnswerCase{
                                               "A-B", {"-1.7e308", "1.7e308"}, "-339999999"}));

TEST(CalcFaultMessage, Texts) {
    EXPECT_EQ(FaultMessage(ArithmeticFault::DivisionByZero), "Floating point division by zero");
    EXPECT_EQ(FaultMessage(ArithmeticFault::InvalidOperation), "Invalid floating point operation");
    EXPECT_EQ(FaultMessage(ArithmeticFault::Overflow), "Floating point overflow");
}

TEST_F(CalcReduction, FaultKeepsWhatWasRewrittenAndListStaysUsable) {
    PostfixList list;
    InfixToPostfix("A*B+C/D", list);
    const Evaluation result = EvaluateWith(list, {"2", "3", "1", "0"});
    EXPECT_EQ(result.fault, std::optional<ArithmeticFault>(ArithmeticFault::DivisionByZero));
    EXPECT_EQ(Entries(list),
              (std::vector<std::string>{"2", "3", "   6.00000", "1", "0", "/", "+"}));

    InfixToPostfix("A*B+C/D", list);
    const Evaluation next = EvaluateWith(list, {"2", "3", "1", "4"});
    EXPECT_EQ(next.fault, std::nullopt);
    EXPECT_EQ(next.answer, "   6.25000");
}

// ----------------------------------------------------------- number texts

TEST(CalcNumberText, Grammar) {
    struct Case {
        std::string_view text;
        bool number;
    };
    const Case cases[] = {
        {"1e5", true},  {".5", true},    {"+2", true},     {".", true},    {"   7.00000", true},
        {"-3", true},   {"5.", true},    {"1E+05", true},  {"1e-5", true}, {"-.e5", true},
        {"0012", true}, {"1e400", true}, {"", false},      {"+", false},   {"-", false},
        {"   ", false}, {"1 ", false},   {"1.2.3", false}, {"1e", false},  {"1e+", false},
        {"abc", false}, {"1,5", false},  {"0x10", false},  {"inf", false}, {"nan", false},
        {"--1", false}, {"+-1", false},  {"1e5.0", false}, {"\t1", false}, {"1 e5", false},
        {"- 1", false}, {"ЖЖ", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsNumberText(c.text), c.number) << "text: '" << c.text << "'";
    }
}

TEST(CalcNumberText, ResultTextWidthAndCut) {
    struct Case {
        long double value;
        std::string_view text;
    };
    const Case cases[] = {
        {7, "   7.00000"},
        {-3, "  -3.00000"},
        {123450, "123450.000"},
        {12345678000, "1234567800"},
        {0.5, "   0.50000"},
        {-0.25, "  -0.25000"},
        {99999.999996L, "100000.000"},
        {0, "   0.00000"},
        {-0.0L, "   0.00000"},
        {-0.000004L, "  -0.00000"},
        {-1e-300L, "  -0.00000"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ResultText(c.value), c.text) << static_cast<double>(c.value);
    }
}

// ------------------------------------------------------------------- locale

// Restores the C library's locale when the test ends.
class LocaleGuard {
public:
    LocaleGuard() : saved_(std::setlocale(LC_ALL, nullptr)) {}
    ~LocaleGuard() { std::setlocale(LC_ALL, saved_.c_str()); }
    LocaleGuard(const LocaleGuard&) = delete;
    LocaleGuard& operator=(const LocaleGuard&) = delete;

private:
    std::string saved_;
};

TEST_F(CalcReduction, CommaLocaleChangesNothing) {
    LocaleGuard guard;
    bool commaLocale = false;
    for (const char* name : {"ru_RU.UTF-8", "de_DE.UTF-8"}) {
        if (std::setlocale(LC_ALL, name) != nullptr &&
            std::string_view(std::localeconv()->decimal_point) == ",") {
            commaLocale = true;
            break;
        }
    }
    if (!commaLocale) {
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    }
    PostfixList list;
    InfixToPostfix("1.5+2.25*A", list);
    const Evaluation result = EvaluateWith(list, {"-0.5e1"});
    EXPECT_EQ(result.fault, std::nullopt);
    EXPECT_EQ(result.answer, "  -9.75000");
    EXPECT_TRUE(IsNumberText("2.5"));
    EXPECT_FALSE(IsNumberText("2,5"));
}

} // namespace
