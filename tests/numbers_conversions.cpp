// Number text conversions: every routine against hand-worked values, and the
// error messages that a malformed input must produce (exactly once, in order).
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include "hex_op.h"
#include "show_error.h"
#include "test_support.h"

namespace {

using namespace kovar;
using kovar::test::MessageRecorder;

const std::string kHexMsg = "Ошибка ввода hex числа";
const std::string kBinMsg = "Ошибка ввода bin числа";
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

std::string Rep(char c, std::size_t n) {
    return std::string(n, c);
}

std::string Join(std::initializer_list<std::string> parts) {
    std::string out;
    for (const auto& p : parts)
        out.append(p);
    return out;
}

std::vector<std::string> None() {
    return {};
}
std::vector<std::string> Hex() {
    return {kHexMsg};
}
std::vector<std::string> Bin() {
    return {kBinMsg};
}

// ---------------------------------------------------------------- IsValidNumber

struct ValidCase {
    std::string text;
    std::string kind;
    bool valid;
};

class IsValidNumberTest : public ::testing::TestWithParam<ValidCase> {};

TEST_P(IsValidNumberTest, JudgesWithoutMessage) {
    MessageRecorder rec;
    const auto& c = GetParam();
    EXPECT_EQ(IsValidNumber(c.text, c.kind), c.valid) << '"' << c.text << "\" as " << c.kind;
    EXPECT_TRUE(rec.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, IsValidNumberTest,
    ::testing::Values(
        // The empty text passes every kind.
        ValidCase{"", "bin", true}, ValidCase{"", "hex", true}, ValidCase{"", "dec", true},
        ValidCase{"", "oct", true},
        // bin: only 0 and 1, at most 32 of them.
        ValidCase{"0101", "bin", true}, ValidCase{Rep('1', 32), "bin", true},
        ValidCase{Rep('0', 33), "bin", false}, ValidCase{"1A", "bin", false},
        ValidCase{"2", "bin", false}, ValidCase{"10 1", "bin", false},
        ValidCase{"-1", "bin", false},
        // hex: at most 8 digits, either case.
        ValidCase{"a0b1c2d3", "hex", true}, ValidCase{"ABCDEF09", "hex", true},
        ValidCase{"aBcDeF", "hex", true}, ValidCase{"000000000", "hex", false},
        ValidCase{"12345678f", "hex", false}, ValidCase{"G", "hex", false},
        ValidCase{"fg", "hex", false}, ValidCase{"0x1F", "hex", false},
        ValidCase{" 1", "hex", false}, ValidCase{"-1", "hex", false},
        // Any other kind: minus signs and digits only, anywhere, any length.
        ValidCase{"--", "dec", true}, ValidCase{"-", "dec", true}, ValidCase{"1-2", "dec", true},
        ValidCase{Rep('9', 60), "dec", true}, ValidCase{"12a", "dec", false},
        ValidCase{"+1", "dec", false}, ValidCase{"1.5", "dec", false},
        ValidCase{" 1", "dec", false},
        // The kind is compared exactly: "HEX" and "Bin" fall back to the decimal rule.
        ValidCase{"1A", "HEX", false}, ValidCase{"ff", "Hex", false}, ValidCase{"2", "Bin", true},
        ValidCase{"-12", "BIN", true}));

// ---------------------------------------------------------------- HexToIntRaw

struct RawCase {
    std::string text;
    int32_t value;
};

class HexToIntRawTest : public ::testing::TestWithParam<RawCase> {};

TEST_P(HexToIntRawTest, SumsDigitsWithoutChecking) {
    MessageRecorder rec;
    EXPECT_EQ(HexToIntRaw(GetParam().text), GetParam().value) << GetParam().text;
    EXPECT_TRUE(rec.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, HexToIntRawTest,
                         ::testing::Values(RawCase{"", 0}, RawCase{"0", 0}, RawCase{"1F", 31},
                                           RawCase{"FFFFFFFF", -1}, RawCase{"80000000", kMin},
                                           // Lower-case letters and other characters count as 0.
                                           RawCase{"ff", 0}, RawCase{"Ff", 240}, RawCase{"1G", 16},
                                           RawCase{"-5", 5},
                                           // The weight of a ninth digit has wrapped to 0.
                                           RawCase{"123456789", 0x23456789},
                                           RawCase{"FFFFFFFFF", -1}, RawCase{"A00000000", 0}));

// ---------------------------------------------------------------- checked conversions to int

struct IntCase {
    std::string text;
    int32_t value;
    std::vector<std::string> messages;
};

class HexToIntTest : public ::testing::TestWithParam<IntCase> {};

TEST_P(HexToIntTest, ValueAndMessages) {
    MessageRecorder rec;
    EXPECT_EQ(HexToInt(GetParam().text), GetParam().value) << GetParam().text;
    EXPECT_EQ(rec.messages, GetParam().messages) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, HexToIntTest,
    ::testing::Values(IntCase{"ff", 255, None()}, IntCase{"FF", 255, None()},
                      IntCase{"FFFFFFFF", -1, None()}, IntCase{"80000000", kMin, None()},
                      IntCase{"7FFFFFFF", kMax, None()}, IntCase{"", 0, None()},
                      IntCase{"0000000A", 10, None()}, IntCase{"12345678", 0x12345678, None()},
                      IntCase{"aBcDeF01", static_cast<int32_t>(0xABCDEF01u), None()},
                      IntCase{"123456789", 0, Hex()}, IntCase{"000000001", 0, Hex()},
                      IntCase{"G", 0, Hex()}, IntCase{"1g", 0, Hex()}, IntCase{"-1", 0, Hex()},
                      IntCase{" 1", 0, Hex()}, IntCase{"0x10", 0, Hex()}));

class BinToIntTest : public ::testing::TestWithParam<IntCase> {};

// A rejected text shows the binary message only: the "0" it falls back to
// passes the hexadecimal check silently.
TEST_P(BinToIntTest, ValueAndMessages) {
    MessageRecorder rec;
    EXPECT_EQ(BinToInt(GetParam().text), GetParam().value) << GetParam().text;
    EXPECT_EQ(rec.messages, GetParam().messages) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Table, BinToIntTest,
                         ::testing::Values(IntCase{Rep('1', 32), -1, None()},
                                           IntCase{Join({"1", Rep('0', 31)}), kMin, None()},
                                           IntCase{Join({"0", Rep('1', 31)}), kMax, None()},
                                           IntCase{"", 0, None()}, IntCase{"101", 5, None()},
                                           IntCase{"11111111", 255, None()},
                                           IntCase{"100000000", 256, None()},
                                           IntCase{"2", 0, Bin()}, IntCase{Rep('1', 33), 0, Bin()},
                                           IntCase{Rep('0', 33), 0, Bin()},
                                           IntCase{"10a1", 0, Bin()}, IntCase{"-1", 0, Bin()}));

// ---------------------------------------------------------------- checked conversions to text

struct TextCase {
    std::string text;
    std::string result;
    std::vector<std::string> messages;
};

class HexToBinTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(HexToBinTextTest, ResultAndMessages) {
    MessageRecorder rec;
    EXPECT_EQ(HexToBinText(GetParam().text), GetParam().result) << GetParam().text;
    EXPECT_EQ(rec.messages, GetParam().messages) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, HexToBinTextTest,
    ::testing::Values(TextCase{"ab", "10101011", None()}, TextCase{"0", "0000", None()},
                      TextCase{"0F", "00001111", None()}, TextCase{"A", "1010", None()},
                      TextCase{"", "", None()}, TextCase{"fF", "11111111", None()},
                      TextCase{"12345678", "00010010001101000101011001111000", None()},
                      TextCase{"6101004F", "01100001000000010000000001001111", None()},
                      TextCase{"FFFFFFFF", Rep('1', 32), None()},
                      TextCase{"123456789", "0000", Hex()}, TextCase{"xyz", "0000", Hex()},
                      TextCase{"-1", "0000", Hex()}, TextCase{"G0", "0000", Hex()}));

class BinToHexTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(BinToHexTextTest, ResultAndMessages) {
    MessageRecorder rec;
    EXPECT_EQ(BinToHexText(GetParam().text), GetParam().result) << GetParam().text;
    EXPECT_EQ(rec.messages, GetParam().messages) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, BinToHexTextTest,
    ::testing::Values(TextCase{"101", "5", None()},
                      TextCase{Join({Rep('0', 15), "1"}), "0001", None()},
                      TextCase{"00000001", "01", None()}, TextCase{"1", "1", None()},
                      TextCase{"10001", "11", None()}, TextCase{"01111", "0F", None()},
                      TextCase{"100000", "20", None()}, TextCase{"0000", "0", None()},
                      TextCase{"", "", None()}, TextCase{Rep('1', 32), "FFFFFFFF", None()},
                      TextCase{"11110000101001011100001110010110", "F0A5C396", None()},
                      TextCase{"2", "0", Bin()}, TextCase{Rep('0', 33), "0", Bin()},
                      TextCase{"1234", "0", Bin()}, TextCase{"10 1", "0", Bin()}));

// ---------------------------------------------------------------- unchecked formatting

struct FormatCase {
    int32_t value;
    uint8_t n;
    std::string result;
};

class IntToHexBytesTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(IntToHexBytesTest, PadsButNeverCuts) {
    const auto& c = GetParam();
    EXPECT_EQ(IntToHexBytes(c.value, c.n), c.result) << c.value << " n=" << int{c.n};
}

INSTANTIATE_TEST_SUITE_P(
    Table, IntToHexBytesTest,
    ::testing::Values(FormatCase{255, 1, "FF"}, FormatCase{5, 1, "05"}, FormatCase{0, 1, "00"},
                      FormatCase{10, 4, "0000000A"}, FormatCase{0, 4, "00000000"},
                      FormatCase{256, 1, "100"}, FormatCase{0x12345, 1, "12345"},
                      FormatCase{-1, 1, "FFFFFFFF"}, FormatCase{-1, 4, "FFFFFFFF"},
                      FormatCase{kMin, 4, "80000000"}, FormatCase{0xABCDEF, 4, "00ABCDEF"},
                      FormatCase{5, 2, "0005"}, FormatCase{1, 5, "0000000001"},
                      // 2n is 510 here: the width must not be worked out in 8 bits.
                      FormatCase{7, 255, Join({Rep('0', 509), "7"})}));

class IntToBinBytesTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(IntToBinBytesTest, FourDigitsPerHexDigit) {
    MessageRecorder rec;
    const auto& c = GetParam();
    EXPECT_EQ(IntToBinBytes(c.value, c.n), c.result) << c.value << " n=" << int{c.n};
    EXPECT_TRUE(rec.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, IntToBinBytesTest,
    ::testing::Values(FormatCase{5, 1, "00000101"}, FormatCase{16, 1, "00010000"},
                      FormatCase{255, 1, "11111111"}, FormatCase{0, 1, "00000000"},
                      FormatCase{256, 1, "000100000000"}, FormatCase{0, 4, Rep('0', 32)},
                      FormatCase{-1, 1, Rep('1', 32)}, FormatCase{-1, 4, Rep('1', 32)},
                      FormatCase{kMin, 4, Join({"1", Rep('0', 31)})},
                      FormatCase{0x6101004F, 4, "01100001000000010000000001001111"}));

struct MinCase {
    int32_t value;
    std::string result;
};

class IntToHexMinTest : public ::testing::TestWithParam<MinCase> {};

TEST_P(IntToHexMinTest, NoLeadingZeros) {
    EXPECT_EQ(IntToHexMin(GetParam().value), GetParam().result) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(Table, IntToHexMinTest,
                         ::testing::Values(MinCase{0, "0"}, MinCase{9, "9"}, MinCase{10, "A"},
                                           MinCase{15, "F"}, MinCase{16, "10"}, MinCase{255, "FF"},
                                           MinCase{256, "100"}, MinCase{0x0F00, "F00"},
                                           MinCase{kMax, "7FFFFFFF"},
                                           // Negative values: their 32-bit pattern.
                                           MinCase{-1, "FFFFFFFF"}, MinCase{kMin, "80000000"}));

// ---------------------------------------------------------------- the digit tables

// Each hex digit, in either case, maps to its 4-digit group and back.
TEST(DigitTables, EveryDigitAndItsGroup) {
    MessageRecorder rec;
    const std::string upper = "0123456789ABCDEF";
    const std::string lower = "0123456789abcdef";
    for (int v = 0; v < 16; ++v) {
        std::string group;
        for (int bit = 3; bit >= 0; --bit)
            group += ((v >> bit) & 1) ? '1' : '0';
        SCOPED_TRACE(v);
        EXPECT_EQ(std::string(BinGroups[v]), group);
        EXPECT_EQ(HexDigits[static_cast<std::size_t>(v)], upper[static_cast<std::size_t>(v)]);
        EXPECT_EQ(HexToBinText(std::string(1, upper[static_cast<std::size_t>(v)])), group);
        EXPECT_EQ(HexToBinText(std::string(1, lower[static_cast<std::size_t>(v)])), group);
        EXPECT_EQ(BinToHexText(group), std::string(1, upper[static_cast<std::size_t>(v)]));
        EXPECT_EQ(HexToInt(std::string(1, lower[static_cast<std::size_t>(v)])), v);
        EXPECT_EQ(IntToHexMin(v), std::string(1, upper[static_cast<std::size_t>(v)]));
    }
    EXPECT_TRUE(rec.messages.empty());
}

// ---------------------------------------------------------------- messages and their handler

// A sequence of bad inputs shows one message per rejected text, in call order,
// each before the conversion returns its fallback.
TEST(ErrorMessages, OnePerRejectedTextInCallOrder) {
    MessageRecorder rec;
    std::vector<std::size_t> seenAtReturn;
    EXPECT_EQ(HexToInt("G"), 0);
    seenAtReturn.push_back(rec.messages.size());
    EXPECT_EQ(BinToInt("2"), 0);
    seenAtReturn.push_back(rec.messages.size());
    EXPECT_EQ(HexToBinText("zz"), "0000");
    seenAtReturn.push_back(rec.messages.size());
    EXPECT_EQ(BinToHexText("1x"), "0");
    seenAtReturn.push_back(rec.messages.size());
    EXPECT_EQ(HexToInt("ff"), 255);
    seenAtReturn.push_back(rec.messages.size());
    EXPECT_EQ(rec.messages, (std::vector<std::string>{kHexMsg, kBinMsg, kHexMsg, kBinMsg}));
    EXPECT_EQ(seenAtReturn, (std::vector<std::size_t>{1, 2, 3, 4, 4}));
}

TEST(ErrorHandler, InstallReturnsThePreviousOne) {
    std::vector<std::string> first;
    std::vector<std::string> second;
    const ErrorHandler original =
        SetErrorHandler([&](std::string_view m) { first.emplace_back(m); });
    ErrorHandler replaced = SetErrorHandler([&](std::string_view m) { second.emplace_back(m); });
    ShowError("one");
    ASSERT_TRUE(replaced);
    replaced("two");
    SetErrorHandler(original);
    EXPECT_EQ(first, std::vector<std::string>{"two"});
    EXPECT_EQ(second, std::vector<std::string>{"one"});
}

TEST(ErrorHandler, EmptyHandlerRestoresStandardError) {
    const ErrorHandler previous = SetErrorHandler({});
    ::testing::internal::CaptureStderr();
    ShowError("Ошибка ввода hex числа");
    const std::string err = ::testing::internal::GetCapturedStderr();
    SetErrorHandler(previous);
    EXPECT_NE(err.find(kHexMsg), std::string::npos) << err;
}

} // namespace
