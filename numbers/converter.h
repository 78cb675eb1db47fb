// The number converter ("Hex<->bin<->dec") without its window: what leaving
// each of its three fields does to the texts of all three. The window and
// the browser edition's engine hold the texts; these handlers read and write
// them in the order the window shows the changes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kovar {

inline constexpr std::string_view kDecInputError = "Ошибка при вводе десятичного числа";

// The converter's fields as their holder keeps them.
class ConverterFields {
public:
    enum Field { Dec, Hex, Bin };
    virtual ~ConverterFields() = default;
    virtual std::string Text(Field field) const = 0;
    virtual void SetText(Field field, const std::string& text) = 0;
    // Shows a fault that ends a handler (a decimal text that is no 32-bit
    // integer) and returns once the user has closed it.
    virtual void ShowFault(const std::string& message) = 0;
};

// Reads a signed 32-bit decimal integer: an optional leading '-', then one
// or more digits and nothing else, within -2147483648..2147483647.
std::optional<int32_t> ReadInt32(std::string_view text);

// The decimal field was left: hex and bin show its number; a malformed text
// is reported and the field becomes "0".
void EditDecExit(ConverterFields& fields);
// The hexadecimal field was left: dec and bin show its number; it stays as typed.
void EditHexExit(ConverterFields& fields);
// The binary field was left: hex and dec show its number; it stays as typed.
void EditBinExit(ConverterFields& fields);

} // namespace kovar
