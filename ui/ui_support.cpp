#include "ui_support.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QObject>
#include <QTranslator>
#include <QWidget>
#include <limits>

#include "text_fit.h"

namespace kovar::ui {

QFont FormFont() {
    // The layout is measured in pixels for a narrow sans serif; a font with
    // Arial's metrics keeps eight hex digits inside a 60-pixel field.
    static const bool substituted = [] {
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                                   {QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                                    QStringLiteral("Arimo"), QStringLiteral("Helvetica")});
        return true;
    }();
    (void)substituted;
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    return font;
}

bool LoadQtTranslations() {
    static QTranslator* const translator = [] {
        auto* t = new QTranslator(QCoreApplication::instance());
        if (t->load(QStringLiteral("qtbase_ru"),
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            QCoreApplication::installTranslator(t);
            return t;
        }
        delete t;
        return static_cast<QTranslator*>(nullptr);
    }();
    return translator != nullptr;
}

void PlaceWindow(QWidget* window, int left, int top, int width, int height) {
    window->setFixedSize(width, height);
    window->move(left, top);
}

QLabel* AddLabel(QWidget* parent, const QString& text, int left, int top) {
    auto* label = new QLabel(text, parent);
    label->move(left, top);
    label->adjustSize();
    return FitText(label);
}

QLineEdit* AddEdit(QWidget* parent, const QString& text, int left, int top, int width,
                   int maxLength) {
    auto* field = new QLineEdit(parent);
    field->setMaxLength(maxLength > 0 ? maxLength : std::numeric_limits<int>::max());
    field->setText(text);
    field->setGeometry(left, top, width, 21);
    return field;
}

void ShowFault(QWidget* parent, const QString& message) {
    QMessageBox::critical(parent, QStringLiteral("KOVAR"), message);
}

void ShowToFront(QWidget* window) {
    if (window->isMinimized())
        window->showNormal();
    window->show();
    window->raise();
    window->activateWindow();
}

namespace {

const char* const kStopped = "kovarFocusExitsStopped";

class FocusExitFilter : public QObject {
public:
    FocusExitFilter(QWidget* field, std::function<void()> handler)
        : QObject(field), handler_(std::move(handler)) {}

    bool stopped() const {
        return static_cast<QWidget*>(parent())->window()->property(kStopped).toBool();
    }

    // The text is committed before the handler runs, so that a handler which
    // opens a dialog (and so moves the activation about) is not run again
    // for the same text.
    void commit() {
        if (auto* edit = qobject_cast<QLineEdit*>(parent()))
            edit->setModified(false);
        handler_();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusOut && !stopped()) {
            switch (static_cast<QFocusEvent*>(event)->reason()) {
            case Qt::TabFocusReason:
            case Qt::BacktabFocusReason:
            case Qt::MouseFocusReason:
            case Qt::ShortcutFocusReason:
            case Qt::OtherFocusReason: commit(); break;
            default: break;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> handler_;
};

} // namespace

void OnFocusExit(QWidget* field, std::function<void()> handler) {
    field->installEventFilter(new FocusExitFilter(field, std::move(handler)));
}

bool CommitPendingText(QWidget* field) {
    auto* edit = qobject_cast<QLineEdit*>(field);
    if (!edit || !edit->isModified())
        return false;
    for (QObject* child : edit->children()) {
        if (auto* filter = dynamic_cast<FocusExitFilter*>(child); filter && !filter->stopped()) {
            filter->commit();
            return true;
        }
    }
    return false;
}

bool CommitFocusedField() {
    return CommitPendingText(QApplication::focusWidget());
}

void StopFocusExits(QWidget* window) {
    window->setProperty(kStopped, true);
}

} // namespace kovar::ui
