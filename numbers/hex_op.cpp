#include "hex_op.h"

#include "show_error.h"

namespace kovar {

const char* const BinGroups[16] = {"0000", "0001", "0010", "0011", "0100", "0101", "0110", "0111",
                                   "1000", "1001", "1010", "1011", "1100", "1101", "1110", "1111"};

namespace {

char upperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool isHexDigitUpper(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// Value of a hex digit, either case; only called on checked texts.
unsigned hexValue(char c) {
    c = upperAscii(c);
    if (c >= '0' && c <= '9')
        return static_cast<unsigned>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<unsigned>(c - 'A' + 10);
    return 0;
}

} // namespace

bool IsValidNumber(std::string_view text, std::string_view kind) {
    bool valid = true;
    if (kind == "bin") {
        if (text.size() > 32)
            valid = false;
        for (char c : text)
            if (c != '0' && c != '1')
                valid = false;
    } else if (kind == "hex") {
        if (text.size() > 8)
            valid = false;
        for (char c : text)
            if (!isHexDigitUpper(upperAscii(c)))
                valid = false;
    } else {
        for (char c : text)
            if (c != '-' && !(c >= '0' && c <= '9'))
                valid = false;
    }
    return valid;
}

int32_t HexToIntRaw(std::string_view text) {
    uint32_t sum = 0;
    uint32_t weight = 1;
    for (auto it = text.rbegin(); it != text.rend(); ++it) {
        const char c = *it;
        uint32_t digit = 0;
        if (c >= 'A' && c <= 'F')
            digit = static_cast<uint32_t>(c - 'A' + 10);
        else if (c >= '0' && c <= '9')
            digit = static_cast<uint32_t>(c - '0');
        sum += digit * weight;
        weight *= 16u;
    }
    return static_cast<int32_t>(sum);
}

int32_t HexToInt(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        c = upperAscii(c);
    if (!IsValidNumber(upper, "hex")) {
        ShowError(kHexInputError);
        upper.assign(1, '0');
    }
    return HexToIntRaw(upper);
}

std::string IntToHexMin(int32_t value) {
    uint32_t v = static_cast<uint32_t>(value);
    std::string result;
    while (v > 15) {
        result.insert(result.begin(), HexDigits[v % 16]);
        v /= 16;
    }
    result.insert(result.begin(), HexDigits[v]);
    return result;
}

std::string IntToHexBytes(int32_t value, uint8_t n) {
    std::string digits = IntToHexMin(value);
    const std::size_t width = 2u * n;
    if (digits.size() < width)
        digits.insert(0, width - digits.size(), '0');
    return digits;
}

std::string HexToBinText(std::string_view text) {
    if (!IsValidNumber(text, "hex")) {
        ShowError(kHexInputError);
        text = "0";
    }
    std::string result;
    result.reserve(text.size() * 4);
    for (char c : text)
        result += BinGroups[hexValue(c)];
    return result;
}

std::string BinToHexText(std::string_view input) {
    std::string text(input);
    if (!IsValidNumber(text, "bin")) {
        ShowError(kBinInputError);
        text.assign(1, '0');
    }
    if (text.size() % 4 != 0)
        text.insert(0, 4 - text.size() % 4, '0');
    std::string result;
    result.reserve(text.size() / 4);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const unsigned index = 8u * static_cast<unsigned>(text[i] - '0') +
                               4u * static_cast<unsigned>(text[i + 1] - '0') +
                               2u * static_cast<unsigned>(text[i + 2] - '0') +
                               static_cast<unsigned>(text[i + 3] - '0');
        result += HexDigits[index];
    }
    return result;
}

int32_t BinToInt(std::string_view text) {
    return HexToInt(BinToHexText(text));
}

std::string IntToBinBytes(int32_t value, uint8_t n) {
    return HexToBinText(IntToHexBytes(value, n));
}

void FormatHex8(uint32_t value, char* out) {
    for (int i = 7; i >= 0; --i) {
        out[i] = HexDigits[value & 0xFu];
        value >>= 4;
    }
}

void FormatBin32(uint32_t value, char* out) {
    for (int i = 31; i >= 0; --i) {
        out[i] = static_cast<char>('0' + (value & 1u));
        value >>= 1;
    }
}

std::string Hex8(uint32_t value) {
    std::string s(8, '0');
    FormatHex8(value, s.data());
    return s;
}

} // namespace kovar
