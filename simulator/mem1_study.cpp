// The simulator window's study commands: Run and Step, stepping back through
// executed instructions, restarting from where the first Step or Run began,
// continuing from a breakpoint, the breakpoint list and the F5 mark on a
// memory cell. After each of them what it changed is highlighted
// (mem1_highlights.cpp) and the other windows hear of it through the link.
#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <optional>

#include "breakpoints.h"
#include "machine_link.h"
#include "mem1.h"
#include "ui_support.h"
#include "window_place.h"

using kovar::StackId;

struct TForm1::Study {
    kovar::History history;
    std::optional<kovar::MachineState> restartPoint;
    BreakpointList* breakpoints = nullptr;
};

void TForm1::StudyDeleter::operator()(Study* study) const {
    delete study;
}

kovar::History& TForm1::history() {
    return study_->history;
}

bool TForm1::hasRestartPoint() const {
    return study_->restartPoint.has_value();
}

QWidget* TForm1::breakpointWindow() const {
    return study_->breakpoints;
}

void TForm1::buildStudyAids() {
    study_.reset(new Study);
    cpu_.setHistory(&study_->history);
    buildStudyControls();
    addDecimalTips();
    clearHighlightsOnTyping();

    connect(this, &TForm1::edited, this, [this] {
        if (!editingMarks_)
            startNewHistory();
    });
    connect(this, &TForm1::replaced, this, [this] {
        startNewHistory();
        markChanges(st_); // nothing is "changed by the last command" in a new machine
    });
    startNewHistory();
}

void TForm1::startNewHistory() {
    study_->history.Clear();
    study_->restartPoint.reset();
    NStepBack->setEnabled(false);
    BtnStepBack->setEnabled(false);
    NRestart->setEnabled(false);
    BtnRestart->setEnabled(false);
}

void TForm1::refreshAll() {
    RefreshMem();
    RefreshStack(StackId::DS);
    RefreshStack(StackId::RS);
    RefreshURD();
    RefreshPC();
}

void TForm1::markChanges(const kovar::MachineState& before) {
    ChangedValues& c = changed_;
    for (int a = 0; a < kovar::kMemorySize; ++a)
        c.memory[a] = before.Memory[a] != st_.Memory[a];
    for (int i = 0; i < kovar::kStackDepth; ++i) {
        c.stacks[0][i] = before.DS[i] != st_.DS[i];
        c.stacks[1][i] = before.RS[i] != st_.RS[i];
    }
    for (int i = 0; i < kovar::kUserRegisters; ++i)
        c.urd[i] = before.URD[i] != st_.URD[i];
    c.pc = before.PC != st_.PC;
    c.fl = before.FL != st_.FL;
    applyHighlights();

    const bool canUndo = !study_->history.empty();
    NStepBack->setEnabled(canUndo);
    BtnStepBack->setEnabled(canUndo);
    NRestart->setEnabled(study_->restartPoint.has_value());
    BtnRestart->setEnabled(study_->restartPoint.has_value());
}

void TForm1::finishStudyCommand(const kovar::MachineState& before) {
    markChanges(before);
    emit link_->executed();
}

void TForm1::noteRestartPoint() {
    if (!study_->restartPoint)
        study_->restartPoint = st_;
}

void TForm1::studyCommand(const std::function<void()>& command) {
    noteRestartPoint();
    const kovar::MachineState before = st_;
    runCommand(command);
    finishStudyCommand(before);
}

void TForm1::N6Click() {
    studyCommand([this] { countSteps(static_cast<qint64>(cpu_.RunPrg().steps)); });
}
void TForm1::BitBtn5Click() {
    N6Click();
}
void TForm1::N7Click() {
    studyCommand([this] {
        cpu_.StepPrg();
        countSteps(1);
    });
}

void TForm1::StepBackClick() {
    if (study_->history.empty())
        return;
    const kovar::MachineState before = st_;
    runCommand([this] {
        if (study_->history.Undo(st_, log_))
            countSteps(-1);
        refreshAll();
    });
    finishStudyCommand(before);
}

void TForm1::RestartClick() {
    if (!study_->restartPoint)
        return;
    const kovar::MachineState before = st_;
    runCommand([this] {
        // The marks stay as they are now: they are the user's, not the run's.
        const auto marks = st_.BreakpointMarks;
        st_ = *study_->restartPoint;
        st_.BreakpointMarks = marks;
        refreshAll();
    });
    // The restart point is a new start: what ran before it is not undone,
    // and the step counter starts again.
    study_->history.Clear();
    resetStepCount();
    finishStudyCommand(before);
}

void TForm1::ContinueClick() {
    studyCommand([this] {
        // The marked instruction runs once; the rest is an ordinary Run
        // with its full step limit.
        if (st_.IsBreakpoint(st_.PC)) {
            cpu_.StepPrg();
            countSteps(1);
        }
        countSteps(static_cast<qint64>(cpu_.RunPrg().steps));
    });
}

void TForm1::BreakpointsClick() {
    if (!study_->breakpoints) {
        study_->breakpoints = new BreakpointList(*link_, this);
        kovar::ui::PlaceToolWindow(study_->breakpoints, this, QStringLiteral("breakpoints"));
    }
    kovar::ui::ShowToFront(study_->breakpoints);
}

void TForm1::ToggleMarkClick() {
    const int index = MemCells.indexOf(qobject_cast<QLineEdit*>(focusWidget()));
    if (index >= 0)
        BP(index);
}
