// The simulator window's memory view: 28 cells of address label and value
// field from MemBase on, the scroll bar, the jump to a typed address, the
// context menu's "Начало" and "Конец", and breakpoint marks set by a
// double-click on an address label.
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <algorithm>

#include "mem1.h"
#include "mem1_fields.h"
#include "theme.h"
#include "ui_support.h"

using kovar::mem1::hexBytes;
using kovar::mem1::hexToInt;
using kovar::mem1::setFieldText;

void TForm1::InitMem() {
    ScrollBarMem->setRange(0, 1000);
    ScrollBarMem->setSingleStep(1);
    ScrollBarMem->setPageStep(1);
    MemCells.clear();
    MemLabels.clear();
    memBase_ = 0;
    cellStyles_ = kovar::mem1::cellStyleSheets(kovar::ui::ThemeOf(this));
    for (int i = 0; i < kCells; ++i) {
        const int row = i % 14;
        const int column = i / 14;
        // A narrow field, drawn with a thin frame and no padding.
        auto* field = new QLineEdit(MemPanel);
        field->setMaxLength(2);
        field->setAlignment(Qt::AlignCenter);
        field->setTextMargins(0, 0, 0, 0);
        field->setStyleSheet(cellStyles_[0]);
        // The cell's own font: when a style sheet is set again (a highlight
        // coming or going, a change of theme), Qt resolves the font of a
        // field that has none of its own from the program's default font,
        // larger than the window's, and the cell would no longer look as
        // the others do.
        field->setFont(font());
        field->setGeometry(60 + 75 * column, 10 + 20 * row, 20, 20);
        kovar::ui::OnFocusExit(field, [this, i] { RAMExit(i); });
        auto* address = new QLabel(MemPanel);
        address->setGeometry(10 + 75 * column, 12 + 20 * row, 60, 14);
        address->installEventFilter(this);
        address->setProperty("cell", i);
        // The label's box runs under the left of the field: the field lies
        // above it, so a click anywhere on the field reaches the field.
        field->raise();
        MemCells.append(field);
        MemLabels.append(address);
    }
    for (int i = 1; i < kCells; ++i)
        QWidget::setTabOrder(MemCells[i - 1], MemCells[i]);
}

bool TForm1::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::MouseButtonDblClick) {
        const QVariant cell = watched->property("cell");
        if (cell.isValid() && static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
            BP(cell.toInt());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

void TForm1::redrawMem() {
    staleMem_ = false;
    emit memoryOrPCShown();
    const kovar::ui::Theme theme = kovar::ui::ThemeOf(this);
    for (int i = 0; i < kCells; ++i) {
        const int address = memBase_ + i;
        setFieldText(MemCells[i], hexBytes(st_.Memory[address], 1));
        QLabel* l = MemLabels[i];
        const QColor& colour = st_.BreakpointMarks[address] != 0 ? theme.mark : theme.address;
        if (l->palette().color(QPalette::WindowText) != colour) {
            QPalette p = l->palette();
            p.setColor(QPalette::WindowText, colour);
            l->setPalette(p);
        }
        const QString text = hexBytes(address, 4);
        if (l->text() != text)
            l->setText(text);
    }
    highlightMemCells();
}

void TForm1::RefreshMem() {
    if (commandDepth_ > 0)
        staleMem_ = true;
    else
        redrawMem();
}

void TForm1::setBarPosition(int position) {
    settingBar_ = true;
    ScrollBarMem->setValue(position);
    settingBar_ = false;
}

void TForm1::GoAdress(int32_t target) {
    memBase_ = static_cast<quint16>(std::clamp<int32_t>(target, 0, kMaxMemBase));
    setBarPosition(memBase_);
    RefreshMem();
}

void TForm1::ScrollBarMemScroll(int position) {
    GoAdress(position);
    // The bar stays where the user moved it, also where the view was clamped.
    setBarPosition(position);
}

void TForm1::RAMExit(int index) {
    const int32_t value = hexToInt(MemCells[index]->text());
    uint8_t& cell = st_.Memory[memBase_ + index];
    const uint8_t old = cell;
    cell = static_cast<uint8_t>(value & 0xFF);
    RefreshMem();
    if (cell != old)
        userEdited();
}

void TForm1::BP(int index) {
    st_.BreakpointMarks[memBase_ + index] ^= 1u;
    RefreshMem();
    marksEdited();
}

void TForm1::BitBtn6Click() {
    const int32_t target = hexToInt(TEAdress->text());
    GoAdress(target);
    TEAdress->setText(hexBytes(target, 4));
}

void TForm1::N9Click() {
    GoAdress(0);
}
void TForm1::N14Click() {
    GoAdress(1000);
}
