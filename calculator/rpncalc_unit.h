// TRPNcalc: the calculator window.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

class QLabel;
class QLineEdit;
class QToolButton;

// The calculator ("RPN-калькулятор"): infix to postfix and evaluation over
// the variables A, B, C and D. Leaving EInfix converts the expression into
// the postfix list; the equals button evaluates whatever list the last
// conversion left, with the texts of EA to ED.
class TRPNcalc : public QWidget {
    Q_OBJECT
public:
    explicit TRPNcalc(QWidget* parent = nullptr);
    ~TRPNcalc() override;

    QLabel* Label5;
    QLabel* Label6;
    QLabel* Label7;
    QLineEdit* EInfix;
    QLineEdit* EPostfix;
    QLineEdit* EA;
    QLineEdit* EB;
    QLineEdit* EC;
    QLineEdit* ED;
    QLineEdit* Answer;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QToolButton* SpeedButton1;

    // Shows an arithmetic fault that ends the evaluation and returns once the
    // user has closed it. By default a critical message box over this window;
    // replaceable so the evaluation can be driven without a blocking box.
    std::function<void(const QString& message)> showFault;

public slots:
    void EInfixExit();
    void SpeedButton1Click();

protected:
    void changeEvent(QEvent* event) override;
};
