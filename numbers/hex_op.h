// Number texts: conversions between 32-bit words and their hexadecimal,
// binary and decimal texts, and the check of a typed text.
//
// No conversion fails: a malformed input text is reported through ShowError
// with a fixed message and the conversion goes on with the text "0".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kovar {

inline constexpr std::string_view HexDigits = "0123456789ABCDEF";
extern const char* const BinGroups[16];

inline constexpr std::string_view kHexInputError = "Ошибка ввода hex числа";
inline constexpr std::string_view kBinInputError = "Ошибка ввода bin числа";

// Kind is "bin", "hex" or anything else (the system passes "dec").
bool IsValidNumber(std::string_view text, std::string_view kind);

// Unchecked: characters other than 0-9 and A-F count as 0; wraps modulo 2^32.
int32_t HexToIntRaw(std::string_view text);
int32_t HexToInt(std::string_view text);

// Digits without leading zeros; a negative value is written as its 32-bit pattern.
std::string IntToHexMin(int32_t value);
// Upper-case hex of the 32-bit pattern, padded to at least 2n digits, never cut.
std::string IntToHexBytes(int32_t value, uint8_t n);

std::string HexToBinText(std::string_view text);
std::string BinToHexText(std::string_view text);
int32_t BinToInt(std::string_view text);
std::string IntToBinBytes(int32_t value, uint8_t n);

// Fast formatters for the hot paths (the trace): exactly 8 upper-case hex
// digits, and exactly 32 binary digits, written into the buffer.
void FormatHex8(uint32_t value, char* out);
void FormatBin32(uint32_t value, char* out);
std::string Hex8(uint32_t value);

} // namespace kovar
