// The study aids of the simulator window, driven through its keys and
// buttons: what a command changed is highlighted, steps are undone exactly,
// restart and continue, the breakpoint list, decimal tooltips, the trace
// pane's find bar and its saved text against the headless runner's output.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolTip>
#include <QtTest>
#include <functional>
#include <limits>
#include <memory>

#include "app.h"
#include "asm_window.h"
#include "breakpoints.h"
#include "gui_support.h"
#include "hex_op.h"
#include "mem1.h"
#include "memory_image.h"
#include "pic.h"
#include "show_error.h"
#include "trace_view.h"
#include "ui_support.h"

using kovar::MachineState;

namespace {

uint32_t word(unsigned cls, unsigned regB, unsigned regA, unsigned stack, unsigned low16) {
    return cls << 29 | regB << 24 | regA << 20 | stack << 16 | low16;
}
constexpr unsigned TOS = 0, URD1 = 9, ZERO = 14, PUSH_DS = 0, PUSH_RS = 2, NOP = 8;
constexpr unsigned kIncrement = (1u << 8) | 0x43; // A + carry, carry 1
constexpr uint32_t kHalt = 0xFFFFFFFFu;

// Touches every kind of shown value: DS (push and TOS), memory at 100 by
// SAVE, URD1, FL, RS by CALL, then halts.
void loadProgram(MachineState& st) {
    st.WriteInstructionWord(0, word(3, ZERO, TOS, PUSH_DS, kIncrement));
    st.WriteInstructionWord(4, word(5, TOS, ZERO, NOP, 100));
    st.WriteInstructionWord(8, word(3, ZERO, URD1, NOP, kIncrement | 0x80 | (1u << 10)));
    st.WriteInstructionWord(12, word(0, 0, 0, 0, 20));
    st.WriteInstructionWord(20, kHalt);
    st.DS[0] = 5;
}

// An endless loop that pushes both stacks and increments TOS.
void loadLoop(MachineState& st) {
    st.WriteInstructionWord(0, word(3, ZERO, TOS, PUSH_DS, kIncrement));
    st.WriteInstructionWord(4, word(3, ZERO, TOS, PUSH_RS, kIncrement));
    st.WriteInstructionWord(8, word(1, 0, 0, 0, 0));
}

QStringList traceLines(const kovar::TraceLog& log) {
    QStringList lines;
    for (std::size_t i = 0; i < log.size(); ++i)
        lines << kovar::ui::Q(log.line(i));
    return lines;
}

} // namespace

class GuiStudy : public QObject {
    Q_OBJECT

    std::unique_ptr<KovarApp> app;
    TForm1* w = nullptr;
    QStringList errors;
    kovar::ErrorHandler saved;

    MachineState& st() { return app->state; }
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w, k, m);
    }

    // Every shown value is highlighted exactly when the last command changed
    // it, and a stack tab is coloured exactly when an entry on it changed.
    void checkHighlights(const MachineState& before) {
        for (int i = 0; i < TForm1::kCells; ++i) {
            const int a = w->MemBase() + i;
            QCOMPARE(w->isHighlighted(w->MemCells[i]), before.Memory[a] != st().Memory[a]);
        }
        const std::array<const kovar::Stack*, 2> was = {&before.DS, &before.RS};
        const std::array<const kovar::Stack*, 2> is = {&st().DS, &st().RS};
        const std::array<TForm1::StackRecord*, 2> views = {&w->DSView, &w->RSView};
        for (int k = 0; k < 2; ++k) {
            bool any = false;
            for (int i = 0; i < kovar::kStackDepth; ++i) {
                const bool changed = (*was[k])[i] != (*is[k])[i];
                QCOMPARE(w->isHighlighted(views[k]->items[i]), changed);
                any = any || changed;
            }
            QCOMPARE(w->PageControl1->tabBar()->tabTextColor(k).isValid(), any);
        }
        for (int i = 0; i < kovar::kUserRegisters; ++i)
            QCOMPARE(w->isHighlighted(w->URDView.items[i]), before.URD[i] != st().URD[i]);
        QCOMPARE(w->isHighlighted(w->EditPC), before.PC != st().PC);
        QCOMPARE(w->isHighlighted(w->CheckBoxFL), before.FL != st().FL);
    }

    // Runs the animation at full speed until it stops by itself.
    void animateToTheEnd() {
        w->setAnimationSpeed(1000);
        key(Qt::Key_F8);
        QTRY_VERIFY_WITH_TIMEOUT(!w->isAnimating(), 60000);
    }

private slots:
    void initTestCase() { kovar::test::QuietRaiseWarnings(); }

    void init() {
        errors.clear();
        QSettings().clear(); // hexadecimal stacks
        app = std::make_unique<KovarApp>();
        w = app->form1.get();
        QVERIFY(kovar::test::StartPastSplash(*app));
        saved = kovar::SetErrorHandler([this](std::string_view m) {
            errors << QString::fromUtf8(m.data(), qsizetype(m.size()));
        });
    }

    void cleanup() {
        kovar::SetErrorHandler(saved);
        app.reset();
        w = nullptr;
    }

    void commandsAndButtons() {
        const struct {
            QAction* action;
            const char* text;
            QKeySequence key;
        } entries[] = {
            {w->NStepBack, "Шаг назад", QKeySequence(Qt::SHIFT | Qt::Key_F7)},
            {w->NRestart, "Перезапуск", QKeySequence(Qt::CTRL | Qt::Key_R)},
            {w->NContinue, "Продолжить", QKeySequence(Qt::SHIFT | Qt::Key_F9)},
            {w->NBreakpoints, "Точки останова", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B)},
        };
        for (const auto& e : entries) {
            QCOMPARE(e.action->text(), QString::fromUtf8(e.text));
            QCOMPARE(e.action->shortcut(), e.key);
            QVERIFY(!e.action->statusTip().isEmpty());
        }
        QVERIFY(w->NStepBack->statusTip().contains(QStringLiteral("новую историю")));
        // The Project menu keeps its own entries first.
        const QList<QAction*> project =
            w->N7->associatedObjects().isEmpty()
                ? QList<QAction*>()
                : qobject_cast<QWidget*>(w->N7->associatedObjects().front())->actions();
        QCOMPARE(project.mid(0, 5),
                 (QList<QAction*>{w->N6, w->N7, w->NStepBack, w->NRestart, w->NContinue}));
        // The buttons sit in the free row right of FL, clear of every fixed control.
        for (QPushButton* b : {w->BtnStepBack, w->BtnRestart, w->BtnContinue}) {
            QCOMPARE(b->size(), QSize(23, 23));
            QVERIFY(!b->toolTip().isEmpty());
            for (QWidget* fixed : QList<QWidget*>{w->CheckBoxFL, w->EditPC, w->BitBtn5,
                                                  w->ScrollBarMem, w->MemPanel, w->Panel1})
                QVERIFY(!b->geometry().intersects(fixed->geometry()));
        }
        // Nothing to undo or restart yet: both disabled, their keys do nothing.
        QVERIFY(!w->BtnStepBack->isEnabled() && !w->NRestart->isEnabled());
        const MachineState start = st();
        key(Qt::Key_F7, Qt::ShiftModifier);
        key(Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(st(), start);
    }

    void highlightsFollowEachCommand() {
        loadProgram(st());
        w->GoAdress(90);
        w->RefreshStack(kovar::StackId::DS);
        std::vector<MachineState> states{st()};
        for (int i = 0; i < 4; ++i) { // every instruction of the program, one by one
            const MachineState before = st();
            key(Qt::Key_F7);
            checkHighlights(before);
            states.push_back(st());
            if (i == 1) // the SAVE wrote 6 to address 100, shown in cell 10
                QVERIFY(w->isHighlighted(w->MemCells[10]));
            if (i == 2)
                QVERIFY(w->isHighlighted(w->CheckBoxFL) && w->isHighlighted(w->URDView.items[1]));
        }
        QCOMPARE(st().RS[0], 16); // the CALL's return address

        // Stepping back marks what the undo changed, and walks back exactly.
        for (int i = 3; i >= 0; --i) {
            const MachineState before = st();
            w->BtnStepBack->click();
            checkHighlights(before);
            QCOMPARE(st(), states[static_cast<std::size_t>(i)]);
        }
        QVERIFY(!w->BtnStepBack->isEnabled());

        // Run to the halt, then restart: back to the state before the first step.
        MachineState before = st();
        key(Qt::Key_F9);
        checkHighlights(before);
        QCOMPARE(st().IR.word(), kHalt);
        before = st();
        key(Qt::Key_R, Qt::ControlModifier);
        checkHighlights(before);
        QCOMPARE(st(), states[0]);
        QVERIFY(!w->NStepBack->isEnabled()); // a restart is a new start
        QVERIFY(w->NRestart->isEnabled());   // and can be repeated

        // Typing into a highlighted field clears its highlight only.
        key(Qt::Key_F7);
        QVERIFY(w->isHighlighted(w->DSView.items[0]) && w->isHighlighted(w->DSView.items[1]));
        w->DSView.items[0]->setFocus();
        w->DSView.items[0]->selectAll();
        QTest::keyClick(w->DSView.items[0], Qt::Key_7);
        QVERIFY(!w->isHighlighted(w->DSView.items[0]));
        QVERIFY(w->isHighlighted(w->DSView.items[1]));
        // Leaving the field stores the value: a new history without a restart point.
        QTest::keyClick(w->DSView.items[0], Qt::Key_Tab);
        QVERIFY(!w->NStepBack->isEnabled() && !w->NRestart->isEnabled());
    }

    // A field whose highlight has gone looks exactly as one never
    // highlighted holding the same value: font, margins and colours.
    void clearedHighlightLeavesNoTrace() {
        loadProgram(st());
        w->GoAdress(90);
        const auto fields = [](TForm1* f) {
            return QList<QWidget*>{f->MemCells[10],    f->DSView.items[0],  f->DSView.items[1],
                                   f->RSView.items[0], f->URDView.items[1], f->EditPC,
                                   f->CheckBoxFL};
        };
        QSet<QWidget*> highlighted;
        for (int i = 0; i < 4; ++i) { // every field is highlighted on the way
            key(Qt::Key_F7);
            for (QWidget* field : fields(w))
                if (w->isHighlighted(field))
                    highlighted << field;
        }
        QCOMPARE(highlighted.size(), fields(w).size());
        key(Qt::Key_F9); // at the halt: a Run that changes nothing clears them all
        const auto looks = [&fields](TForm1* f) {
            f->TEAdress->setFocus(); // no cursor in a field compared
            QList<QImage> images;
            for (QWidget* field : fields(f))
                images << field->grab().toImage();
            return images;
        };
        for (QWidget* field : fields(w))
            QVERIFY(!w->isHighlighted(field));
        const QList<QImage> cleared = looks(w);

        KovarApp fresh;
        fresh.form1->setSplash(nullptr);
        fresh.state = st();
        fresh.form1->GoAdress(90);
        QVERIFY(kovar::test::Activate(fresh.form1.get()));
        const QList<QImage> plain = looks(fresh.form1.get());
        for (int i = 0; i < cleared.size(); ++i)
            QVERIFY2(cleared[i] == plain[i], qPrintable(QStringLiteral("field %1").arg(i)));
    }

    void stepBackAfterAFullRunGivesBackTheStart() {
        loadLoop(st());
        st().URD[2] = 77;
        w->traceLog().Debug("earlier line");
        const MachineState start = st();
        const QStringList startTrace = traceLines(w->traceLog());

        key(Qt::Key_F9);
        QCOMPARE(errors, QStringList{QStringLiteral("MaxStep:1000")});
        key(Qt::Key_F9); // across Runs
        QCOMPARE(w->history().size(), std::size_t{2000});
        const auto heading = w->MemoDeb->lastHeading();
        QVERIFY(TraceView::isHeading(w->traceLog().line(heading)));

        for (int i = 0; i < 2000; ++i)
            key(Qt::Key_F7, Qt::ShiftModifier);
        QCOMPARE(st(), start);
        QCOMPARE(traceLines(w->traceLog()), startTrace);
        QCOMPARE(w->MemoDeb->lineCount(), w->traceLog().size()); // the pane followed
        QCOMPARE(w->MemoDeb->lastHeading(), SIZE_MAX);
        QCOMPARE(w->EditPC->text(), QStringLiteral("00000000"));
        QCOMPARE(w->URDView.items[2]->text(), QStringLiteral("0000004D"));
        key(Qt::Key_F7, Qt::ShiftModifier); // nothing left: nothing happens
        QCOMPARE(st(), start);
    }

    void continueRunsPastAMarkedPC() {
        loadProgram(st());
        w->GoAdress(0);
        w->BP(4); // mark the SAVE at address 4
        key(Qt::Key_F9);
        QCOMPARE(st().PC, 4);
        QCOMPARE(traceLines(w->traceLog()).last(), QStringLiteral("Breakpoint"));
        key(Qt::Key_F9); // Run alone stays put
        QCOMPARE(st().PC, 4);
        const std::size_t before = w->traceLog().size();
        key(Qt::Key_F9, Qt::ShiftModifier);
        QCOMPARE(st().IR.word(), kHalt);
        QCOMPARE(st().Memory[100], uint8_t{6}); // the marked SAVE ran
        const QStringList lines = traceLines(w->traceLog()).mid(static_cast<int>(before));
        QVERIFY(lines.first().startsWith(QStringLiteral("PC: 00000004 IR: ")));
        QCOMPARE(lines.last(), QStringLiteral("Halt"));
    }

    void breakpointListAndF5() {
        loadProgram(st());
        w->RefreshMem();
        w->MemCells[8]->setFocus();
        QTRY_VERIFY(w->MemCells[8]->hasFocus());
        QTest::keyClick(w->MemCells[8], Qt::Key_F5);
        QCOMPARE(st().BreakpointMarks[8], uint8_t{1});
        w->GoAdress(3);
        w->MemCells[9]->setFocus();
        QTest::keyClick(w->MemCells[9], Qt::Key_F5); // address 12
        QTest::keyClick(w->MemCells[9], Qt::Key_B, Qt::ControlModifier | Qt::ShiftModifier);
        auto* list = qobject_cast<BreakpointList*>(w->breakpointWindow());
        QVERIFY(list && list->isVisible());
        QCOMPARE(list->list->count(), 2);
        QCOMPARE(list->list->item(1)->text(),
                 QStringLiteral("0000000C   ") + BreakpointWordText(st(), 12));
        QCOMPARE(BreakpointWordText(st(), 12), QStringLiteral("00 00 00 14  CALL 0x14"));

        list->list->setCurrentRow(1);
        list->GoClick();
        QCOMPARE(w->MemBase(), 12);
        list->RemoveClick();
        QCOMPARE(st().BreakpointMarks[12], uint8_t{0});
        QCOMPARE(list->list->count(), 1);
        QTest::keyClick(w->MemCells[9], Qt::Key_F5); // the list follows the window's marks
        QCOMPARE(list->list->count(), 2);
        list->RemoveAllClick();
        QCOMPARE(list->list->count(), 0);
        QVERIFY(std::all_of(st().BreakpointMarks.begin(), st().BreakpointMarks.end(),
                            [](uint8_t m) { return m == 0; }));
    }

    void decimalTooltips() {
        st().DS[1] = -56;
        st().WriteInstructionWord(2, 0xFF00002Au);
        w->RefreshMem();
        const auto tip = [](QWidget* field) {
            QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), field->mapToGlobal(QPoint(2, 2)));
            QApplication::sendEvent(field, &help);
            return QToolTip::text();
        };
        const QString ds = tip(w->DSView.items[1]);
        QVERIFY2(ds.contains(QStringLiteral("4294967240")) && ds.contains(QStringLiteral("-56")),
                 qPrintable(ds));
        const QString cell = tip(w->MemCells[2]);
        QVERIFY2(cell.contains(QStringLiteral("255")) && cell.contains(QStringLiteral("-1")) &&
                     cell.contains(QStringLiteral("FF00002A")) &&
                     cell.contains(QStringLiteral("4278190122")) &&
                     cell.contains(QStringLiteral("-16777174")),
                 qPrintable(cell));
        // The same bytes as LOAD reads them: least significant byte first.
        QVERIFY2(cell.contains(QStringLiteral("2A0000FF\n= 704643327 без знака")),
                 qPrintable(cell));

        // In the decimal view a stack or register field shows the hexadecimal.
        w->setDecimalView(true);
        st().URD[2] = std::numeric_limits<int32_t>::min();
        w->RefreshURD();
        w->RefreshStack(kovar::StackId::DS);
        const struct {
            QLineEdit* field;
            const char* shown;
            const char* hex;
        } cases[] = {{w->DSView.items[1], "-56", "FFFFFFC8"},
                     {w->URDView.items[2], "-2147483648", "80000000"}};
        for (const auto& c : cases) {
            QCOMPARE(c.field->text(), QString::fromUtf8(c.shown));
            QVERIFY2(tip(c.field).contains(QString::fromUtf8(c.hex)), qPrintable(tip(c.field)));
        }
        QVERIFY(tip(w->EditPC).contains(QStringLiteral("Со знаком: 0"))); // PC stays hex
        w->setDecimalView(false);
    }

    void highlightsInTheDecimalView() {
        w->setDecimalView(true);
        loadProgram(st());
        w->RefreshStack(kovar::StackId::DS);
        for (int i = 0; i < 4; ++i) {
            const MachineState before = st();
            key(Qt::Key_F7);
            checkHighlights(before);
        }
        QCOMPARE(w->DSView.items[0]->text(), QStringLiteral("6"));
        QCOMPARE(w->RSView.items[0]->text(), QStringLiteral("16"));
        w->setDecimalView(false);
    }

    void findBarInTheTracePane() {
        loadLoop(st());
        for (int i = 0; i < 6; ++i)
            key(Qt::Key_F7);
        TraceView* pane = w->MemoDeb;
        pane->setFocus();
        QTRY_VERIFY(pane->hasFocus());
        QTest::keyClick(pane, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(pane->findBar()->isVisible());
        QTest::keyClicks(pane->findField(), QStringLiteral("branch"));
        QTest::keyClick(pane->findField(), Qt::Key_Return);
        const std::size_t first = pane->selectionFirst();
        QVERIFY(pane->lineText(first).startsWith(QStringLiteral("Branch")));
        QTest::keyClick(pane->findField(), Qt::Key_Return);
        const std::size_t second = pane->selectionFirst();
        QVERIFY(second > first && pane->lineText(second).startsWith(QStringLiteral("Branch")));
        QTest::keyClick(pane->findField(), Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(pane->selectionFirst(), first);
        // The bar says which match is selected of how many...
        int matches = 0;
        for (std::size_t i = 0; i < pane->lineCount(); ++i)
            matches += pane->lineText(i).contains(QStringLiteral("BRANCH"), Qt::CaseInsensitive);
        QCOMPARE(pane->findStatus()->text(), QStringLiteral("1 из %1").arg(matches));
        // ...and that nothing matches, the old match no longer selected.
        QTest::keyClicks(pane->findField(), QStringLiteral("xyz"));
        QTest::keyClick(pane->findField(), Qt::Key_Return);
        QCOMPARE(pane->findStatus()->text(), QStringLiteral("не найдено"));
        QVERIFY(!pane->hasSelection());
        QTest::keyClick(pane->findField(), Qt::Key_Escape);
        QVERIFY(!pane->findBar()->isVisible());
    }

    // From the same start, the animation leaves the trace, the machine, the
    // messages and the history that F9 leaves, at a breakpoint, a halt and
    // the step limit; step back and restart work after it as after F9.
    void animationEndsAsRunDoes() {
        const std::function<void()> starts[] = {
            [this] { // stops at the mark on the SAVE
                loadProgram(st());
                w->BP(4);
            },
            [this] { loadProgram(st()); }, // runs to the halt word
            [this] { loadLoop(st()); },    // runs into the limit
        };
        w->askSaveChanges = [] { return int(QMessageBox::Discard); };
        for (const auto& load : starts) {
            w->N10Click();
            w->GoAdress(0);
            load();
            w->userEdited(); // the program counts as the user's edit
            const MachineState start = st();
            errors.clear();
            key(Qt::Key_F9);
            const QStringList runTrace = traceLines(w->traceLog());
            const MachineState afterRun = st();
            const QStringList runErrors = errors;
            const std::size_t runHistory = w->history().size();
            QCOMPARE(w->stepCount(), qint64(runHistory));

            key(Qt::Key_R, Qt::ControlModifier);
            QCOMPARE(st(), start);
            QCOMPARE(w->stepCount(), qint64(0));
            w->BitBtn4Click();
            errors.clear();
            animateToTheEnd();
            QCOMPARE(traceLines(w->traceLog()), runTrace);
            QCOMPARE(st(), afterRun);
            QCOMPARE(errors, runErrors);
            QCOMPARE(w->history().size(), runHistory);
            QCOMPARE(w->stepCount(), qint64(runHistory));
            QCOMPARE(w->EditPC->text(), kovar::ui::Q(kovar::Hex8(uint32_t(st().PC))));

            for (std::size_t i = 0; i < runHistory; ++i)
                w->StepBackClick();
            QCOMPARE(st(), start);
            QVERIFY(traceLines(w->traceLog()).size() <= 1); // only a stop line stays
            QCOMPARE(w->stepCount(), qint64(0));
        }
        QCOMPARE(errors, QStringList{QStringLiteral("MaxStep:1000")});
    }

    // Esc pauses, F8 goes on with the same run (the limit counts the steps
    // of both parts); another command pauses first; the speed is remembered.
    void animationPausesAndResumes() {
        QVERIFY(w->NAnimate->isCheckable());
        QCOMPARE(w->NAnimate->shortcut(), QKeySequence(Qt::Key_F8));
        for (QAction* other : w->findChildren<QAction*>())
            QVERIFY(other == w->NAnimate || other->shortcut() != w->NAnimate->shortcut());
        loadLoop(st());
        w->setAnimationSpeed(1000);
        key(Qt::Key_F8);
        QVERIFY(w->isAnimating() && w->NAnimate->isChecked());
        QTRY_VERIFY(w->stepCount() > 10);
        key(Qt::Key_Escape);
        QVERIFY(!w->isAnimating() && !w->NAnimate->isChecked());
        const qint64 paused = w->stepCount();
        QTest::qWait(100);
        QCOMPARE(w->stepCount(), paused);
        QCOMPARE(w->EditPC->text(), kovar::ui::Q(kovar::Hex8(uint32_t(st().PC))));

        key(Qt::Key_F8);
        QTRY_VERIFY_WITH_TIMEOUT(!w->isAnimating(), 60000);
        QCOMPARE(w->stepCount(), qint64(1000));
        QCOMPARE(errors, QStringList{QStringLiteral("MaxStep:1000")});
        QCOMPARE(traceLines(w->traceLog()).last(), QStringLiteral("MaxStep:1000"));

        // F7 during an animation pauses it and then steps once.
        key(Qt::Key_F8);
        QTRY_VERIFY(w->stepCount() > 1010);
        key(Qt::Key_F7);
        QVERIFY(!w->isAnimating());
        const qint64 afterStep = w->stepCount();
        QTest::qWait(50);
        QCOMPARE(w->stepCount(), afterStep);
        // So does typing into a field.
        key(Qt::Key_F8);
        QVERIFY(w->isAnimating());
        QTest::keyClick(w->MemCells[5], Qt::Key_A);
        QVERIFY(!w->isAnimating());

        w->setAnimationSpeed(5000);
        QCOMPARE(w->animationSpeed(), 1000);
        w->setAnimationSpeed(37);
        QCOMPARE(QSettings().value(QStringLiteral("animation/speed")).toInt(), 37);
    }

    void stepCounterFollowsTheCommands() {
        w->askSaveChanges = [] { return int(QMessageBox::Discard); };
        loadProgram(st()); // four instructions, then the halt word
        const struct {
            std::function<void()> command;
            qint64 count;
        } steps[] = {
            {[this] { key(Qt::Key_F7); }, 1},
            {[this] { key(Qt::Key_F9); }, 4},
            {[this] { key(Qt::Key_F7, Qt::ShiftModifier); }, 3},
            {[this] { key(Qt::Key_R, Qt::ControlModifier); }, 0},
            {[this] { key(Qt::Key_F7); }, 1},
            {[this] {
                 w->EditPC->setText(QStringLiteral("00000010"));
                 w->EditPCExit();
             },
             1},
            {[this] { key(Qt::Key_F7); }, 2},
            {[this] {
                 app->asmWindow->Editor->setPlainText(QStringLiteral("halt"));
                 QVERIFY(app->asmWindow->AssembleClick());
             },
             0},
            {[this] { key(Qt::Key_F7); }, 1},
            {[this] { key(Qt::Key_N, Qt::ControlModifier); }, 0},
        };
        for (const auto& s : steps) {
            s.command();
            QCOMPARE(w->stepCount(), s.count);
            QCOMPARE(w->LabelSteps->text(), QStringLiteral("Шагов: %1").arg(s.count));
        }
        // The status bar adds to the window below the unchanged client area.
        QCOMPARE(w->centralWidget()->size(), QSize(604, 392));
        QVERIFY(w->statusBar()->geometry().top() >= w->centralWidget()->geometry().bottom());
    }

    void savedTraceEqualsTheRunnersOutput() {
        QTemporaryDir dir;
        const QString image = dir.filePath(QStringLiteral("program.emu"));
        const QString text = dir.filePath(QStringLiteral("trace.txt"));
        {
            MachineState prepared;
            loadProgram(prepared);
            prepared.WriteInstructionWord(20, word(3, ZERO, TOS, PUSH_DS, kIncrement));
            prepared.WriteInstructionWord(24, word(1, 0, 0, 0, 0)); // runs into the limit
            QVERIFY(kovar::SaveDmp(prepared, kovar::ui::S(image)));
        }
        w->askOpenFileName = [&] { return image; };
        w->N11Click();
        key(Qt::Key_F9);
        w->askTraceFileName = [&] { return text; };
        w->SaveTraceClick();

        QProcess runner;
        runner.start(QStringLiteral(KOVAR3_RUN), {image});
        QVERIFY(runner.waitForFinished(30000));
        QFile saved(text);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray expected = runner.readAllStandardOutput();
        QVERIFY(expected.contains("MaxStep:1000"));
        QCOMPARE(saved.readAll(), expected);

        // A cancelled dialog writes nothing; an unwritable name is reported.
        w->askTraceFileName = [] { return QString(); };
        w->SaveTraceClick();
        w->askTraceFileName = [&] { return dir.filePath(QStringLiteral("no/such/dir.txt")); };
        errors.clear();
        w->SaveTraceClick();
        QCOMPARE(errors.size(), 1);
        QVERIFY(errors[0].startsWith(QStringLiteral("Ошибка записи файла: ")));
    }
};

QTEST_MAIN(GuiStudy)
#include "gui_study.moc"
