#include "converter.h"

#include <charconv>
#include <system_error>

#include "hex_op.h"
#include "show_error.h"

namespace kovar {

std::optional<int32_t> ReadInt32(std::string_view text) {
    // Leading zeros and "-0" read as the number they spell, as a user would expect.
    int32_t value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    const auto [end, error] = std::from_chars(first, last, value, 10);
    if (error != std::errc() || end != last)
        return std::nullopt;
    return value;
}

void EditDecExit(ConverterFields& fields) {
    const std::string text = fields.Text(ConverterFields::Dec);
    if (!IsValidNumber(text, "dec")) {
        ShowError(kDecInputError);
        fields.SetText(ConverterFields::Dec, "0");
        return; // hex and bin keep the number they showed
    }
    // Digits and minus signs only, yet not necessarily an integer ("", "-",
    // "1-2", or beyond 32 bits): the handler ends here and no field changes.
    const std::optional<int32_t> value = ReadInt32(text);
    if (!value) {
        fields.ShowFault("'" + text + "' is not a valid integer value");
        return;
    }
    fields.SetText(ConverterFields::Hex, IntToHexBytes(*value, 4));
    fields.SetText(ConverterFields::Bin, HexToBinText(fields.Text(ConverterFields::Hex)));
}

void EditHexExit(ConverterFields& fields) {
    // The hex text stays as typed: neither filled up with zeros nor upper-cased.
    const std::string hex = fields.Text(ConverterFields::Hex);
    fields.SetText(ConverterFields::Dec, std::to_string(HexToInt(hex)));
    fields.SetText(ConverterFields::Bin, HexToBinText(hex));
}

void EditBinExit(ConverterFields& fields) {
    // The binary text stays as typed; hex gets one digit per group of four.
    fields.SetText(ConverterFields::Hex, BinToHexText(fields.Text(ConverterFields::Bin)));
    fields.SetText(ConverterFields::Dec,
                   std::to_string(HexToInt(fields.Text(ConverterFields::Hex))));
}

} // namespace kovar
