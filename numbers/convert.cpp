#include "convert.h"

#include <QLabel>
#include <QLineEdit>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "hex_op.h"
#include "show_error.h"
#include "ui_support.h"

using kovar::ui::Q;
using kovar::ui::S;

namespace {

constexpr std::string_view kDecInputError = "Ошибка при вводе десятичного числа";

// Reads a signed 32-bit decimal integer: an optional leading '-', then one
// or more digits and nothing else, within -2147483648..2147483647. Leading
// zeros and "-0" read as the number they spell, as a user would expect.
std::optional<int32_t> ReadInt32(std::string_view text) {
    int32_t value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    const auto [end, error] = std::from_chars(first, last, value, 10);
    if (error != std::errc() || end != last)
        return std::nullopt;
    return value;
}

} // namespace

TForm2::TForm2(QWidget* parent) : QWidget(parent, kovar::ui::kFixedWindowFlags) {
    setWindowTitle(QStringLiteral("Hex<->bin<->dec"));
    setFont(kovar::ui::FormFont());

    Label1 = kovar::ui::AddLabel(this, QStringLiteral("Dec"), 11, 10);
    Label2 = kovar::ui::AddLabel(this, QStringLiteral("Hex"), 179, 10);
    Label3 = kovar::ui::AddLabel(this, QStringLiteral("Bin"), 12, 37);
    EditDec = kovar::ui::AddEdit(this, QStringLiteral("0"), 46, 6, 121, 11);
    EditHex = kovar::ui::AddEdit(this, QStringLiteral("0"), 214, 6, 121, 8);
    EditBin = kovar::ui::AddEdit(this, QStringLiteral("0"), 44, 33, 292, 32);
    setTabOrder(EditDec, EditHex);
    setTabOrder(EditHex, EditBin);

    kovar::ui::OnFocusExit(EditDec, [this] { EditDecExit(); });
    kovar::ui::OnFocusExit(EditHex, [this] { EditHexExit(); });
    kovar::ui::OnFocusExit(EditBin, [this] { EditBinExit(); });

    showFault = [this](const QString& message) { kovar::ui::ShowFault(this, message); };

    kovar::ui::PlaceWindow(this, 219, 202, 338, 58);
}

void TForm2::EditDecExit() {
    const QString typed = EditDec->text();
    const std::string text = S(typed);
    if (!kovar::IsValidNumber(text, "dec")) {
        kovar::ShowError(kDecInputError);
        EditDec->setText(QStringLiteral("0"));
        return; // hex and bin keep the number they showed
    }
    // Digits and minus signs only, yet not necessarily an integer ("", "-",
    // "1-2", or beyond 32 bits): the handler ends here and no field changes.
    const std::optional<int32_t> value = ReadInt32(text);
    if (!value) {
        showFault(QStringLiteral("'%1' is not a valid integer value").arg(typed));
        return;
    }
    EditHex->setText(Q(kovar::IntToHexBytes(*value, 4)));
    EditBin->setText(Q(kovar::HexToBinText(S(EditHex->text()))));
}

void TForm2::EditHexExit() {
    // The hex text stays as typed: neither filled up with zeros nor upper-cased.
    const std::string hex = S(EditHex->text());
    EditDec->setText(QString::number(kovar::HexToInt(hex)));
    EditBin->setText(Q(kovar::HexToBinText(hex)));
}

void TForm2::EditBinExit() {
    // The binary text stays as typed; hex gets one digit per group of four.
    EditHex->setText(Q(kovar::BinToHexText(S(EditBin->text()))));
    EditDec->setText(QString::number(kovar::HexToInt(S(EditHex->text()))));
}

TForm2::~TForm2() {
    kovar::ui::StopFocusExits(this);
}
