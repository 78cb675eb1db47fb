// The simulator window driven as a user would: typing into fields and moving
// the focus away, double-clicking labels, scrolling, the menu's keys from
// edit fields of other windows, the file commands, Step and Run.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "app.h"
#include "convert.h"
#include "error.h"
#include "gui_support.h"
#include "hex_op.h"
#include "isa.h"
#include "mem1.h"
#include "memory_image.h"
#include "pic.h"
#include "show_error.h"
#include "trace_view.h"
#include "ui_support.h"

using kovar::StackId;
using kovar::ui::S;

namespace {

uint32_t word(unsigned cls, unsigned regB, unsigned regA, unsigned stack, unsigned low16) {
    return cls << 29 | regB << 24 | regA << 20 | stack << 16 | low16;
}
constexpr unsigned TOS = 0, SOS = 1, ZERO = 14, POP_DS = 1, PUSH_DS = 0, NOP = 8;

QStringList traceLines(TForm1* w) {
    QStringList lines;
    for (std::size_t r = 0; r < w->MemoDeb->lineCount(); ++r)
        lines << w->MemoDeb->lineText(r);
    return lines;
}

} // namespace

class GuiMain : public QObject {
    Q_OBJECT

    std::unique_ptr<KovarApp> app;
    TForm1* w = nullptr;
    QStringList errors;
    kovar::ErrorHandler saved;

    void recordErrors() {
        saved = kovar::SetErrorHandler([this](std::string_view m) {
            errors << QString::fromUtf8(m.data(), qsizetype(m.size()));
        });
    }

    // Types into a field that has the focus, then leaves it with Tab.
    void typeAndTab(QLineEdit* field, const QString& text) {
        field->setFocus(Qt::OtherFocusReason);
        QTRY_VERIFY(field->hasFocus());
        field->selectAll();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Tab);
    }

    // Closes the modal dialog that `trigger` opens, after checking its text.
    QString closeNextModal() {
        QString text;
        QTimer::singleShot(0, [&text] {
            QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
            auto* dialog = QApplication::activeModalWidget();
            if (auto* form3 = qobject_cast<TForm3*>(dialog)) {
                text = form3->Label1->text();
                form3->Button1->click();
            } else {
                dialog->close();
            }
        });
        return text;
    }

private slots:
    void init() {
        errors.clear();
        QSettings().clear(); // a first start: hexadecimal stacks
        app = std::make_unique<KovarApp>();
        w = app->form1.get();
        QVERIFY(kovar::test::StartPastSplash(*app));
        recordErrors();
    }

    void cleanup() {
        kovar::SetErrorHandler(saved);
        app.reset();
        w = nullptr;
    }

    void layoutAndStartState() {
        QCOMPARE(w->windowTitle(), QStringLiteral("KOVAR 3 simulator (01.10.02)"));
        QCOMPARE(w->centralWidget()->size(), QSize(604, 392));
        QCOMPARE(w->minimumSize(), w->maximumSize()); // fixed border
        QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("KOVAR"));

        const QList<QAction*> menus = w->menuBar()->actions();
        QVERIFY(menus.size() >= 3); // these three first; the program's own menus follow
        QCOMPARE(menus[0]->text(), QStringLiteral("Файл"));
        QCOMPARE(menus[1]->text(), QStringLiteral("Проект"));
        QCOMPARE(menus[2]->text(), QStringLiteral("Инструменты"));
        const struct {
            QAction* action;
            const char* text;
            QKeySequence key;
        } entries[] = {
            {w->N10, "Новый", QKeySequence(Qt::CTRL | Qt::Key_N)},
            {w->N8, "Сохранить", QKeySequence(Qt::Key_F2)},
            {w->N11, "Загрузить", QKeySequence(Qt::Key_F3)},
            {w->N12, "Выход", QKeySequence(Qt::CTRL | Qt::Key_X)},
            {w->N6, "Запуск", QKeySequence(Qt::Key_F9)},
            {w->N7, "По шагам", QKeySequence(Qt::Key_F7)},
            {w->Hexbindec1, "Hex<->bin<->dec", QKeySequence(Qt::CTRL | Qt::Key_C)},
            {w->N15, "Конструктор команд", QKeySequence(Qt::CTRL | Qt::Key_H)},
            {w->RPNcalc1, "RPN calc", QKeySequence(Qt::CTRL | Qt::Key_K)},
        };
        for (const auto& e : entries) {
            QCOMPARE(e.action->text(), QString::fromUtf8(e.text));
            QCOMPARE(e.action->shortcut(), e.key);
        }

        // Memory view: addresses 0..1B, values 00, all black.
        QCOMPARE(w->MemCells.size(), 28);
        for (int i = 0; i < 28; ++i) {
            QCOMPARE(w->MemLabels[i]->text(), QString::asprintf("%08X", i));
            QCOMPARE(w->MemCells[i]->text(), QStringLiteral("00"));
            QCOMPARE(w->MemLabels[i]->palette().color(QPalette::WindowText), QColor(Qt::black));
        }
        // Cell 15 sits in the second column, second row.
        QCOMPARE(w->MemCells[15]->geometry().topLeft(), QPoint(135, 30));
        QCOMPARE(w->MemLabels[15]->geometry().topLeft(), QPoint(85, 32));
        QCOMPARE(w->ScrollBarMem->maximum(), 1000);

        QCOMPARE(w->PageControl1->currentWidget(), w->PanelDS);
        for (int i = 0; i < 16; ++i) {
            QCOMPARE(w->DSView.items[i]->text(), QStringLiteral("00000000"));
            QCOMPARE(w->RSView.items[i]->text(), QStringLiteral("00000000"));
        }
        QStringList ds, rs, urd;
        for (int i = 0; i < 16; ++i) {
            ds << w->StackLabels[i]->text();
            rs << w->StackLabels[16 + i]->text();
        }
        for (int i = 0; i < 4; ++i)
            urd << w->StackLabels[32 + i]->text();
        QCOMPARE(ds.join(' '),
                 QStringLiteral("TOS SOS 3OS 4OS 5OS 6OS 7OS 8OS 9OS AOS BOS COS DOS EOS "
                                "FOS 10OS"));
        QCOMPARE(rs.join(' '),
                 QStringLiteral("TOR SOR 3OR 4OR 5OR 6OR 7OR 8OR 9OR AOR BOR COR DOR EOR "
                                "FOR 10OR"));
        QCOMPARE(urd.join(' '), QStringLiteral("URD0 URD1 URD2 URD3"));
        QCOMPARE(w->EditPC->text(), QStringLiteral("00000000"));
        QVERIFY(!w->CheckBoxFL->isChecked());
        QVERIFY(w->DebEnable->isChecked());
        QCOMPARE(w->Label1->text(), QStringLiteral("Отладка"));
        QCOMPARE(w->BitBtn4->toolTip(), QStringLiteral("Очистить отладочную информацию"));
        QCOMPARE(w->BitBtn5->toolTip(), QStringLiteral("Запуск программы"));
        QCOMPARE(w->BitBtn6->toolTip(), QStringLiteral("Переход на адрес в памяти"));
    }

    void splashShownOnceAndHiddenByItsTimer() {
        // A fresh program: the first activation shows the splash, the timer hides it.
        app.reset();
        QElapsedTimer clock;
        clock.start();
        app = std::make_unique<KovarApp>();
        w = app->form1.get();
        app->start();
        QTRY_VERIFY(app->splash->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!app->splash->isVisible(), 4000);
        QVERIFY(clock.elapsed() >= 1990);
        QVERIFY(QTest::qWaitForWindowActive(w)); // the activation returns to the main window

        // Later activations refresh the views but never show the splash again.
        app->state.Memory[3] = 0xAB;
        app->form2->show();
        app->form2->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(app->form2.get()));
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QVERIFY(!app->splash->isVisible());
        QCOMPARE(w->MemCells[3]->text(), QStringLiteral("AB"));
    }

    void splashShownLateHidesAtTheNextTick() {
        app.reset();
        app = std::make_unique<KovarApp>();
        w = app->form1.get();
        QTest::qWait(2300); // the first tick finds the splash not yet shown
        app->start();
        QTRY_VERIFY(app->splash->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!app->splash->isVisible(), 2500);
    }

    void goAdressClamps_data() {
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("first");
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("973") << 973 << 973;
        QTest::newRow("974") << 974 << 973;
        QTest::newRow("1000") << 1000 << 973;
        QTest::newRow("max") << 2147483647 << 973;
        QTest::newRow("-1") << -1 << 0;
    }
    void goAdressClamps() {
        QFETCH(int, target);
        QFETCH(int, first);
        w->GoAdress(target);
        QCOMPARE(w->MemBase(), first);
        QCOMPARE(w->ScrollBarMem->value(), first);
        QCOMPARE(w->MemLabels[0]->text(), QString::asprintf("%08X", first));
        QCOMPARE(w->MemLabels[27]->text(), QString::asprintf("%08X", first + 27));
    }

    void scrollBarKeepsItsPosition() {
        w->ScrollBarMem->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(w->MemBase(), 1); // one address, not one row
        w->ScrollBarMem->setValue(1000);
        QCOMPARE(w->MemBase(), 973);
        QCOMPARE(w->ScrollBarMem->value(), 1000);
        QCOMPARE(w->MemLabels[27]->text(), QStringLiteral("000003E8"));
        w->ScrollBarMem->triggerAction(QAbstractSlider::SliderSingleStepSub);
        QCOMPARE(w->ScrollBarMem->value(), 999);
        QCOMPARE(w->MemBase(), 973);

        w->N14->trigger(); // "Конец"
        QCOMPARE(w->MemBase(), 973);
        QCOMPARE(w->ScrollBarMem->value(), 973);
        w->N9->trigger(); // "Начало"
        QCOMPARE(w->MemBase(), 0);
        QCOMPARE(w->ScrollBarMem->value(), 0);
        QCOMPARE(w->N9->text(), QStringLiteral("Начало"));
        QCOMPARE(w->N14->text(), QStringLiteral("Конец"));
    }

    void editingMemoryCells() {
        typeAndTab(w->MemCells[5], QStringLiteral("7f"));
        QCOMPARE(app->state.Memory[5], uint8_t{127});
        QCOMPARE(w->MemCells[5]->text(), QStringLiteral("7F"));
        QVERIFY(w->MemCells[6]->hasFocus()); // Tab order follows the index

        // The cell stores at the address it shows when the focus leaves it.
        w->GoAdress(500);
        typeAndTab(w->MemCells[27], QStringLiteral("E"));
        QCOMPARE(app->state.Memory[527], uint8_t{0x0E});
        QCOMPARE(w->MemCells[27]->text(), QStringLiteral("0E"));
        QVERIFY(errors.isEmpty());

        app->state.Memory[501] = 9;
        typeAndTab(w->MemCells[1], QStringLiteral("g1"));
        QCOMPARE(errors, QStringList{QStringLiteral("Ошибка ввода hex числа")});
        QCOMPARE(app->state.Memory[501], uint8_t{0});
        QCOMPARE(w->MemCells[1]->text(), QStringLiteral("00"));

        // Clicking the scroll bar takes the focus: the typed byte is stored
        // at the address shown before the view moves.
        w->GoAdress(0);
        w->MemCells[0]->setFocus(Qt::OtherFocusReason);
        QTRY_VERIFY(w->MemCells[0]->hasFocus());
        w->MemCells[0]->selectAll();
        QTest::keyClicks(w->MemCells[0], QStringLiteral("ab"));
        QTest::mouseClick(w->ScrollBarMem, Qt::LeftButton, {},
                          QPoint(8, w->ScrollBarMem->height() - 4));
        QCOMPARE(app->state.Memory[0], uint8_t{0xAB});
        QCOMPARE(w->MemBase(), 1);
        QTest::keyClick(w->ScrollBarMem, Qt::Key_Down);
        QCOMPARE(w->MemBase(), 2);

        errors.clear();
        w->GoAdress(500);
        app->state.Memory[502] = 9;
        typeAndTab(w->MemCells[2], QString());
        QCOMPARE(app->state.Memory[502], uint8_t{0});
        QVERIFY(errors.isEmpty());
        QCOMPARE(w->MemCells[2]->maxLength(), 2);
    }

    void focusLeavingForAnotherWindowRunsNothing() {
        w->MemCells[4]->setFocus(Qt::OtherFocusReason);
        QTRY_VERIFY(w->MemCells[4]->hasFocus());
        QTest::keyClicks(w->MemCells[4], QStringLiteral("5"));
        app->form2->show();
        app->form2->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(app->form2.get()));
        QCOMPARE(app->state.Memory[4], uint8_t{0});
    }

    void breakpointsByDoubleClick() {
        QLabel* label = w->MemLabels[3];
        QTest::mouseClick(label, Qt::LeftButton);
        QCOMPARE(app->state.BreakpointMarks[3], uint8_t{0});
        QTest::mouseDClick(label, Qt::LeftButton);
        QCOMPARE(app->state.BreakpointMarks[3], uint8_t{1});
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::red));
        QTest::mouseDClick(label, Qt::LeftButton);
        QCOMPARE(app->state.BreakpointMarks[3], uint8_t{0});
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::black));

        // A mark of 2 from a file shows red and toggles to 3.
        app->state.BreakpointMarks[10] = 2;
        w->RefreshMem();
        QCOMPARE(w->MemLabels[10]->palette().color(QPalette::WindowText), QColor(Qt::red));
        QTest::mouseDClick(w->MemLabels[10], Qt::LeftButton);
        QCOMPARE(app->state.BreakpointMarks[10], uint8_t{3});
        QCOMPARE(w->MemLabels[10]->palette().color(QPalette::WindowText), QColor(Qt::red));
    }

    // The mouse reaches whatever lies on top at a point of a panel, as on screen.
    void clickOnPanel(QWidget* panel, QPoint point, bool twice) {
        QWidget* target = panel->childAt(point);
        QVERIFY(target);
        const QPoint local = target->mapFrom(panel, point);
        if (twice)
            QTest::mouseDClick(target, Qt::LeftButton, {}, local);
        else
            QTest::mouseClick(target, Qt::LeftButton, {}, local);
    }

    void cellFieldTakesClicksOnItsWholeWidth() {
        for (int i = 0; i < TForm1::kCells; ++i) {
            QLineEdit* field = w->MemCells[i];
            const QPoint leftEdge = field->geometry().topLeft() + QPoint(1, field->height() / 2);
            QCOMPARE(w->MemPanel->childAt(leftEdge), static_cast<QWidget*>(field));
            clickOnPanel(w->MemPanel, leftEdge, true);
            QVERIFY(field->hasFocus());
            QCOMPARE(app->state.BreakpointMarks[i], uint8_t{0});
        }
        // The label's visible part still toggles its mark.
        QLabel* label = w->MemLabels[5];
        clickOnPanel(w->MemPanel, label->geometry().topLeft() + QPoint(2, 4), true);
        QCOMPARE(app->state.BreakpointMarks[5], uint8_t{1});
        for (const auto* view : {&w->DSView, &w->RSView, &w->URDView})
            for (QLineEdit* field : view->items)
                QCOMPARE(field->parentWidget()->childAt(field->geometry().topLeft() +
                                                        QPoint(0, field->height() / 2)),
                         static_cast<QWidget*>(field));
    }

    void jumpToTypedAddress_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("first");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("messages");
        QTest::newRow("3e8") << "3e8" << 973 << "000003E8" << 0;
        QTest::newRow("FFFFFFFF") << "FFFFFFFF" << 0 << "FFFFFFFF" << 0;
        QTest::newRow("80000000") << "80000000" << 0 << "80000000" << 0;
        QTest::newRow("7FFFFFFF") << "7FFFFFFF" << 973 << "7FFFFFFF" << 0;
        QTest::newRow("10") << "10" << 16 << "00000010" << 0;
        QTest::newRow("bad") << "12x" << 0 << "00000000" << 1;
        QTest::newRow("nine digits") << "000000010" << 0 << "00000000" << 1;
    }
    void jumpToTypedAddress() {
        QFETCH(QString, typed);
        QFETCH(int, first);
        QFETCH(QString, shown);
        QFETCH(int, messages);
        w->GoAdress(300);
        w->TEAdress->setText(typed);
        QTest::mouseClick(w->BitBtn6, Qt::LeftButton);
        QCOMPARE(w->MemBase(), first);
        QCOMPARE(w->TEAdress->text(), shown);
        QCOMPARE(errors.size(), messages);
    }

    void editingStacksAndRegisters() {
        app->state.DS[3] = 77;
        typeAndTab(w->DSView.items[2], QStringLiteral("1a"));
        QCOMPARE(app->state.DS[2], 26);
        QCOMPARE(w->DSView.items[2]->text(), QStringLiteral("0000001A"));
        QCOMPARE(app->state.DS[3], 77); // a direct edit is not a push

        w->PageControl1->setCurrentWidget(w->PanelRS);
        typeAndTab(w->RSView.items[15], QStringLiteral("-5"));
        QCOMPARE(errors, QStringList{QStringLiteral("Ошибка ввода hex числа")});
        QCOMPARE(app->state.RS[15], 0);
        QCOMPARE(w->RSView.items[15]->text(), QStringLiteral("00000000"));
        QCOMPARE(w->RSView.items[0]->maxLength(), 8);

        w->PageControl1->setCurrentWidget(w->PanelURD);
        typeAndTab(w->URDView.items[3], QStringLiteral("ffffffff"));
        QCOMPARE(app->state.URD[3], -1);
        QCOMPARE(w->URDView.items[3]->text(), QStringLiteral("FFFFFFFF"));
        QVERIFY(!app->state.DS[15] && !app->state.RS[3]);
    }

    void decimalViewRoundTrip() {
        QVERIFY(!w->decimalView() && w->NDecimal->isCheckable() && !w->NDecimal->isChecked());
        QCOMPARE(w->menuBar()->actions().value(3)->text(), QStringLiteral("Вид"));
        QCOMPARE(w->NDecimal->text(), QStringLiteral("Десятичные"));
        QSignalSpy switched(w, &TForm1::decimalViewChanged);
        // Text typed in hexadecimal counts before the view changes.
        w->DSView.items[4]->setFocus();
        QTRY_VERIFY(w->DSView.items[4]->hasFocus());
        w->DSView.items[4]->selectAll();
        QTest::keyClicks(w->DSView.items[4], QStringLiteral("ff"));
        w->NDecimal->trigger();
        QVERIFY(w->decimalView());
        QCOMPARE(switched.size(), 1);
        QCOMPARE(app->state.DS[4], 255);
        QCOMPARE(w->DSView.items[4]->text(), QStringLiteral("255"));
        QCOMPARE(w->EditPC->text(), QStringLiteral("00000000")); // PC and memory stay hex
        QCOMPARE(w->MemCells[0]->text(), QStringLiteral("00"));

        const struct {
            QLineEdit* field;
            const int32_t* value;
            const char* typed;
            const char* shown;
            const char* hex;
        } cases[] = {
            {w->DSView.items[0], &app->state.DS[0], "-7", "-7", "FFFFFFF9"},
            {w->DSView.items[1], &app->state.DS[1], "-2147483648", "-2147483648", "80000000"},
            {w->RSView.items[15], &app->state.RS[15], "2147483647", "2147483647", "7FFFFFFF"},
            {w->URDView.items[2], &app->state.URD[2], "-007", "-7", "FFFFFFF9"},
            {w->URDView.items[3], &app->state.URD[3], "", "0", "00000000"},
        };
        for (const auto& c : cases) {
            w->PageControl1->setCurrentWidget(c.field->parentWidget());
            typeAndTab(c.field, QString::fromUtf8(c.typed));
            QCOMPARE(c.field->text(), QString::fromUtf8(c.shown));
            QCOMPARE(*c.value, int32_t(kovar::HexToIntRaw(c.hex)));
        }
        QVERIFY(errors.isEmpty());
        // A text that is no 32-bit decimal number is refused; the value stays.
        w->PageControl1->setCurrentWidget(w->PanelDS);
        for (const char* bad : {"2147483648", "-2147483649", "1a", "-", "+5", "1-2", " 7"}) {
            errors.clear();
            typeAndTab(w->DSView.items[0], QString::fromUtf8(bad));
            QCOMPARE(errors, QStringList{QStringLiteral("Ошибка при вводе десятичного числа")});
            QCOMPARE(app->state.DS[0], -7);
            QCOMPARE(w->DSView.items[0]->text(), QStringLiteral("-7"));
        }

        w->NDecimal->trigger();
        QVERIFY(!w->decimalView() && !w->NDecimal->isChecked());
        QCOMPARE(switched.size(), 2);
        for (const auto& c : cases) {
            QCOMPARE(c.field->text(), QString::fromUtf8(c.hex));
            QCOMPARE(c.field->maxLength(), 8);
        }

        // The view is remembered for the next start.
        w->NDecimal->trigger();
        app.reset();
        app = std::make_unique<KovarApp>();
        w = app->form1.get();
        QVERIFY(w->decimalView() && w->NDecimal->isChecked());
        QCOMPARE(w->URDView.items[0]->text(), QStringLiteral("0"));
        QCOMPARE(w->URDView.items[0]->maxLength(), 11);
    }

    void editingPCAndFL() {
        typeAndTab(w->EditPC, QStringLiteral("1c"));
        QCOMPARE(app->state.PC, 0x1C);
        QCOMPARE(w->EditPC->text(), QStringLiteral("0000001C"));

        typeAndTab(w->EditPC, QStringLiteral("123456789"));
        QCOMPARE(errors, QStringList{QStringLiteral("Ошибка ввода hex числа")});
        QCOMPARE(app->state.PC, 0);
        QCOMPARE(w->EditPC->text(), QStringLiteral("00000000"));

        QTest::mouseClick(w->CheckBoxFL, Qt::LeftButton, {},
                          QPoint(8, w->CheckBoxFL->height() / 2));
        QVERIFY(app->state.FL);
        w->RefreshPC();
        QVERIFY(w->CheckBoxFL->isChecked());
        app->state.FL = false;
        w->RefreshPC();
        QVERIFY(!w->CheckBoxFL->isChecked());
    }

    void shortcutsWinOverEditFields() {
        // Ctrl+C in a field of the simulator window shows the converter and copies nothing.
        QApplication::clipboard()->setText(QStringLiteral("before"));
        w->TEAdress->setFocus(Qt::OtherFocusReason);
        QTRY_VERIFY(w->TEAdress->hasFocus());
        w->TEAdress->selectAll();
        QTest::keyClick(w->TEAdress, Qt::Key_C, Qt::ControlModifier);
        QTRY_VERIFY(app->form2->isVisible());
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("before"));
        QCOMPARE(w->TEAdress->text(), QStringLiteral("00000000"));

        // F7 from a field of another window steps the machine in the main window.
        QVERIFY(QTest::qWaitForWindowActive(app->form2.get()));
        auto* field = app->form2->findChild<QLineEdit*>();
        QWidget* target = field ? static_cast<QWidget*>(field) : app->form2.get();
        app->state.WriteInstructionWord(0, word(3, ZERO, TOS, NOP, 0x22)); // TOS := -1
        QTest::keyClick(target, Qt::Key_F7);
        QCOMPARE(app->state.DS[0], -1);
        QCOMPARE(w->EditPC->text(), QStringLiteral("00000004"));

        // Ctrl+X there closes the program instead of cutting text.
        QSignalSpy closed(w, &TForm1::closed);
        if (field) {
            field->setText(QStringLiteral("123"));
            field->selectAll();
        }
        QTest::keyClick(target, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(closed.count(), 1);
        QVERIFY(!w->isVisible());
        if (field)
            QCOMPARE(field->text(), QStringLiteral("123"));
    }

    void modalErrorDialogBlocksShortcuts() {
        kovar::SetErrorHandler(saved); // the program's own handler: the modal TForm3
        app->state.WriteInstructionWord(0, word(3, ZERO, TOS, NOP, 0x22));
        QString title, text, button;
        bool blocked = false;
        QTimer::singleShot(0, [&] {
            QTRY_VERIFY(qobject_cast<TForm3*>(QApplication::activeModalWidget()));
            auto* dialog = qobject_cast<TForm3*>(QApplication::activeModalWidget());
            title = dialog->windowTitle();
            text = dialog->Label1->text();
            button = dialog->Button1->text();
            QTest::keyClick(dialog, Qt::Key_F7);
            blocked = app->state.DS[0] == 0 && app->state.PC == 0;
            dialog->Button1->click();
        });
        kovar::ShowError("Проверка");
        recordErrors();
        QCOMPARE(title, QStringLiteral("Ошибка"));
        QCOMPARE(text, QStringLiteral("Проверка"));
        QCOMPARE(button, QStringLiteral("Ok"));
        QVERIFY(blocked);
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QTest::keyClick(w, Qt::Key_F7); // after closing, the key acts again
        QCOMPARE(app->state.DS[0], -1);
    }

    void newSaveLoadRoundTrip() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("prog.emu"));
        app->state.Memory[1000] = 0x5A;
        app->state.BreakpointMarks[7] = 1;
        app->state.DS[15] = -2;
        app->state.RS[0] = 0x1234;
        app->state.URD[2] = 99;
        app->state.PC = 0x12344;
        w->askSaveFileName = [&] { return file; };
        QTest::keyClick(w, Qt::Key_F2);
        QCOMPARE(QFileInfo(file).size(), qint64(kovar::kImageSize));

        // New empties the machine and the trace pane.
        app->log.Debug("line");
        w->flushViews();
        app->state.FL = true;
        app->state.WriteInstructionWord(0, 0xFFFFFFFFu);
        QTest::keyClick(w, Qt::Key_N, Qt::ControlModifier);
        QVERIFY(std::all_of(app->state.Memory.begin(), app->state.Memory.end(),
                            [](uint8_t b) { return b == 0; }));
        QCOMPARE(app->state.PC, 0);
        QVERIFY(!app->state.FL);
        QCOMPARE(int(w->MemoDeb->lineCount()), 0);
        QCOMPARE(w->MemCells[0]->text(), QStringLiteral("00"));
        QVERIFY(!w->CheckBoxFL->isChecked());

        // Cancelling the open dialog changes nothing.
        w->askOpenFileName = [] { return QString(); };
        QTest::keyClick(w, Qt::Key_F3);
        QCOMPARE(app->state.RS[0], 0);

        app->log.Debug("kept");
        w->flushViews();
        w->GoAdress(980);
        w->askOpenFileName = [&] { return file; };
        QTest::keyClick(w, Qt::Key_F3);
        QCOMPARE(app->state.Memory[1000], uint8_t{0x5A});
        QCOMPARE(app->state.BreakpointMarks[7], uint8_t{1});
        QCOMPARE(app->state.DS[15], -2);
        QCOMPARE(app->state.URD[2], 99);
        QCOMPARE(app->state.PC, 0x2344); // the low 16 bits
        QCOMPARE(w->EditPC->text(), QStringLiteral("00002344"));
        QCOMPARE(w->MemBase(), 973); // the view keeps its place
        QCOMPARE(w->MemCells[27]->text(), QStringLiteral("5A"));
        QCOMPARE(w->RSView.items[0]->text(), QStringLiteral("00001234"));
        QCOMPARE(traceLines(w), QStringList{QStringLiteral("kept")}); // Load keeps the trace
        QVERIFY(errors.isEmpty());

        // A file that cannot be read is reported and changes nothing.
        w->askOpenFileName = [&] { return dir.filePath(QStringLiteral("missing.emu")); };
        QTest::keyClick(w, Qt::Key_F3);
        QCOMPARE(errors, QStringList{QStringLiteral("Ошибка чтения файла: ") +
                                     dir.filePath(QStringLiteral("missing.emu")) +
                                     QStringLiteral("\nнет такого файла")});
        QCOMPARE(app->state.DS[15], -2);
    }

    // New, Exit and the close box ask before unsaved changes are lost.
    void unsavedChangesAreAskedAbout() {
        int asked = 0;
        int answer = QMessageBox::Cancel;
        w->askSaveChanges = [&] {
            ++asked;
            return answer;
        };
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("work.emu"));
        QString saveAs = file;
        w->askSaveFileName = [&] { return saveAs; };
        const auto newMachine = [this] { QTest::keyClick(w, Qt::Key_N, Qt::ControlModifier); };

        // Nothing entered, or only steps run: nothing to ask.
        app->state.WriteInstructionWord(0, word(6, 0, 0, 0, 0));
        QTest::keyClick(w, Qt::Key_F7);
        newMachine();
        QCOMPARE(asked, 0);
        QCOMPARE(app->state.Memory[0], uint8_t{0});

        // Cancel, or Save with the save dialog cancelled, keeps the machine.
        typeAndTab(w->MemCells[0], QStringLiteral("12"));
        QVERIFY(w->hasUnsavedChanges());
        newMachine();
        QCOMPARE(asked, 1);
        answer = QMessageBox::Save;
        saveAs.clear();
        newMachine();
        QCOMPARE(asked, 2);
        QCOMPARE(app->state.Memory[0], uint8_t{0x12});
        // A save that fails keeps it too.
        saveAs = dir.filePath(QStringLiteral("no/such/folder/x.emu"));
        newMachine();
        QCOMPARE(asked, 3);
        QCOMPARE(errors.size(), 1);
        QCOMPARE(app->state.Memory[0], uint8_t{0x12});
        // Save: the file holds the work, then New acts.
        saveAs = file;
        newMachine();
        QCOMPARE(asked, 4);
        QCOMPARE(app->state.Memory[0], uint8_t{0});
        kovar::MachineState onDisk;
        QVERIFY(kovar::LoadDmp(onDisk, S(file)));
        QCOMPARE(onDisk.Memory[0], uint8_t{0x12});
        // Discard: New acts at once.
        typeAndTab(w->MemCells[1], QStringLiteral("34"));
        answer = QMessageBox::Discard;
        newMachine();
        QCOMPARE(asked, 5);
        QCOMPARE(app->state.Memory[1], uint8_t{0});

        // A save, or a load, leaves nothing unsaved.
        typeAndTab(w->MemCells[2], QStringLiteral("56"));
        QTest::keyClick(w, Qt::Key_F2);
        QVERIFY(!w->hasUnsavedChanges());
        typeAndTab(w->MemCells[3], QStringLiteral("78"));
        w->askOpenFileName = [&] { return file; };
        // Load replaces the machine too: Cancel keeps the typed byte.
        answer = QMessageBox::Cancel;
        QTest::keyClick(w, Qt::Key_F3);
        QCOMPARE(asked, 6);
        QCOMPARE(app->state.Memory[3], uint8_t{0x78});
        answer = QMessageBox::Discard;
        QTest::keyClick(w, Qt::Key_F3);
        QCOMPARE(asked, 7);
        QVERIFY(!w->hasUnsavedChanges());
        newMachine();
        QCOMPARE(asked, 7);

        // Exit and the close box: Cancel keeps the program, as does another
        // window's question; with everything answered it closes.
        QSignalSpy closed(w, &TForm1::closed);
        typeAndTab(w->MemCells[4], QStringLiteral("9a"));
        answer = QMessageBox::Cancel;
        QTest::keyClick(w, Qt::Key_X, Qt::ControlModifier);
        QVERIFY(!w->close());
        QCOMPARE(asked, 9);
        QCOMPARE(closed.count(), 0);
        QVERIFY(w->isVisible());
        answer = QMessageBox::Discard;
        bool keepOpen = true;
        int hooks = 0;
        w->beforeClose << [&] {
            ++hooks;
            return !keepOpen;
        };
        QTest::keyClick(w, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(hooks, 1);
        QCOMPARE(closed.count(), 0);
        keepOpen = false;
        QVERIFY(w->close());
        QCOMPARE(asked, 11);
        QCOMPARE(closed.count(), 1);
        QCOMPARE(app->state.Memory[4], uint8_t{0x9A});
    }

    // The question itself: its text, the line that says what is unsaved,
    // and three answers.
    void saveChangesQuestion() {
        QString text;
        QString what;
        QStringList buttons;
        QTimer::singleShot(0, [&] {
            QTRY_VERIFY(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()));
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            text = box->text();
            what = box->informativeText();
            for (QAbstractButton* b : box->buttons())
                buttons << b->text();
            box->button(QMessageBox::Cancel)->click();
        });
        QCOMPARE(w->askSaveChanges(), int(QMessageBox::Cancel));
        QCOMPARE(text, QStringLiteral("Сохранить изменения?"));
        QCOMPARE(what,
                 QStringLiteral("Память, стеки и регистры изменены после последнего сохранения."));
        buttons.sort();
        QCOMPARE(buttons, (QStringList{QStringLiteral("Не сохранять"), QStringLiteral("Отмена"),
                                       QStringLiteral("Сохранить")}));
    }

    void stepAndRunThroughTheKeys() {
        // TOS := SOS + TOS, popping DS; then a loop that never halts.
        app->state.DS[0] = 2;
        app->state.DS[1] = 3;
        app->state.WriteInstructionWord(0, word(3, SOS, TOS, POP_DS, 0x4F));
        app->state.WriteInstructionWord(4, word(1, 0, 0, 0, 4)); // BRANCH 4
        w->RefreshStack(StackId::DS);
        QTest::keyClick(w, Qt::Key_F7);
        QCOMPARE(w->DSView.items[0]->text(), QStringLiteral("00000005"));
        QCOMPARE(w->DSView.items[1]->text(), QStringLiteral("00000000"));
        QCOMPARE(w->EditPC->text(), QStringLiteral("00000004"));
        QCOMPARE(
            traceLines(w),
            (QStringList{"PC: 00000000 IR: 6101004F 01100001000000010000000001001111", "ALU",
                         "SOS: 00000003", "TOS: 00000002", "Pop DS", "Carry:0", "TOS: 00000005"}));

        // Run: 1000 steps of the branch, reported in the trace and in the modal
        // dialog, before which the views are brought up to date.
        kovar::SetErrorHandler(saved);
        QString reported;
        int rowsWhenReported = -1;
        QString pcWhenReported;
        QTimer::singleShot(0, [&] {
            QTRY_VERIFY(qobject_cast<TForm3*>(QApplication::activeModalWidget()));
            auto* dialog = qobject_cast<TForm3*>(QApplication::activeModalWidget());
            reported = dialog->Label1->text();
            rowsWhenReported = int(w->MemoDeb->lineCount());
            pcWhenReported = w->EditPC->text();
            dialog->Button1->click();
        });
        QTest::keyClick(w, Qt::Key_F9);
        recordErrors();
        QCOMPARE(reported, QStringLiteral("MaxStep:1000"));
        const QStringList lines = traceLines(w);
        QCOMPARE(lines.size(), 7 + 1000 * 2 + 1);
        QCOMPARE(rowsWhenReported, lines.size());
        QCOMPARE(pcWhenReported, QStringLiteral("00000004"));
        QCOMPARE(lines[7],
                 QStringLiteral("PC: 00000004 IR: 20000004 00100000000000000000000000000100"));
        QCOMPARE(lines[8], QStringLiteral("Branch: 00000004"));
        QCOMPARE(lines.last(), QStringLiteral("MaxStep:1000"));
        // The pane shows its newest line.
        QVERIFY(w->MemoDeb->isLineVisible(std::size_t(lines.size() - 1)));
        QVERIFY(!w->MemoDeb->isLineVisible(0));

        // The clear button empties the pane, not the machine.
        QTest::mouseClick(w->BitBtn4, Qt::LeftButton);
        QCOMPARE(int(w->MemoDeb->lineCount()), 0);
        QCOMPARE(app->state.DS[0], 5);

        // With the switch off, Run changes the state but writes no line.
        w->DebEnable->setChecked(false);
        app->state.WriteInstructionWord(4, 0xFFFFFFFFu);
        app->state.PC = 0;
        app->state.DS[0] = 1;
        app->state.DS[1] = 1;
        QTest::mouseClick(w->BitBtn5, Qt::LeftButton);
        QCOMPARE(app->state.DS[0], 2);
        QCOMPARE(int(w->MemoDeb->lineCount()), 0);
    }

    // Text typed into a field and not yet left counts before any command
    // acts and before an activation redraws the window.
    void typedTextCountsBeforeCommands() {
        // A short-cut: the step runs at the PC typed, and its heading names it.
        app->state.WriteInstructionWord(0x1c, word(6, 0, 0, 0, 0)); // LAL: PC := PC + 4
        w->EditPC->setFocus(Qt::OtherFocusReason);
        QTRY_VERIFY(w->EditPC->hasFocus());
        w->EditPC->selectAll();
        QTest::keyClicks(w->EditPC, QStringLiteral("1c"));
        QTest::keyClick(w->EditPC, Qt::Key_F7);
        QStringList lines = traceLines(w);
        QVERIFY(!lines.isEmpty());
        QCOMPARE(lines[0],
                 QStringLiteral("PC: 0000001C IR: C0000000 11000000000000000000000000000000"));
        QCOMPARE(app->state.PC, 0x20);
        QCOMPARE(w->EditPC->text(), QStringLiteral("00000020"));

        // The menu: a bad text gives its one message, then the command acts.
        w->EditPC->selectAll();
        QTest::keyClicks(w->EditPC, QStringLiteral("zz"));
        app->state.WriteInstructionWord(0, word(6, 0, 0, 0, 0));
        w->N7->trigger();
        QCOMPARE(errors, QStringList{QStringLiteral("Ошибка ввода hex числа")});
        QCOMPARE(app->state.PC, 4);
        QCOMPARE(traceLines(w).size(), 4);
        QCOMPARE(traceLines(w)[2],
                 QStringLiteral("PC: 00000000 IR: C0000000 11000000000000000000000000000000"));

        // An activation: a byte typed, another window, back: the byte is stored.
        QLineEdit* cell = w->MemCells[9];
        cell->setFocus(Qt::OtherFocusReason);
        QTRY_VERIFY(cell->hasFocus());
        cell->selectAll();
        QTest::keyClicks(cell, QStringLiteral("b7"));
        app->form2->show();
        app->form2->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(app->form2.get()));
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QCOMPARE(app->state.Memory[9], uint8_t{0xB7});
        QCOMPARE(cell->text(), QStringLiteral("B7"));
        QTest::keyClick(cell, Qt::Key_Tab);
        QCOMPARE(app->state.Memory[9], uint8_t{0xB7});

        // A file command: the typed byte is in the image that F2 writes.
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("typed.emu"));
        w->askSaveFileName = [&] { return file; };
        w->MemCells[10]->setFocus(Qt::OtherFocusReason);
        QTRY_VERIFY(w->MemCells[10]->hasFocus());
        w->MemCells[10]->selectAll();
        QTest::keyClicks(w->MemCells[10], QStringLiteral("5e"));
        QTest::keyClick(w->MemCells[10], Qt::Key_F2);
        kovar::MachineState saved;
        QVERIFY(kovar::LoadDmp(saved, S(file)));
        QCOMPARE(saved.Memory[10], uint8_t{0x5E});

        // Any other command's short-cut, too.
        QAction extra(QStringLiteral("extra"));
        extra.setShortcut(QKeySequence(Qt::Key_F12));
        extra.setShortcutContext(Qt::ApplicationShortcut);
        w->addAction(&extra);
        int seen = -1;
        connect(&extra, &QAction::triggered, [&] { seen = app->state.Memory[11]; });
        w->MemCells[11]->setFocus(Qt::OtherFocusReason);
        QTRY_VERIFY(w->MemCells[11]->hasFocus());
        w->MemCells[11]->selectAll();
        QTest::keyClicks(w->MemCells[11], QStringLiteral("3c"));
        QTest::keyClick(w->MemCells[11], Qt::Key_F12);
        QCOMPARE(seen, 0x3C);
        QCOMPARE(errors.size(), 1);
    }

    void selectingAndCopyingInTheTracePane() {
        const QString heading =
            QStringLiteral("PC: 00000000 IR: 6101004F 01100001000000010000000001001111");
        app->log.Debug(S(heading));
        app->log.Debug("ALU");
        app->log.Debug("SOS: 00000003");
        w->flushViews();
        TraceView* pane = w->MemoDeb;
        QCOMPARE(pane->lineCount(), std::size_t{3});
        // The heading is wider than the pane: it wraps at its last blank, as a memo does.
        QCOMPARE(pane->rowsOf(0), 2);
        QCOMPARE(pane->rowsOf(1), 1);
        QCOMPARE(pane->rowCount(), uint64_t{4});

        // A click on the third row (the line "ALU"), a shift-click on the fourth.
        const int row = pane->fontMetrics().height();
        QTest::mouseClick(pane->viewport(), Qt::LeftButton, {}, QPoint(20, 2 * row + row / 2));
        QTest::mouseClick(pane->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                          QPoint(20, 3 * row + row / 2));
        QCOMPARE(pane->selectedText(), QStringLiteral("ALU\nSOS: 00000003\n"));
        const QList<QAction*> actions = pane->actions();
        QCOMPARE(actions.size(), 3);
        QCOMPARE(actions[0]->text(), QStringLiteral("Copy"));
        QCOMPARE(actions[1]->text(), QStringLiteral("Select all"));
        QCOMPARE(actions[2]->text(), QStringLiteral("Сохранить трассу..."));
        actions[0]->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("ALU\nSOS: 00000003\n"));

        // Keys move and extend the selection; Ctrl+C still belongs to the menu.
        QTest::keyClick(pane, Qt::Key_Home);
        QTest::keyClick(pane, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(pane->selectedText(), heading + QStringLiteral("\nALU\n"));
        QTest::keyClick(pane, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("ALU\nSOS: 00000003\n"));

        actions[1]->trigger();
        actions[0]->trigger();
        QCOMPARE(QApplication::clipboard()->text(),
                 heading + QStringLiteral("\nALU\nSOS: 00000003\n"));

        // Clearing empties the pane and its selection.
        QTest::mouseClick(w->BitBtn4, Qt::LeftButton);
        QCOMPARE(pane->lineCount(), std::size_t{0});
        QVERIFY(!pane->hasSelection());
    }

    void longTraceScrollsAndStaysAtItsEnd() {
        for (int i = 0; i < 5000; ++i)
            app->log.Debug(std::to_string(i));
        w->flushViews();
        TraceView* pane = w->MemoDeb;
        QVERIFY(pane->isLineVisible(4999));
        QVERIFY(!pane->isLineVisible(4000));
        pane->verticalScrollBar()->setValue(0);
        QVERIFY(pane->isLineVisible(0));
        // The next command brings the newest line back into view.
        app->state.WriteInstructionWord(0, word(6, 0, 0, 0, 0));
        QTest::keyClick(w, Qt::Key_F7);
        QVERIFY(pane->isLineVisible(pane->lineCount() - 1));
        QCOMPARE(pane->lineText(5001), QStringLiteral("Lal nothing do"));
    }

    void destroyingTheProgramRunsNoExitHandler() {
        // A field left with a malformed text while the program ends reports nothing.
        w->MemCells[0]->setFocus(Qt::OtherFocusReason);
        QTRY_VERIFY(w->MemCells[0]->hasFocus());
        QTest::keyClicks(w->MemCells[0], QStringLiteral("zz"));
        app.reset();
        QVERIFY(errors.isEmpty());
    }
};

QTEST_MAIN(GuiMain)
#include "gui_main.moc"
