// TForm2: the number converter window.
#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;

// The number converter ("Hex<->bin<->dec"): one 32-bit number in signed
// decimal, hexadecimal and binary.
class TForm2 : public QWidget {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
};
