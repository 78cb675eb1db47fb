#include "convert.h"

#include "ui_support.h"

TForm2::TForm2(QWidget* parent) : QWidget(parent, kovar::ui::kFixedWindowFlags) {
    setWindowTitle(QStringLiteral("Hex<->bin<->dec"));
    setFont(kovar::ui::FormFont());
    kovar::ui::PlaceWindow(this, 219, 202, 338, 58);
}
