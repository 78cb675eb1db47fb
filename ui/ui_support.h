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

class QLabel;
class QLineEdit;
class QWidget;

namespace kovar::ui {

// "MS Sans Serif", 8 points; fontconfig substitutes the system sans.
QFont FormFont();

// Qt's own texts (the standard buttons of a question, the file dialogs, the
// edit fields' context menus) in Russian, as the program's own texts are:
// loads Qt's Russian translation once per run. False when it is not
// installed; Qt's texts then stay English.
bool LoadQtTranslations();

// A fixed single border with a system menu and a minimise box only.
inline constexpr Qt::WindowFlags kFixedWindowFlags =
    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
    Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;

// Gives a top-level window a fixed client area and its first position.
void PlaceWindow(QWidget* window, int left, int top, int width, int height);

// Shows a modeless window, or brings it to the front when it is visible.
void ShowToFront(QWidget* window);

// A label at (left, top), sized to its text, which it keeps whole (FitText).
QLabel* AddLabel(QWidget* parent, const QString& text, int left, int top);

// A single-line edit field of the usual height (21). A maximum length of 0
// means no limit (an edit field otherwise stops at 32767 characters).
QLineEdit* AddEdit(QWidget* parent, const QString& text, int left, int top, int width,
                   int maxLength = 0);

// The message box for a fault that ends a handler (an unreadable number, an
// arithmetic fault), titled with the program's name.
void ShowFault(QWidget* parent, const QString& message);

// Runs `handler` whenever `field` loses the keyboard focus to another control
// of its window (Tab, Backtab, a click, a short-cut, the program moving the
// focus). Switching windows, a popup or a modal dialog opening runs nothing:
// the field keeps its text until the focus really leaves it.
void OnFocusExit(QWidget* field, std::function<void()> handler);

// Commits text typed into an edit field and not yet committed: when `field`
// has an exit handler (OnFocusExit) and the user changed its text since the
// handler last ran, runs the handler once, as leaving the field would (with
// its usual error message). Commands call this first, so that they see what
// was typed. Returns whether the handler ran.
bool CommitPendingText(QWidget* field);
// The same for the program's focus widget.
bool CommitFocusedField();

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
