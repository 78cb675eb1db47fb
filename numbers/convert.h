// TForm2: the number converter window.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

class QLabel;
class QLineEdit;

// The number converter ("Hex<->bin<->dec"): one 32-bit number in signed
// decimal, hexadecimal and binary. Leaving one field recomputes the other two
// from it; the field left keeps its text as typed.
class TForm2 : public QWidget {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLineEdit* EditDec;
    QLineEdit* EditHex;
    QLineEdit* EditBin;

    // Shows a fault that ends a handler (a decimal text that is no 32-bit
    // integer) and returns once the user has closed it. By default a critical
    // message box over this window; replaceable so the handler can be driven
    // without a blocking box.
    std::function<void(const QString& message)> showFault;

public slots:
    void EditDecExit();
    void EditHexExit();
    void EditBinExit();
};
