// Small pieces every window of the program shares: the form font, the
// window flags of a fixed-size tool window, and the "exit" handler of an
// edit field, which runs when the focus moves from it to another control.
#pragma once

#include <QFont>
#include <QString>
#include <Qt>
#include <functional>
#include <string>
#include <string_view>

class QWidget;

namespace kovar::ui {

// "MS Sans Serif", 8 points; fontconfig substitutes the system sans.
QFont FormFont();

// A fixed single border with a system menu and a minimise box only.
inline constexpr Qt::WindowFlags kFixedWindowFlags =
    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
    Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;

// Gives a top-level window a fixed client area and its first position.
void PlaceWindow(QWidget* window, int left, int top, int width, int height);

// Shows a modeless window, or brings it to the front when it is visible.
void ShowToFront(QWidget* window);

// Runs `handler` whenever `field` loses the keyboard focus to another control
// of its window (Tab, Backtab, a click, a short-cut, the program moving the
// focus). Switching windows, a popup or a modal dialog opening runs nothing:
// the field keeps its text until the focus really leaves it.
void OnFocusExit(QWidget* field, std::function<void()> handler);

// Called from a window's destructor: destroying the window moves the focus
// out of its fields, which must not run their handlers on a half-destroyed
// window.
void StopFocusExits(QWidget* window);

inline QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
inline std::string S(const QString& s) {
    return s.toStdString();
}

} // namespace kovar::ui
