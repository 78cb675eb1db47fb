// Every window as a new user meets it on a 1024 x 768 screen with only
// DejaVu Sans installed: texts whole in their controls, tool windows placed
// off the main window's menu and remembered, Qt's own texts in Russian.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QStyleOption>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <tuple>
#include <utility>

#include "app.h"
#include "asm_window.h"
#include "constr.h"
#include "convert.h"
#include "error.h"
#include "gui_support.h"
#include "listing_window.h"
#include "mem1.h"
#include "rpncalc_unit.h"
#include "trace_view.h"

namespace {

// A control's own style option (the function that fills it is protected).
template <class Control, class Option> Option OptionOf(const Control* control) {
    struct Access : Control {
        static auto get() { return &Access::initStyleOption; }
    };
    Option option;
    (control->*Access::get())(&option);
    return option;
}

// The part of `w`, in its own coordinates, inside its parent and not under
// a sibling drawn above it.
QRegion Visible(const QWidget* w) {
    QRegion visible(w->rect());
    const QWidget* parent = w->parentWidget();
    visible &= QRegion(parent->rect().translated(-w->pos()));
    const QObjectList& siblings = parent->children();
    for (qsizetype i = siblings.indexOf(w) + 1; i < siblings.size(); ++i)
        if (const auto* s = qobject_cast<const QWidget*>(siblings[i]); s && !s->isHidden())
            visible -= QRegion(s->geometry().translated(-w->pos()));
    return visible;
}

bool Inside(const QRect& r, const QRegion& region) {
    return (QRegion(r) - region).isEmpty();
}

// The text of `w` and the rectangle it is drawn in (for a label, the text's
// own rectangle), which it must fit and which must be visible.
std::pair<QString, QRect> TextAndRoom(QWidget* w) {
    QStyle* style = w->style();
    const QFontMetrics fm(w->font());
    if (auto* label = qobject_cast<QLabel*>(w)) {
        const int wrap = label->wordWrap() ? Qt::TextWordWrap : 0;
        return {label->text(),
                style->itemTextRect(fm, label->contentsRect(), int(label->alignment()) | wrap, true,
                                    label->text())};
    }
    if (auto* box = qobject_cast<QCheckBox*>(w)) {
        const auto option = OptionOf<QCheckBox, QStyleOptionButton>(box);
        return {box->text(), style->subElementRect(QStyle::SE_CheckBoxContents, &option, box)};
    }
    if (auto* push = qobject_cast<QPushButton*>(w)) {
        const auto option = OptionOf<QPushButton, QStyleOptionButton>(push);
        QRect room = style->subElementRect(QStyle::SE_PushButtonContents, &option, push);
        return {push->text(),
                room.adjusted(push->icon().isNull() ? 0 : push->iconSize().width() + 4, 0, 0, 0)};
    }
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        // Between 2-pixel inner margins, with a pixel to spare for the cursor.
        const auto option = OptionOf<QLineEdit, QStyleOptionFrame>(edit);
        const QRect contents = style->subElementRect(QStyle::SE_LineEditContents, &option, edit);
        return {edit->text(), contents.marginsRemoved(edit->textMargins()).adjusted(2, 0, -3, 0)};
    }
    if (auto* list = qobject_cast<QComboBox*>(w)) {
        const auto option = OptionOf<QComboBox, QStyleOptionComboBox>(list);
        return {list->currentText(), style->subControlRect(QStyle::CC_ComboBox, &option,
                                                           QStyle::SC_ComboBoxEditField, list)};
    }
    return {};
}

// Why the text of `w` is not shown whole; empty when it is.
QString Clipped(QWidget* w) {
    const auto [text, room] = TextAndRoom(w);
    const int need = QFontMetrics(w->font()).size(Qt::TextShowMnemonic, text).width();
    const bool fits =
        qobject_cast<QLabel*>(w) || need <= room.width(); // a label's room is its text's
    if (text.isEmpty() || (fits && Inside(room, Visible(w))))
        return QString();
    return QStringLiteral("\"%1\" in %2 (%3pt)")
        .arg(text, w->window()->windowTitle())
        .arg(w->font().pointSizeF());
}

// The clipped texts among the shown controls of a window.
QStringList ClippedTexts(QWidget* window) {
    window->grab(); // controls fit their texts as they paint
    QStringList clipped;
    for (QWidget* w : window->findChildren<QWidget*>())
        if (w->isVisibleTo(window))
            if (const QString why = Clipped(w); !why.isEmpty())
                clipped << why;
    return clipped;
}

// The main window's title bar and menu bar, on the screen.
QRect TitleAndMenu(const QMainWindow* main) {
    const QRect frame = main->frameGeometry();
    const int menuBottom = main->menuBar()->mapToGlobal(QPoint(0, main->menuBar()->height())).y();
    return QRect(frame.left(), frame.top(), frame.width(), menuBottom - frame.top());
}

// Whether `frame` lies beside `zone`, touching it: moved only as far as
// needed to get off it.
bool Touches(const QRect& frame, const QRect& zone) {
    return frame.top() == zone.bottom() + 1 || frame.bottom() + 1 == zone.top() ||
           frame.left() == zone.right() + 1 || frame.right() + 1 == zone.left();
}

} // namespace

class WindowsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<KovarApp> app;

    // Starts the program again, as a user does the next day.
    void restart(const QString& file = QString()) {
        app.reset();
        app = std::make_unique<KovarApp>();
        app->form1->setSplash(nullptr);
        app->start(file);
        QVERIFY(QTest::qWaitForWindowExposed(app->form1.get()));
    }

private slots:
    void initTestCase() {
        kovar::test::QuietRaiseWarnings();
        // What a fresh desktop has: "MS Sans Serif" becomes DejaVu Sans.
        QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"));
        if (QFontInfo(QFont(QStringLiteral("MS Sans Serif"))).family() !=
            QStringLiteral("DejaVu Sans"))
            QSKIP("DejaVu Sans is not installed");
        QCOMPARE(QGuiApplication::primaryScreen()->size(), QSize(1024, 768));
    }

    void init() {
        QSettings().clear(); // a first start
        app = std::make_unique<KovarApp>();
        QVERIFY(kovar::test::StartPastSplash(*app));
    }

    void cleanup() { app.reset(); }

    void textsAreWholeInEveryWindow() {
        TForm1* w = app->form1.get();
        w->N7Click(); // a step: the trace shows its bold heading
        // The widest values: D is the widest hexadecimal digit, and the
        // least number the longest decimal one.
        kovar::MachineState& st = app->state;
        st.Memory.fill(0xDD);
        st.PC = int32_t(0xDDDDDDDDu);
        w->GoAdress(0x3CD);
        w->RefreshPC();
        QStringList clipped;
        for (const bool decimal : {false, true}) {
            const int32_t widest = decimal ? INT32_MIN : int32_t(0xDDDDDDDDu);
            st.DS.fill(widest);
            st.RS.fill(widest);
            st.URD.fill(widest);
            w->setDecimalView(decimal);
            w->RefreshStack(kovar::StackId::DS);
            w->RefreshStack(kovar::StackId::RS);
            w->RefreshURD();
            for (int page = 0; page < w->PageControl1->count(); ++page) {
                w->PageControl1->setCurrentIndex(page);
                clipped << ClippedTexts(w);
            }
        }
        QCOMPARE(w->URDView.items[3]->text(), QStringLiteral("-2147483648"));

        // The bold heading's 32 bits can be scrolled into view.
        TraceView* pane = w->MemoDeb;
        QFont bold = pane->font();
        bold.setBold(true);
        const QString bits = pane->lineText(pane->lastHeading()).section(QLatin1Char(' '), -1);
        QCOMPARE(bits.size(), 32);
        const int margin = 3; // left of every row
        if (pane->horizontalScrollBar()->maximum() + pane->viewport()->width() <
            margin + QFontMetrics(bold).horizontalAdvance(bits))
            clipped << QStringLiteral("the trace heading's bits cannot be scrolled into view");

        TForm4* constructor = app->form4.get();
        constructor->Adress->setText(QString(29, QLatin1Char('1')));
        constructor->AdressExit();
        constructor->Offset->setText(QString(16, QLatin1Char('1')));
        for (QComboBox* list : constructor->findChildren<QComboBox*>()) // the widest entry
            for (int i = 0; i < list->count(); ++i)
                if (list->fontMetrics().horizontalAdvance(list->itemText(i)) >
                    list->fontMetrics().horizontalAdvance(list->currentText()))
                    list->setCurrentIndex(i);
        TForm3 error;
        error.setMessage(QStringLiteral("Ошибка ввода hex числа"));
        w->BreakpointsClick();
        const QList<QWidget*> tools = {
            constructor,          app->form2.get(),         app->rpncalc.get(),   &error,
            app->asmWindow.get(), app->listingWindow.get(), w->breakpointWindow()};
        for (QWidget* tool : tools) {
            tool->show();
            clipped << ClippedTexts(tool);
        }
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QLatin1Char('\n'))));
        // The memory view still shows all eight digits of each address.
        QCOMPARE(w->MemLabels[27]->text(), QStringLiteral("000003E8"));
    }

    void toolWindowsOpenOffTheMainWindowsMenuAndComeBack() {
        // A first start with a program text: its window opens at once.
        QTemporaryDir dir;
        QFile program(dir.filePath(QStringLiteral("first.kasm")));
        QVERIFY(program.open(QIODevice::WriteOnly) && program.write("halt\n") > 0);
        program.close();
        restart(program.fileName());
        TForm1* w = app->form1.get();
        const QRect area = w->screen()->availableGeometry();
        const QRect zone = TitleAndMenu(w);
        // There is room below the main window for a low listing.
        app->listingWindow->resize(400, 130);
        const std::tuple<QWidget*, QAction*, QPoint> tools[] = {
            {app->form4.get(), w->N15, {155, 155}}, // with first places of their own
            {app->form2.get(), w->Hexbindec1, {219, 202}},
            {app->rpncalc.get(), w->RPNcalc1, {337, 118}},
            {app->asmWindow.get(), w->NAsm, {}},
            {app->listingWindow.get(), w->NListing, {}},
            {nullptr, w->NBreakpoints, {}}};
        for (auto [window, command, first] : tools) {
            command->trigger();
            window = window ? window : w->breakpointWindow();
            const QRect frame = window->frameGeometry();
            QVERIFY2(window->isVisible() && area.contains(frame) && !frame.intersects(zone),
                     qPrintable(window->windowTitle()));
            // Moved, if at all, only as far as the edge of the title bar and menu.
            QVERIFY(first.isNull() || frame.topLeft() == first || Touches(frame, zone));
        }
        QVERIFY(!app->listingWindow->frameGeometry().intersects(w->frameGeometry()));

        // Where the user leaves a window, it opens the next time; a place
        // over the main window's menu is moved off it.
        app->form4->move(30, 500);
        app->asmWindow->move(zone.left() + 10, zone.top() + 5);
        app->asmWindow->resize(500, 300);
        restart();
        app->form1->N15->trigger();
        app->form1->NAsm->trigger();
        QCOMPARE(app->form4->pos(), QPoint(30, 500));
        QCOMPARE(app->asmWindow->size(), QSize(500, 300));
        QVERIFY(!app->asmWindow->frameGeometry().intersects(TitleAndMenu(app->form1.get())));
    }

    void qtTextsAreRussian() {
        // The question about unsaved program text, with Qt's standard buttons.
        QStringList buttons;
        QTimer::singleShot(0, [&buttons] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            for (QAbstractButton* b : box->buttons())
                buttons << b->text();
            box->reject();
        });
        app->asmWindow->askSaveChanges();
        QCOMPARE(buttons.size(), 3);
        for (const QString& text : buttons)
            QVERIFY2(text.contains(QRegularExpression(QStringLiteral("^[А-Яа-я &]+$"))),
                     qPrintable(text));

        // An edit field's context menu is Russian; the trace pane's own menu
        // and the program's own texts stay as they are.
        std::unique_ptr<QMenu> menu(app->form1->EditPC->createStandardContextMenu());
        QVERIFY(menu->actions().first()->text().startsWith(QStringLiteral("&Отменить")));
        const QList<QAction*> trace = app->form1->MemoDeb->actions();
        QCOMPARE(trace[0]->text(), QStringLiteral("Copy"));
        QCOMPARE(trace[1]->text(), QStringLiteral("Select all"));
        QCOMPARE(app->form4->InsertIR->text(), QStringLiteral("Вставить"));
        QCOMPARE(TForm3().Button1->text(), QStringLiteral("Ok"));
    }
};

QTEST_MAIN(WindowsTest)
#include "gui_windows.moc"
