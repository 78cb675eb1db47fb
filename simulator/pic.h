// TSplashScreen: the splash screen shown once, at the first activation of the
// main window, and hidden by its timer 2000 ms after it was created.
#pragma once

#include <QWidget>

class QLabel;
class QTimer;

// The splash screen: borderless, on top, centred, one picture.
class TSplashScreen : public QWidget {
    Q_OBJECT
public:
    explicit TSplashScreen(QWidget* parent = nullptr);

    QLabel* Image1;
    QTimer* Timer1;

    void Timer1Timer();

    // The window that takes the activation back when the splash hides.
    void setOwner(QWidget* owner) { owner_ = owner; }

    // The picture, drawn by the program.
    static QPixmap Picture();

private:
    QWidget* owner_ = nullptr;
};
