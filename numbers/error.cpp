#include "error.h"

#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "ui_support.h"

namespace {
constexpr int kWidth = 242;
constexpr int kHeight = 92;
constexpr int kButtonLeft = 96;
} // namespace

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Ошибка"));
    setFont(kovar::ui::FormFont());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setAutoFillBackground(true);

    Label1 = new QLabel(QStringLiteral("Label1"), this);
    Label1->move(12, 7);
    Label1->adjustSize();

    Button1 = new QPushButton(QStringLiteral("Ok"), this);
    Button1->setGeometry(kButtonLeft, 31, 41, 25);
    Button1->setDefault(true);
    Button1->setFocus();
    connect(Button1, &QPushButton::clicked, this, &TForm3::Button1Click);

    kovar::ui::PlaceWindow(this, 351, 242, kWidth, kHeight);
}

void TForm3::setMessage(const QString& message) {
    Label1->setText(message);
    Label1->adjustSize();
    // A message wider than the dialog widens it; the button stays centred.
    const int width = std::max(kWidth, Label1->width() + 24);
    setFixedSize(width, kHeight);
    Button1->move(width == kWidth ? kButtonLeft : (width - Button1->width()) / 2, 31);
}

void TForm3::Button1Click() {
    accept();
}

void TForm3::ShowModal(const QString& message, QWidget* parent) {
    TForm3 dialog(parent);
    dialog.setMessage(message);
    dialog.exec();
}
