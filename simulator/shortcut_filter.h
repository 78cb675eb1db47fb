// Makes the main menu's keys act from every window of the program before the
// focused control sees them: a focused edit field neither copies on Ctrl+C
// nor cuts on Ctrl+X; the menu entry fires instead. While a modal dialog or a
// popup is open, the filter stands aside and the dialog blocks the keys.
#pragma once

#include <QList>
#include <QObject>
#include <functional>

class QAction;

class ShortcutFilter : public QObject {
public:
    ShortcutFilter(QList<QAction*> actions, QObject* parent);
    ~ShortcutFilter() override;
    // More entries whose keys act from every window.
    void addActions(const QList<QAction*>& actions) { actions_ += actions; }

    // Runs before any action's short-cut acts (outside modal dialogs), for
    // example to commit text typed into the focused field.
    std::function<void()> beforeShortcut;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* actionFor(QEvent* event) const;
    QList<QAction*> actions_;
};
