#include "extended.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

namespace kovar::calc {

namespace {

__extension__ using u128 = unsigned __int128;

// A non-negative integer of any size, 32 bits a limb, least significant first.
class BigInt {
public:
    BigInt() = default;
    explicit BigInt(uint64_t v) {
        while (v != 0) {
            limbs_.push_back(static_cast<uint32_t>(v));
            v >>= 32;
        }
    }

    bool IsZero() const { return limbs_.empty(); }
    std::size_t BitLength() const {
        return limbs_.empty() ? 0
                              : 32 * (limbs_.size() - 1) +
                                    static_cast<std::size_t>(std::bit_width(limbs_.back()));
    }
    void MultiplySmall(uint32_t factor) {
        uint64_t carry = 0;
        for (uint32_t& limb : limbs_) {
            const uint64_t p = uint64_t{limb} * factor + carry;
            limb = static_cast<uint32_t>(p);
            carry = p >> 32;
        }
        if (carry != 0)
            limbs_.push_back(static_cast<uint32_t>(carry));
    }
    void AddSmall(uint32_t value) {
        uint64_t carry = value;
        for (std::size_t i = 0; carry != 0; ++i) {
            if (i == limbs_.size())
                limbs_.push_back(0);
            const uint64_t s = uint64_t{limbs_[i]} + carry;
            limbs_[i] = static_cast<uint32_t>(s);
            carry = s >> 32;
        }
    }
    // Divides in place and returns the remainder.
    uint32_t DivideSmall(uint32_t divisor) {
        uint64_t rest = 0;
        for (std::size_t i = limbs_.size(); i-- > 0;) {
            const uint64_t cur = rest << 32 | limbs_[i];
            limbs_[i] = static_cast<uint32_t>(cur / divisor);
            rest = cur % divisor;
        }
        trim();
        return static_cast<uint32_t>(rest);
    }
    void ShiftLeft(std::size_t bits) {
        if (limbs_.empty() || bits == 0)
            return;
        const std::size_t whole = bits / 32;
        const unsigned part = static_cast<unsigned>(bits % 32);
        limbs_.push_back(0);
        if (part != 0) {
            for (std::size_t i = limbs_.size() - 1; i > 0; --i)
                limbs_[i] = limbs_[i] << part | limbs_[i - 1] >> (32 - part);
            limbs_[0] <<= part;
        }
        limbs_.insert(limbs_.begin(), whole, 0u);
        trim();
    }
    int Compare(const BigInt& other) const {
        if (limbs_.size() != other.limbs_.size())
            return limbs_.size() < other.limbs_.size() ? -1 : 1;
        for (std::size_t i = limbs_.size(); i-- > 0;)
            if (limbs_[i] != other.limbs_[i])
                return limbs_[i] < other.limbs_[i] ? -1 : 1;
        return 0;
    }
    // this -= other, for other <= this.
    void Subtract(const BigInt& other) {
        int64_t borrow = 0;
        for (std::size_t i = 0; i < limbs_.size(); ++i) {
            int64_t d = int64_t{limbs_[i]} - borrow -
                        (i < other.limbs_.size() ? int64_t{other.limbs_[i]} : 0);
            borrow = d < 0 ? 1 : 0;
            if (d < 0)
                d += int64_t{1} << 32;
            limbs_[i] = static_cast<uint32_t>(d);
        }
        trim();
    }
    // The decimal digits, most significant first ("0" for zero).
    std::string Decimal() const {
        if (limbs_.empty())
            return "0";
        BigInt rest = *this;
        std::string digits;
        while (!rest.IsZero()) {
            uint32_t chunk = rest.DivideSmall(1'000'000'000u);
            for (int i = 0; i < 9; ++i) {
                digits += static_cast<char>('0' + chunk % 10);
                chunk /= 10;
            }
        }
        while (digits.size() > 1 && digits.back() == '0')
            digits.pop_back();
        std::reverse(digits.begin(), digits.end());
        return digits;
    }

private:
    void trim() {
        while (!limbs_.empty() && limbs_.back() == 0)
            limbs_.pop_back();
    }
    std::vector<uint32_t> limbs_;
};

BigInt PowerOfTen(std::size_t n) {
    BigInt p(1);
    for (; n >= 9; n -= 9)
        p.MultiplySmall(1'000'000'000u);
    for (; n > 0; --n)
        p.MultiplySmall(10);
    return p;
}

// floor(num / den) for a quotient below 2^64, leaving the remainder in num.
uint64_t DivideSmallQuotient(BigInt& num, const BigInt& den) {
    uint64_t q = 0;
    for (int bit = 63; bit >= 0; --bit) {
        BigInt shifted = den;
        shifted.ShiftLeft(static_cast<std::size_t>(bit));
        if (num.Compare(shifted) >= 0) {
            num.Subtract(shifted);
            q |= uint64_t{1} << bit;
        }
    }
    return q;
}

// Rounds v * 2^exponent (v exact, `sticky` when nonzero bits lie below v)
// to a 64-bit significand, ties to even.
Extended Round64(bool negative, u128 v, int32_t exponent, bool sticky) {
    Extended out;
    out.negative = negative;
    if (v == 0)
        return out;
    const int length = 128 - (static_cast<uint64_t>(v >> 64) != 0
                                  ? std::countl_zero(static_cast<uint64_t>(v >> 64))
                                  : 64 + std::countl_zero(static_cast<uint64_t>(v)));
    if (length <= 64) {
        out.significand = static_cast<uint64_t>(v) << (64 - length);
        out.exponent = exponent - (64 - length);
        return out;
    }
    const int drop = length - 64;
    const u128 half = u128{1} << (drop - 1);
    const u128 rest = v & ((u128{1} << drop) - 1);
    uint64_t kept = static_cast<uint64_t>(v >> drop);
    const bool up = rest > half || (rest == half && (sticky || (kept & 1u) != 0));
    exponent += drop;
    if (up && ++kept == 0) {
        kept = uint64_t{1} << 63;
        ++exponent;
    }
    out.significand = kept;
    out.exponent = exponent;
    return out;
}

// A finite double as its integer significand and exponent.
void Split(double value, uint64_t& significand, int32_t& exponent) {
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const auto biased = static_cast<int32_t>((bits >> 52) & 0x7FF);
    significand = bits & ((uint64_t{1} << 52) - 1);
    if (biased == 0) {
        exponent = -1074;
        // Normalised to 53 bits, so that every operation keeps enough of them.
        while (significand != 0 && (significand >> 52) == 0) {
            significand <<= 1;
            --exponent;
        }
    } else {
        significand |= uint64_t{1} << 52;
        exponent = biased - 1075;
    }
}

std::string U128Decimal(u128 v) {
    std::string digits;
    do {
        digits += static_cast<char>('0' + static_cast<int>(v % 10));
        v /= 10;
    } while (v != 0);
    std::reverse(digits.begin(), digits.end());
    return digits;
}

// |value| >= 10^18.
bool AtLeastE18(const Extended& v) {
    constexpr uint64_t kE18 = 1'000'000'000'000'000'000ull;
    if (v.IsZero())
        return false;
    if (v.exponent >= 0)
        return true; // at least 2^63
    if (v.exponent <= -64)
        return false; // below 1
    return (u128{v.significand} << 64 >> -v.exponent) >= u128{kE18} << 64;
}

std::string FiveDecimals(const Extended& v) {
    // Below 10^18 the exponent is negative (the significand alone is 2^63 or
    // more), so the value times 10^5 is N / 2^s.
    u128 q = 0;
    if (!v.IsZero()) {
        const u128 n = u128{v.significand} * 100'000u;
        const int s = -v.exponent;
        if (s < 128)
            q = (n + (u128{1} << (s - 1))) >> s; // halves away from zero
    }
    std::string fraction = U128Decimal(q % 100'000u);
    fraction.insert(0, 5 - fraction.size(), '0');
    return std::string(v.negative && !v.IsZero() ? "-" : "") + U128Decimal(q / 100'000u) + "." +
           fraction;
}

std::string EighteenDigits(const Extended& v) {
    // The integer part, and what the fraction adds to the rounding.
    BigInt whole(v.significand);
    bool fractionHalf = false;
    bool fractionRest = false;
    if (v.exponent >= 0) {
        whole.ShiftLeft(static_cast<std::size_t>(v.exponent));
    } else {
        const int s = -v.exponent; // below 64 here
        const uint64_t fraction = v.significand & ((uint64_t{1} << s) - 1);
        fractionHalf = (fraction >> (s - 1)) != 0;
        fractionRest = (fraction & ((uint64_t{1} << (s - 1)) - 1)) != 0;
        whole = BigInt(v.significand >> s);
    }
    std::string digits = whole.Decimal(); // 19 digits or more
    const std::size_t integerDigits = digits.size();
    // Round at the 18th digit: the 19th and all after it decide.
    const char next = digits[18];
    bool restNonZero = fractionHalf || fractionRest;
    for (std::size_t i = 19; i < digits.size() && !restNonZero; ++i)
        restNonZero = digits[i] != '0';
    digits.resize(18);
    const bool up = next > '5' || (next == '5' && (restNonZero || (digits[17] - '0') % 2 == 1));
    std::size_t length = integerDigits;
    if (up) {
        std::size_t i = 18;
        while (i > 0 && digits[i - 1] == '9')
            digits[--i] = '0';
        if (i == 0) {
            digits.insert(digits.begin(), '1');
            digits.pop_back();
            ++length;
        } else {
            ++digits[i - 1];
        }
    }
    digits.append(length - 18, '0');
    return (v.negative ? "-" : "") + digits + ".00000";
}

} // namespace

std::optional<double> ReadDecimal(std::string_view text) {
    // The value is digits * 10^scale, the digits without leading zeros. Past
    // the 800th the digits cannot change the double except as "something
    // more", which one more digit 1 stands for.
    constexpr std::size_t kMaxDigits = 800;
    std::string digits;
    bool dropped = false;
    int64_t scale = 0;
    bool any = false;
    bool point = false;
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (c < '0' || c > '9')
            break;
        any = true;
        if (digits.size() < kMaxDigits && (c != '0' || !digits.empty())) {
            digits += c;
            scale -= point ? 1 : 0;
        } else if (digits.empty()) {
            scale -= point ? 1 : 0; // a leading zero
        } else {
            dropped = dropped || c != '0';
            scale += point ? 0 : 1;
        }
    }
    if (!any)
        return std::nullopt;
    if (i < text.size()) {
        if (text[i] != 'e' && text[i] != 'E')
            return std::nullopt;
        ++i;
        bool negative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            negative = text[i++] == '-';
        if (i == text.size())
            return std::nullopt;
        int64_t exponent = 0;
        for (; i < text.size(); ++i) {
            if (text[i] < '0' || text[i] > '9')
                return std::nullopt;
            exponent = std::min<int64_t>(exponent * 10 + (text[i] - '0'), 1'000'000'000);
        }
        scale += negative ? -exponent : exponent;
    }
    if (digits.empty())
        return 0.0;
    if (dropped) {
        digits += '1';
        --scale;
    }
    // The decimal exponent of the first digit settles the far ends at once.
    const int64_t lead = scale + static_cast<int64_t>(digits.size()) - 1;
    if (lead > 310)
        return std::nullopt;
    if (lead < -330)
        return 0.0;

    BigInt num;
    for (const char c : digits) {
        num.MultiplySmall(10);
        num.AddSmall(static_cast<uint32_t>(c - '0'));
    }
    BigInt den(1);
    if (scale >= 0) {
        for (int64_t k = 0; k < scale; ++k)
            num.MultiplySmall(10);
    } else {
        den = PowerOfTen(static_cast<std::size_t>(-scale));
    }
    // Scale so that the quotient has 63 or 64 bits: value = q * 2^-shift,
    // plus something when the division leaves a remainder.
    const int64_t shift =
        63 - (static_cast<int64_t>(num.BitLength()) - static_cast<int64_t>(den.BitLength()));
    if (shift >= 0)
        num.ShiftLeft(static_cast<std::size_t>(shift));
    else
        den.ShiftLeft(static_cast<std::size_t>(-shift));
    const uint64_t q = DivideSmallQuotient(num, den);
    const bool sticky = !num.IsZero();

    // Keep 53 bits, fewer where the value is below the normal range.
    const int length = std::bit_width(q);
    const int64_t top = length - 1 - shift; // the value lies in [2^top, 2^(top+1))
    const int64_t keep = top >= -1022 ? 53 : 53 - (-1022 - top);
    if (keep < 0)
        return 0.0;
    const int drop = length - static_cast<int>(keep);
    u128 kept = q;
    if (drop > 0) {
        const u128 rest = u128{q} & ((u128{1} << drop) - 1);
        const u128 half = u128{1} << (drop - 1);
        kept = u128{q} >> drop;
        if (rest > half || (rest == half && (sticky || (kept & 1u) != 0)))
            ++kept;
    }
    const double value = std::ldexp(static_cast<double>(static_cast<uint64_t>(kept)),
                                    static_cast<int>(drop - shift));
    if (std::isinf(value))
        return std::nullopt;
    return value;
}

Extended ToExtended(double value) {
    uint64_t significand = 0;
    int32_t exponent = 0;
    Split(value, significand, exponent);
    return Round64(std::signbit(value), significand, exponent, false);
}

Extended ToExtended(long double value) {
    Extended out;
    out.negative = std::signbit(value);
    if (value == 0)
        return out;
    int exponent = 0;
    const long double fraction = std::frexp(std::fabs(value), &exponent); // [0.5, 1)
    const long double scaled = std::ldexp(fraction, 64);                  // [2^63, 2^64)
    const long double whole = std::floor(scaled);
    const long double rest = scaled - whole;
    uint64_t significand = static_cast<uint64_t>(whole);
    exponent -= 64;
    // Where long double is wider than 64 bits, round the rest away (ties to even).
    if (rest > 0.5L || (rest == 0.5L && (significand & 1u) != 0)) {
        if (++significand == 0) {
            significand = uint64_t{1} << 63;
            ++exponent;
        }
    }
    out.significand = significand;
    out.exponent = exponent;
    return out;
}

Extended Compute(double x, char op, double y) {
    uint64_t mx = 0, my = 0;
    int32_t ex = 0, ey = 0;
    Split(x, mx, ex);
    Split(y, my, ey);
    bool nx = std::signbit(x);
    bool ny = std::signbit(y);
    switch (op) {
    case '*': return Round64(nx != ny, u128{mx} * my, ex + ey, false);
    case '/': {
        // 75 bits more than the divisor: the quotient has 75 or 76 bits.
        const u128 num = u128{mx} << 75;
        return Round64(nx != ny, num / my, ex - ey - 75, num % my != 0);
    }
    case '-': ny = !ny; [[fallthrough]];
    case '+': {
        if (mx == 0)
            return Round64(ny, my, ey, false);
        if (my == 0)
            return Round64(nx, mx, ex, false);
        if (ex < ey) {
            std::swap(mx, my);
            std::swap(ex, ey);
            std::swap(nx, ny);
        }
        // x shifted up by 64 places; y below it, exact while it fits, else
        // cut with what was cut off kept as "something more".
        const u128 a = u128{mx} << 64;
        const int32_t d = ex - ey;
        u128 b = 0;
        bool sticky = false;
        if (d <= 64) {
            b = u128{my} << (64 - d);
        } else if (d - 64 < 64) {
            b = my >> (d - 64);
            sticky = (my & ((uint64_t{1} << (d - 64)) - 1)) != 0;
        } else {
            sticky = true;
        }
        if (nx == ny)
            return Round64(nx, a + b, ex - 64, sticky);
        // With something cut off, y is a little more than b (and far below
        // x): x - y lies strictly between a - b - 1 and a - b.
        if (sticky)
            return Round64(nx, a - b - 1, ex - 64, true);
        if (a >= b)
            return Round64(nx, a - b, ex - 64, false);
        return Round64(ny, b - a, ex - 64, false);
    }
    default: return {};
    }
}

std::string FixedText(const Extended& value) {
    return AtLeastE18(value) ? EighteenDigits(value) : FiveDecimals(value);
}

} // namespace kovar::calc
