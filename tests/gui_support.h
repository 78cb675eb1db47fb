// Helpers the window tests share.
#pragma once

#include <QString>
#include <QWidget>
#include <QtTest>

namespace kovar::test {

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

} // namespace kovar::test
