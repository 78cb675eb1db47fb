// The calculator's numbers, computed the same way on every platform: the
// reading of a decimal text into the nearest double, the four operations on
// two doubles rounded to extended precision (a 64-bit significand, as the
// 80-bit format of x86 keeps it), and the fixed-point text of such a value.
// Everything is exact integer arithmetic; nothing depends on the compiler's
// long double, the C library's conversions or the locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kovar::calc {

// The value (-1)^negative * significand * 2^exponent. The significand has
// its top bit set unless the value is zero.
struct Extended {
    bool negative = false;
    uint64_t significand = 0;
    int32_t exponent = 0;

    bool IsZero() const { return significand == 0; }
};

// The nearest double (ties to even) to a decimal text without sign: digits,
// optionally "." and digits, optionally an exponent ("E" or "e", an optional
// sign, digits), at least one digit before the exponent. Nullopt when the
// text is not of that form or its value rounds beyond the range of double;
// a value too small for double reads as 0.
std::optional<double> ReadDecimal(std::string_view text);

// The value of a double (finite), and of a long double (finite) rounded to
// a 64-bit significand, ties to even.
Extended ToExtended(double value);
Extended ToExtended(long double value);

// x op y for op '+', '-', '*' or '/', rounded to a 64-bit significand, ties
// to even. Both operands are finite; y is not 0 for '/'.
Extended Compute(double x, char op, double y);

// The value in fixed-point notation with exactly five decimals, rounded to
// nearest with halves away from zero, a "-" before every negative value (not
// before zero); from 10^18 up, the value rounded to 18 significant digits
// (ties to even) and written with zeros after them, then ".00000".
std::string FixedText(const Extended& value);

} // namespace kovar::calc
