// TRPNcalc: the calculator window.
#pragma once

#include <QWidget>

// The calculator ("RPN-калькулятор"): infix to postfix and evaluation over
// the variables A, B, C and D.
class TRPNcalc : public QWidget {
    Q_OBJECT
public:
    explicit TRPNcalc(QWidget* parent = nullptr);
};
