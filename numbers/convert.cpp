#include "convert.h"

#include <QLabel>
#include <QLineEdit>
#include <string>

#include "converter.h"
#include "ui_support.h"

using kovar::ui::Q;
using kovar::ui::S;

namespace {

// The window's three edit fields as the converter's handlers see them.
class WindowFields : public kovar::ConverterFields {
public:
    explicit WindowFields(TForm2& form) : form_(form) {}
    std::string Text(Field field) const override { return S(edit(field)->text()); }
    void SetText(Field field, const std::string& text) override { edit(field)->setText(Q(text)); }
    void ShowFault(const std::string& message) override { form_.showFault(Q(message)); }

private:
    QLineEdit* edit(Field field) const {
        return field == Dec ? form_.EditDec : field == Hex ? form_.EditHex : form_.EditBin;
    }
    TForm2& form_;
};

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
    WindowFields fields(*this);
    kovar::EditDecExit(fields);
}

void TForm2::EditHexExit() {
    WindowFields fields(*this);
    kovar::EditHexExit(fields);
}

void TForm2::EditBinExit() {
    WindowFields fields(*this);
    kovar::EditBinExit(fields);
}

TForm2::~TForm2() {
    kovar::ui::StopFocusExits(this);
}
