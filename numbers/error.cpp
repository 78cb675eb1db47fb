#include "error.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "ui_support.h"

namespace {
constexpr int kWidth = 242;
constexpr int kHeight = 92;
constexpr int kButtonLeft = 96;
constexpr int kButtonTop = 31;
constexpr int kLabelLeft = 12;
// Room left for the window frame the window manager adds around the client area.
constexpr int kFrame = 16;

QRect availableArea(const QWidget* w) {
    const QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}
} // namespace

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Ошибка"));
    setFont(kovar::ui::FormFont());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setAutoFillBackground(true);

    Label1 = new QLabel(QStringLiteral("Label1"), this);
    // A file name is shown as it is, never read as markup.
    Label1->setTextFormat(Qt::PlainText);
    Label1->move(kLabelLeft, 7);
    // The height of one line of the label and what each further line adds.
    Label1->setText(QStringLiteral("X\nX"));
    Label1->adjustSize();
    const int twoLines = Label1->height();
    Label1->setText(QStringLiteral("Label1"));
    Label1->adjustSize();
    lineHeight_ = Label1->height();
    lineStep_ = std::max(1, twoLines - lineHeight_);

    Button1 = new QPushButton(QStringLiteral("Ok"), this);
    Button1->setGeometry(kButtonLeft, kButtonTop, 41, 25);
    Button1->setDefault(true);
    Button1->setFocus();
    connect(Button1, &QPushButton::clicked, this, &TForm3::Button1Click);

    kovar::ui::PlaceWindow(this, 351, 242, kWidth, kHeight);
}

QStringList TForm3::WrapLines(const QString& text, const QFontMetrics& metrics, int width) {
    QStringList out;
    width = std::max(width, metrics.horizontalAdvance(QStringLiteral("WW")));
    for (QString rest : text.split(QLatin1Char('\n'))) {
        while (metrics.horizontalAdvance(rest) > width) {
            // The longest start of the line that fits.
            qsizetype lo = 1, hi = rest.size() - 1;
            while (lo < hi) {
                const qsizetype mid = (lo + hi + 1) / 2;
                if (metrics.horizontalAdvance(rest.left(mid)) <= width)
                    lo = mid;
                else
                    hi = mid - 1;
            }
            qsizetype cut = lo;
            const qsizetype at = std::max(rest.lastIndexOf(QLatin1Char('/'), cut - 1),
                                          rest.lastIndexOf(QLatin1Char(' '), cut - 1));
            if (at + 1 >= cut / 2 && at + 1 > 0)
                cut = at + 1;
            if (cut > 1 && rest.at(cut).isLowSurrogate())
                --cut; // never between the halves of one character
            out << rest.left(cut);
            rest = rest.mid(cut);
        }
        out << rest;
    }
    return out;
}

void TForm3::setMessage(const QString& message) {
    message_ = message;
    const QRect area = availableArea(this);
    const int maxWidth = area.width() - 2 * kFrame;
    const int maxText = maxWidth - 2 * kLabelLeft;
    const QFontMetrics metrics(Label1->font());

    QStringList lines = WrapLines(message, metrics, maxText);
    // Lines beyond what the screen holds go from the middle, so that the
    // start of the name and the reason at the end stay in view.
    const int maxLines = std::max(3, (area.height() - 2 * kFrame - kHeight) / lineStep_ + 1);
    if (lines.size() > maxLines) {
        const qsizetype head = (maxLines - 1) / 2;
        const qsizetype tail = maxLines - 1 - head;
        lines =
            lines.mid(0, head) + QStringList{QStringLiteral("…")} + lines.mid(lines.size() - tail);
    }
    Label1->setText(lines.join(QLatin1Char('\n')));
    Label1->adjustSize();

    // A message wider than the dialog widens it, one taller makes it taller;
    // the button stays centred below the text.
    const int extra = std::max(0, Label1->height() - lineHeight_);
    const int width = std::min(std::max(kWidth, Label1->width() + 2 * kLabelLeft), maxWidth);
    setFixedSize(width, kHeight + extra);
    Button1->move(width == kWidth ? kButtonLeft : (width - Button1->width()) / 2,
                  kButtonTop + extra);

    // Wholly on the screen, frame included.
    const int x = std::clamp(this->x(), area.left(),
                             std::max(area.left(), area.right() + 1 - width - kFrame));
    const int y = std::clamp(this->y(), area.top(),
                             std::max(area.top(), area.bottom() + 1 - height() - 2 * kFrame));
    move(x, y);
}

void TForm3::Button1Click() {
    accept();
}

void TForm3::ShowModal(const QString& message, QWidget* parent) {
    TForm3 dialog(parent);
    dialog.setMessage(message);
    dialog.exec();
}
