#include "rpncalc_unit.h"

#include "ui_support.h"

TRPNcalc::TRPNcalc(QWidget* parent) : QWidget(parent, kovar::ui::kFixedWindowFlags) {
    setWindowTitle(QStringLiteral("RPN-калькулятор"));
    setFont(kovar::ui::FormFont());
    kovar::ui::PlaceWindow(this, 337, 118, 421, 105);
}
