#include "pic.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include "ui_support.h"

namespace {
constexpr int kWidth = 397;
constexpr int kHeight = 446;
} // namespace

QPixmap TSplashScreen::Picture() {
    QPixmap pixmap(400, 448);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 448);
    sky.setColorAt(0, QColor(18, 42, 86));
    sky.setColorAt(1, QColor(6, 14, 30));
    p.fillRect(pixmap.rect(), sky);

    // Two hardware stacks, drawn as columns of cells.
    const auto stack = [&p](int left, const QColor& colour, const QString& name) {
        for (int i = 0; i < 8; ++i) {
            const QRect cell(left, 150 + i * 26, 90, 22);
            QColor c = colour;
            c.setAlpha(230 - i * 24);
            p.fillRect(cell, c);
            p.setPen(QColor(255, 255, 255, 200 - i * 20));
            p.setFont(QFont(QStringLiteral("DejaVu Sans Mono"), 9));
            p.drawText(cell, Qt::AlignCenter,
                       QStringLiteral("%1").arg(0x3C * (i + 1), 8, 16, QLatin1Char('0')).toUpper());
        }
        p.setPen(Qt::white);
        p.setFont(QFont(QStringLiteral("DejaVu Sans"), 10, QFont::Bold));
        p.drawText(QRect(left, 124, 90, 22), Qt::AlignCenter, name);
    };
    stack(70, QColor(40, 140, 220), QStringLiteral("DS"));
    stack(240, QColor(230, 140, 40), QStringLiteral("RS"));
    p.setPen(QPen(QColor(255, 255, 255, 120), 2));
    p.drawLine(160, 250, 240, 250);
    p.drawLine(230, 244, 240, 250);
    p.drawLine(230, 256, 240, 250);

    p.setPen(Qt::white);
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), 34, QFont::Bold));
    p.drawText(QRect(0, 30, 400, 60), Qt::AlignCenter, QStringLiteral("KOVAR 3"));
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), 12));
    p.setPen(QColor(190, 210, 240));
    p.drawText(QRect(0, 84, 400, 24), Qt::AlignCenter, QStringLiteral("simulator"));
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    p.drawText(QRect(0, 380, 400, 20), Qt::AlignCenter,
               QStringLiteral("32-bit processor with two hardware stacks"));
    p.drawText(QRect(0, 400, 400, 20), Qt::AlignCenter, QStringLiteral("01.10.02"));
    p.end();
    return pixmap;
}

TSplashScreen::TSplashScreen(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(kWidth, kHeight);
    Image1 = new QLabel(this);
    Image1->setGeometry(-1, 0, 400, 448);
    Image1->setPixmap(Picture());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());

    // Started at creation: the splash hides 2000 ms after the program starts.
    Timer1 = new QTimer(this);
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setInterval(2000);
    connect(Timer1, &QTimer::timeout, this, &TSplashScreen::Timer1Timer);
    Timer1->start();
}

void TSplashScreen::Timer1Timer() {
    // The timer keeps ticking: a splash shown late hides at the next tick,
    // and ticks that find it hidden change nothing.
    if (!isVisible())
        return;
    const bool wasActive = isActiveWindow();
    hide();
    if (owner_ && owner_->isVisible() && (wasActive || !QApplication::activeWindow()))
        owner_->activateWindow();
}
