// The simulator window's stack and register views: the 16 rows of DS and of
// RS, the four user registers, and the PC field and FL box below the memory
// view; and the view "Десятичные", in which the stacks and registers show
// and read signed decimal numbers.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <utility>

#include "converter.h"
#include "mem1.h"
#include "mem1_fields.h"
#include "show_error.h"
#include "ui_support.h"

using kovar::StackId;
using kovar::mem1::hexBytes;
using kovar::mem1::hexToInt;
using kovar::mem1::setFieldText;
using kovar::ui::Q;
using kovar::ui::S;

namespace {

const QString kDecimalKey = QStringLiteral("view/decimal");

// A stack or register field: eight hex digits, or up to eleven characters
// of a signed decimal number (-2147483648), right-aligned so that the units
// line up. The decimal field is wider; its font shrinks where the text
// still does not fit.
constexpr int kHexFieldWidth = 60;
constexpr int kDecimalFieldWidth = 80;

void shapeWordField(QLineEdit* field, bool decimal) {
    field->setMaxLength(decimal ? 11 : 8);
    field->resize(decimal ? kDecimalFieldWidth : kHexFieldWidth, field->height());
    field->setAlignment(decimal ? Qt::AlignRight | Qt::AlignVCenter
                                : Qt::AlignLeft | Qt::AlignVCenter);
}

} // namespace

bool kovar::mem1::savedDecimalView() {
    return QSettings().value(kDecimalKey, false).toBool();
}

void TForm1::InitStack(StackRecord& record, int kind) {
    QWidget* page = kind == 0 ? PanelDS : PanelRS;
    const StackId id = kind == 0 ? StackId::DS : StackId::RS;
    record.items.clear();
    record.left = 40;
    record.top = 20;
    for (int i = 0; i < kovar::kStackDepth; ++i) {
        auto* field = new QLineEdit(page);
        field->setMaxLength(8);
        kovar::ui::OnFocusExit(field, [this, id, i] { ItemExit(id, i); });
        QString stem = i == 0   ? QStringLiteral("T")
                       : i == 1 ? QStringLiteral("S")
                                : Q(kovar::IntToHexMin(i + 1));
        auto* name = new QLabel(page);
        record.items.append(field);
        name->setText(stem + (kind == 0 ? QStringLiteral("OS") : QStringLiteral("OR")));
        field->setGeometry(record.left, record.top + 20 * i, 60, 20);
        name->setGeometry(record.left - 29, record.top + 20 * i + 2, 30, 14);
        field->raise(); // above the label's last column
        StackLabels.append(name);
        if (i > 0)
            QWidget::setTabOrder(record.items[i - 1], field);
    }
}

void TForm1::InitURD() {
    URDView.items.clear();
    URDView.left = 40;
    URDView.top = 20;
    for (int i = 0; i < kovar::kUserRegisters; ++i) {
        auto* field = new QLineEdit(PanelURD);
        field->setMaxLength(8);
        kovar::ui::OnFocusExit(field, [this, i] { URDExit(i); });
        auto* name = new QLabel(QStringLiteral("URD") + Q(kovar::IntToHexMin(i)), PanelURD);
        URDView.items.append(field);
        field->setGeometry(URDView.left, URDView.top + 20 * i, 60, 20);
        name->setGeometry(URDView.left - 35, URDView.top + 20 * i + 2, 30, 14);
        StackLabels.append(name);
        if (i > 0)
            QWidget::setTabOrder(URDView.items[i - 1], field);
    }
}

void TForm1::redrawStack(StackId id) {
    staleStack_[id == StackId::DS ? 0 : 1] = false;
    const kovar::Stack& entries = st_.stack(id);
    StackRecord& record = id == StackId::DS ? DSView : RSView;
    for (int i = 0; i < kovar::kStackDepth; ++i)
        setFieldText(record.items[i], wordText(entries[i]));
}

void TForm1::RefreshStack(StackId id) {
    if (commandDepth_ > 0)
        staleStack_[id == StackId::DS ? 0 : 1] = true;
    else
        redrawStack(id);
}

void TForm1::redrawURD() {
    staleURD_ = false;
    for (int i = 0; i < kovar::kUserRegisters; ++i)
        setFieldText(URDView.items[i], wordText(st_.URD[i]));
}

void TForm1::RefreshURD() {
    if (commandDepth_ > 0)
        staleURD_ = true;
    else
        redrawURD();
}

void TForm1::redrawPC() {
    stalePC_ = false;
    emit memoryOrPCShown();
    setFieldText(EditPC, hexBytes(st_.PC, 4));
    settingFL_ = true;
    CheckBoxFL->setChecked(st_.FL);
    settingFL_ = false;
    emit pcRedrawn();
}

void TForm1::RefreshPC() {
    if (commandDepth_ > 0)
        stalePC_ = true;
    else
        redrawPC();
}

std::string TForm1::PCFieldText(const kovar::MachineState& state) const {
    // While a redraw of the field is pending, it would show PC.
    if (stalePC_)
        return kovar::Hex8(static_cast<uint32_t>(state.PC));
    return S(EditPC->text());
}

QString TForm1::wordText(int32_t value) const {
    return decimal_ ? QString::number(value) : hexBytes(value, 4);
}

bool TForm1::readWord(const QString& text, int32_t& value) const {
    if (!decimal_) {
        value = hexToInt(text);
        return true;
    }
    if (text.isEmpty()) { // an emptied field holds 0, as in hexadecimal
        value = 0;
        return true;
    }
    const std::optional<int32_t> number = kovar::ReadInt32(S(text));
    if (!number) {
        kovar::ShowError(kovar::kDecInputError);
        return false;
    }
    value = *number;
    return true;
}

void TForm1::ItemExit(StackId id, int index) {
    StackRecord& record = id == StackId::DS ? DSView : RSView;
    int32_t value = st_.stack(id)[index];
    readWord(record.items[index]->text(), value); // a refused text keeps the value
    const int32_t old = std::exchange(st_.stack(id)[index], value);
    record.items[index]->setText(wordText(value));
    if (value != old)
        userEdited();
}

void TForm1::URDExit(int index) {
    int32_t value = st_.URD[index];
    readWord(URDView.items[index]->text(), value);
    const int32_t old = std::exchange(st_.URD[index], value);
    URDView.items[index]->setText(wordText(value));
    if (value != old)
        userEdited();
}

void TForm1::setDecimalView(bool on) {
    NDecimal->setChecked(on);
    if (on == decimal_)
        return;
    decimal_ = on;
    QSettings().setValue(kDecimalKey, on);
    for (const StackRecord* record : {&DSView, &RSView, &URDView})
        for (QLineEdit* field : record->items)
            shapeWordField(field, on);
    RefreshStack(StackId::DS);
    RefreshStack(StackId::RS);
    RefreshURD();
    emit decimalViewChanged(on);
}

void TForm1::EditPCExit() {
    const int32_t old = std::exchange(st_.PC, hexToInt(EditPC->text()));
    EditPC->setText(hexBytes(st_.PC, 4));
    emit pcRedrawn();
    if (st_.PC != old)
        userEdited();
}

void TForm1::CheckBoxFLClick(bool checked) {
    const bool old = std::exchange(st_.FL, checked);
    if (!settingFL_ && checked != old)
        userEdited();
}
