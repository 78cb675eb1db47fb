// Helpers the window tests share.
#pragma once

#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include "app.h"
#include "mem1.h"
#include "pic.h"

namespace kovar::test {

// Window tests never read or write the user's settings: each test program
// keeps them in a folder of its own, removed when it ends.
inline const bool kOwnSettings = [] {
    QStandardPaths::setTestModeEnabled(true);
    static QTemporaryDir folder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
    return true;
}();

// The offscreen platform cannot raise a window and says so on every
// raise(); keep that one message out of the test output.
inline void QuietRaiseWarnings() {
    static QtMessageHandler forward = nullptr;
    forward = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (!text.contains(QLatin1String("does not support raise()")))
                forward(type, context, text);
        });
}

// Shows a window, brings it to the front and waits until it is active.
[[nodiscard]] inline bool Activate(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

// Starts the program as main() does, lets the splash's time run out at once
// and waits until the simulator window is active again.
[[nodiscard]] inline bool StartPastSplash(KovarApp& app) {
    app.start();
    if (!QTest::qWaitFor([&app] { return app.splash->isVisible(); }))
        return false;
    app.splash->Timer1Timer();
    return QTest::qWaitForWindowActive(app.form1.get());
}

} // namespace kovar::test
