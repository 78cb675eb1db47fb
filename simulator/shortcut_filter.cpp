#include "shortcut_filter.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>

ShortcutFilter::ShortcutFilter(QList<QAction*> actions, QObject* parent)
    : QObject(parent), actions_(std::move(actions)) {
    qApp->installEventFilter(this);
}

ShortcutFilter::~ShortcutFilter() {
    if (qApp)
        qApp->removeEventFilter(this);
}

QAction* ShortcutFilter::actionFor(QEvent* event) const {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == 0 || key->key() == Qt::Key_unknown)
        return nullptr;
    const QKeySequence pressed(key->keyCombination());
    for (QAction* action : actions_)
        if (action->shortcut() == pressed)
            return action;
    return nullptr;
}

bool ShortcutFilter::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::Shortcut && beforeShortcut && qobject_cast<QAction*>(watched) &&
        !QApplication::activeModalWidget())
        beforeShortcut();
    if ((type == QEvent::ShortcutOverride || type == QEvent::KeyPress) &&
        !QApplication::activeModalWidget() && !QApplication::activePopupWidget()) {
        if (QAction* action = actionFor(event)) {
            // Swallowing the override (without accepting it) keeps any widget
            // from claiming the key, so the menu's short-cut fires. A disabled
            // entry's key is swallowed too, or the field would act on it.
            if (type == QEvent::ShortcutOverride || !action->isEnabled())
                return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
