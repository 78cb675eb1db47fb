// The simulator window's study aids: stepping back through executed
// instructions, restarting from where the first Step or Run began,
// continuing from a breakpoint, the highlights of what the last command
// changed, decimal tooltips on every value field, the breakpoint list and
// saving the trace to a text file.
#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolTip>
#include <array>
#include <optional>
#include <string>

#include "atomic_file.h"
#include "breakpoints.h"
#include "hex_op.h"
#include "mem1.h"
#include "shortcut_filter.h"
#include "show_error.h"
#include "trace_view.h"
#include "ui_support.h"
#include "window_place.h"

using kovar::StackId;
using kovar::ui::Q;
using kovar::ui::S;

namespace {

// Shows a field's value in decimal when the pointer rests on it; the text is
// made only then, so redraws and Runs pay nothing for it.
class DecimalTips : public QObject {
public:
    using Text = std::function<QString()>;
    explicit DecimalTips(QObject* parent) : QObject(parent) {}
    void add(QWidget* field, Text text) {
        texts_.insert(field, std::move(text));
        field->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ToolTip) {
            const auto it = texts_.constFind(watched);
            if (it != texts_.constEnd()) {
                auto* help = static_cast<QHelpEvent*>(event);
                QToolTip::showText(help->globalPos(), it.value()(), static_cast<QWidget*>(watched));
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QHash<QObject*, Text> texts_;
};

QString decimalText(int32_t value) {
    return QStringLiteral("Без знака: %1\nСо знаком: %2")
        .arg(static_cast<uint32_t>(value))
        .arg(value);
}

QString memoryText(const kovar::MachineState& st, int address) {
    const uint8_t byte = st.Memory[address];
    const uint32_t word = st.ReadInstructionWord(static_cast<uint32_t>(address));
    return QStringLiteral("Байт: %1 без знака, %2 со знаком\n"
                          "Слово с этого адреса (старший байт первым, как хранятся "
                          "команды): %3\n= %4 без знака, %5 со знаком")
        .arg(byte)
        .arg(static_cast<int8_t>(byte))
        .arg(Q(kovar::Hex8(word)))
        .arg(word)
        .arg(static_cast<int32_t>(word));
}

// A warm amber laid over the palette's own base colour: light on a light
// palette, dark on a dark one, so the palette's text colour stays readable.
QColor highlightColour(const QPalette& palette) {
    const QColor base = palette.color(QPalette::Base);
    const QColor amber(255, 180, 0);
    const auto mix = [](int a, int b) { return (a * 45 + b * 55) / 100; };
    return QColor(mix(base.red(), amber.red()), mix(base.green(), amber.green()),
                  mix(base.blue(), amber.blue()));
}

const char* const kChanged = "changed";

bool markedChanged(const QWidget* field) {
    return field->property(kChanged).toBool();
}

void setFieldHighlight(QLineEdit* field, bool on) {
    if (markedChanged(field) == on)
        return;
    field->setProperty(kChanged, on);
    if (on) {
        QPalette p = field->palette();
        p.setColor(QPalette::Base, highlightColour(p));
        field->setPalette(p);
    } else {
        field->setPalette(QPalette());
    }
}

// Memory cells draw through a style sheet; the highlight adds a rule after it.
void setCellHighlight(QLineEdit* cell, bool on) {
    if (markedChanged(cell) == on)
        return;
    cell->setProperty(kChanged, on);
    if (!cell->property("plainStyle").isValid())
        cell->setProperty("plainStyle", cell->styleSheet());
    const QString plain = cell->property("plainStyle").toString();
    cell->setStyleSheet(on ? plain + QStringLiteral(" QLineEdit { background: #ffc94d; "
                                                    "color: black; }")
                           : plain);
}

void setCheckHighlight(QCheckBox* box, bool on) {
    if (markedChanged(box) == on)
        return;
    box->setProperty(kChanged, on);
    if (on) {
        QPalette p = box->palette();
        p.setColor(QPalette::Window, highlightColour(p));
        box->setPalette(p);
        box->setAutoFillBackground(true);
    } else {
        box->setAutoFillBackground(false);
        box->setPalette(QPalette());
    }
}

// The colour of a page tab whose entries changed: a deep amber that reads on
// light and on dark tab bars (the tab texts themselves stay as they are).
const QColor kChangedTab(224, 120, 0);

} // namespace

struct TForm1::Study {
    kovar::History history;
    std::optional<kovar::MachineState> restartPoint;
    // What the last Step, Run, step back or restart changed.
    std::array<bool, kovar::kMemorySize> mem{};
    std::array<std::array<bool, kovar::kStackDepth>, 2> stack{};
    std::array<bool, kovar::kUserRegisters> urd{};
    bool pc = false;
    bool fl = false;
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

bool TForm1::isHighlighted(QWidget* field) const {
    return markedChanged(field);
}

QWidget* TForm1::breakpointWindow() const {
    return study_->breakpoints;
}

void TForm1::buildStudyAids() {
    study_.reset(new Study);
    cpu_.setHistory(&study_->history);

    const QList<QAction*> menus = menuBar()->actions();
    QMenu* file = menus.value(0)->menu();
    QMenu* project = menus.value(1)->menu();
    QMenu* tools = menus.value(2)->menu();
    const auto command = [this](const char* text, const QKeySequence& key, const char* hint,
                                void (TForm1::*handler)()) {
        auto* action = new QAction(QString::fromUtf8(text), this);
        action->setShortcut(key);
        action->setShortcutContext(Qt::ApplicationShortcut);
        action->setStatusTip(QString::fromUtf8(hint));
        action->setToolTip(QString::fromUtf8(hint));
        // What the user typed into a field counts before the command acts.
        connect(action, &QAction::triggered, this, [this, handler] {
            commitTypedText();
            (this->*handler)();
        });
        return action;
    };
    NStepBack =
        command("Шаг назад", QKeySequence(Qt::SHIFT | Qt::Key_F7),
                "Отменить последнюю выполненную команду. Правка памяти, точек останова, стеков, "
                "регистров, PC или FL, загрузка, \"Новый\" и вставка из конструктора "
                "команд начинают новую историю.",
                &TForm1::StepBackClick);
    NRestart = command("Перезапуск", QKeySequence(Qt::CTRL | Qt::Key_R),
                       "Вернуть машину к состоянию перед первым шагом или запуском после "
                       "последней правки или загрузки; программа остаётся в памяти",
                       &TForm1::RestartClick);
    NContinue = command("Продолжить", QKeySequence(Qt::SHIFT | Qt::Key_F9),
                        "Выполнить команду в точке останова и продолжить, как \"Запуск\"",
                        &TForm1::ContinueClick);
    NBreakpoints = command("Точки останова", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B),
                           "Список точек останова", &TForm1::BreakpointsClick);
    NSaveTrace =
        command("Сохранить трассу...", QKeySequence(),
                "Записать отладочную информацию в текстовый файл", &TForm1::SaveTraceClick);
    project->addAction(NStepBack);
    project->addAction(NRestart);
    project->addAction(NContinue);
    tools->addAction(NBreakpoints);
    file->insertAction(N12, NSaveTrace);
    MemoDeb->addAction(NSaveTrace);

    NToggleMark = new QAction(QStringLiteral("Точка останова на ячейке"), this);
    NToggleMark->setShortcut(QKeySequence(Qt::Key_F5));
    NToggleMark->setShortcutContext(Qt::WindowShortcut);
    connect(NToggleMark, &QAction::triggered, this, &TForm1::ToggleMarkClick);
    addAction(NToggleMark);

    shortcuts_->addActions({NStepBack, NRestart, NContinue, NBreakpoints});

    QWidget* client = centralWidget();
    const auto button = [client](QStyle::StandardPixmap icon, QAction* action, int left) {
        auto* b = new QPushButton(client);
        b->setIcon(client->style()->standardIcon(icon));
        b->setIconSize(QSize(16, 16));
        b->setToolTip(action->text() + QStringLiteral(" (") +
                      action->shortcut().toString(QKeySequence::NativeText) +
                      QStringLiteral(")\n") + action->statusTip());
        b->setGeometry(left, 334, 23, 23);
        connect(b, &QPushButton::clicked, action, &QAction::trigger);
        return b;
    };
    BtnStepBack = button(QStyle::SP_MediaSeekBackward, NStepBack, 121);
    BtnRestart = button(QStyle::SP_BrowserReload, NRestart, 146);
    BtnContinue = button(QStyle::SP_MediaSkipForward, NContinue, 171);

    askTraceFileName = [this] {
        QFileDialog dialog(this, QStringLiteral("Сохранить трассу"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("txt"));
        dialog.setNameFilter(QStringLiteral("Текст (*.txt)"));
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
                   ? dialog.selectedFiles().front()
                   : QString();
    };

    // Decimal tooltips, and a user's typing clears the highlight of the field.
    auto* tips = new DecimalTips(this);
    for (int i = 0; i < kCells; ++i) {
        tips->add(MemCells[i], [this, i] { return memoryText(st_, memBase_ + i); });
        connect(MemCells[i], &QLineEdit::textEdited, this, [this, i] {
            study_->mem[memBase_ + i] = false;
            highlightMemCells();
        });
    }
    for (int s = 0; s < 2; ++s) {
        const StackId id = s == 0 ? StackId::DS : StackId::RS;
        StackRecord& record = s == 0 ? DSView : RSView;
        for (int i = 0; i < kovar::kStackDepth; ++i) {
            tips->add(record.items[i], [this, id, i] { return decimalText(st_.stack(id)[i]); });
            connect(record.items[i], &QLineEdit::textEdited, this, [this, s, i] {
                study_->stack[s][i] = false;
                applyHighlights();
            });
        }
    }
    for (int i = 0; i < kovar::kUserRegisters; ++i) {
        tips->add(URDView.items[i], [this, i] { return decimalText(st_.URD[i]); });
        connect(URDView.items[i], &QLineEdit::textEdited, this, [this, i] {
            study_->urd[i] = false;
            applyHighlights();
        });
    }
    tips->add(EditPC, [this] { return decimalText(st_.PC); });
    connect(EditPC, &QLineEdit::textEdited, this, [this] {
        study_->pc = false;
        applyHighlights();
    });
    connect(CheckBoxFL, &QCheckBox::clicked, this, [this] {
        study_->fl = false;
        applyHighlights();
    });

    connect(this, &TForm1::edited, this, &TForm1::startNewHistory);
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
    Study& s = *study_;
    for (int a = 0; a < kovar::kMemorySize; ++a)
        s.mem[a] = before.Memory[a] != st_.Memory[a];
    for (int i = 0; i < kovar::kStackDepth; ++i) {
        s.stack[0][i] = before.DS[i] != st_.DS[i];
        s.stack[1][i] = before.RS[i] != st_.RS[i];
    }
    for (int i = 0; i < kovar::kUserRegisters; ++i)
        s.urd[i] = before.URD[i] != st_.URD[i];
    s.pc = before.PC != st_.PC;
    s.fl = before.FL != st_.FL;
    applyHighlights();

    const bool canUndo = !s.history.empty();
    NStepBack->setEnabled(canUndo);
    BtnStepBack->setEnabled(canUndo);
    NRestart->setEnabled(s.restartPoint.has_value());
    BtnRestart->setEnabled(s.restartPoint.has_value());
    if (s.breakpoints && s.breakpoints->isVisible())
        s.breakpoints->refresh(); // a SAVE may have changed a listed word
}

void TForm1::highlightMemCells() {
    if (!study_)
        return;
    for (int i = 0; i < kCells; ++i)
        setCellHighlight(MemCells[i], study_->mem[memBase_ + i]);
}

void TForm1::applyHighlights() {
    Study& s = *study_;
    highlightMemCells();
    const std::array<StackRecord*, 2> stacks = {&DSView, &RSView};
    const std::array<QWidget*, 3> pages = {PanelDS, PanelRS, PanelURD};
    for (int k = 0; k < 2; ++k) {
        bool any = false;
        for (int i = 0; i < kovar::kStackDepth; ++i) {
            setFieldHighlight(stacks[k]->items[i], s.stack[k][i]);
            any = any || s.stack[k][i];
        }
        PageControl1->tabBar()->setTabTextColor(PageControl1->indexOf(pages[k]),
                                                any ? kChangedTab : QColor());
    }
    bool anyURD = false;
    for (int i = 0; i < kovar::kUserRegisters; ++i) {
        setFieldHighlight(URDView.items[i], s.urd[i]);
        anyURD = anyURD || s.urd[i];
    }
    PageControl1->tabBar()->setTabTextColor(PageControl1->indexOf(PanelURD),
                                            anyURD ? kChangedTab : QColor());
    setFieldHighlight(EditPC, s.pc);
    setCheckHighlight(CheckBoxFL, s.fl);
}

void TForm1::studyCommand(const std::function<void()>& command) {
    if (!study_->restartPoint)
        study_->restartPoint = st_;
    const kovar::MachineState before = st_;
    runCommand(command);
    markChanges(before);
}

void TForm1::StepBackClick() {
    if (study_->history.empty())
        return;
    const kovar::MachineState before = st_;
    runCommand([this] {
        study_->history.Undo(st_, log_);
        refreshAll();
    });
    markChanges(before);
}

void TForm1::RestartClick() {
    if (!study_->restartPoint)
        return;
    const kovar::MachineState before = st_;
    runCommand([this] {
        st_ = *study_->restartPoint;
        refreshAll();
    });
    // The restart point is a new start: what ran before it is not undone.
    study_->history.Clear();
    markChanges(before);
}

void TForm1::ContinueClick() {
    studyCommand([this] {
        // The marked instruction runs once; the rest is an ordinary Run
        // with its full step limit.
        if (st_.IsBreakpoint(st_.PC))
            cpu_.StepPrg();
        cpu_.RunPrg();
    });
}

void TForm1::SaveTraceClick() {
    const QString name = askTraceFileName ? askTraceFileName() : QString();
    if (name.isEmpty())
        return;
    std::string text;
    for (std::size_t i = 0; i < log_.size(); ++i) {
        text += log_.line(i);
        text += '\n';
    }
    const std::string file = S(name);
    kovar::WriteFileOrReport(file, text.data(), text.size());
}

void TForm1::BreakpointsClick() {
    if (!study_->breakpoints) {
        study_->breakpoints = new BreakpointList(*this, this);
        kovar::ui::PlaceToolWindow(study_->breakpoints, this, QStringLiteral("breakpoints"));
    }
    kovar::ui::ShowToFront(study_->breakpoints);
}

void TForm1::ToggleMarkClick() {
    const int index = MemCells.indexOf(qobject_cast<QLineEdit*>(focusWidget()));
    if (index >= 0)
        BP(index);
}
