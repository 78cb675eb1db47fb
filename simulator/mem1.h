// TForm1: the simulator window, the program's main window. It shows and edits
// the one MachineState: the memory view, the stack and register views with PC
// and FL, the trace pane, the run button and the main menu. Its code is split
// by concern: mem1.cpp (creation, activation, closing, the frame around every
// command, the tool windows), mem1_layout.cpp (the fixed controls and the
// menu), mem1_memory_view.cpp, mem1_stack_views.cpp (stacks, URD, PC, FL, the
// decimal view), mem1_files.cpp (New, Save, Load, Exit, the trace file),
// mem1_study.cpp (Run, Step, step back, restart, continue, breakpoints),
// mem1_highlights.cpp (what the last command changed, and the colours of the
// theme), mem1_tooltips.cpp (values in the other base) and mem1_animation.cpp
// (the animated run, and the step counter in the status bar). The breakpoint
// list and the listing reach the machine through link() (a MachineLink), not
// through this class.
#pragma once

#include <QList>
#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "history.h"
#include "machine_state.h"
#include "processor.h"
#include "trace_log.h"
#include "views.h"

class MachineLink;
class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QScrollBar;
class QSlider;
class QTabWidget;
class ShortcutFilter;
class TraceView;

// The simulator window ("KOVAR 3 simulator (01.10.02)").
class TForm1 : public QMainWindow, public kovar::MachineViews {
    Q_OBJECT
public:
    static constexpr int kCells = 28;
    static constexpr int kMaxMemBase = kovar::kMemorySize - kCells; // 973

    TForm1(kovar::MachineState& state, kovar::TraceLog& log, QWidget* parent = nullptr);
    ~TForm1() override;

    kovar::MachineState& state() { return st_; }
    kovar::TraceLog& traceLog() { return log_; }
    kovar::Processor& processor() { return cpu_; }
    // The door for the windows beside this one (breakpoint list, listing).
    MachineLink& link() { return *link_; }

    // The windows that the menu shows; an entry without its window stays disabled.
    void setSplash(QWidget* splash) { splash_ = splash; }
    void setToolWindows(QWidget* converter, QWidget* constructor, QWidget* calculator);
    // The program-text windows: the source editor and the listing.
    void setAsmWindows(QWidget* source, QWidget* listing);

    // The file dialogs, replaceable so that the commands can be driven
    // without a blocking dialog. An empty name means the user cancelled.
    std::function<QString()> askSaveFileName;
    std::function<QString()> askOpenFileName;
    // Asks whether to save the machine's unsaved changes before they would be
    // lost: returns QMessageBox::Save, QMessageBox::Discard or
    // QMessageBox::Cancel. Replaceable like the file dialogs.
    std::function<int()> askSaveChanges;
    // Asked in turn before the program closes, after the machine's own
    // question; one returning false keeps the program open. Windows with
    // unsaved work of their own add theirs.
    QList<std::function<bool()>> beforeClose;

    // Whether the user changed the machine since it was last saved, loaded
    // or emptied (Step and Run are not changes of the user's work).
    bool hasUnsavedChanges() const { return unsaved_; }

    // Loads a memory image as "Загрузить" does once the name is known (a file
    // that cannot be read is reported); false when it could not be read.
    bool loadImageFile(const QString& name);

    // Views of the machine, called by the core and the other windows. During
    // a command they only mark the view stale; it is redrawn once when the
    // command ends (or before a modal dialog opens).
    void RefreshMem() override;
    void RefreshStack(kovar::StackId stack) override;
    void RefreshURD() override;
    void RefreshPC() override;
    std::string PCFieldText(const kovar::MachineState& state) const override;

    // Redraws every stale view and brings the trace pane up to the log.
    void flushViews();

    // Every change the user makes to the machine outside Step and Run (an
    // edit field whose value changed, the constructor's insert or PC, a
    // program assembled into memory) reports here.
    void userEdited();
    // Breakpoint marks set or cleared: unsaved work and edited() as any
    // edit, but the step-back history and the restart point stay, as a mark
    // does not change what the program does.
    void marksEdited();
    // With unsaved changes, asks whether to save them; true when the caller
    // may go on (saved, or the user chose not to save).
    bool mayDiscardChanges();
    // New and Load replace the whole machine.
    void machineReplaced();

    int MemBase() const { return memBase_; }
    void GoAdress(int32_t target);

    // Whether the stacks and the user registers show and read signed
    // decimal numbers instead of hexadecimal ones (PC, FL and memory stay
    // hexadecimal). Remembered in the program's settings; switching redraws
    // those fields at once and emits decimalViewChanged.
    bool decimalView() const { return decimal_; }
    void setDecimalView(bool on);

    // Fixed controls.
    QFrame* Bevel1;
    QLabel* LMemory;
    QLineEdit* TEAdress;
    QPushButton* BitBtn6;
    QFrame* MemPanel;
    QScrollBar* ScrollBarMem;
    QCheckBox* CheckBoxFL;
    QLabel* Label4;
    QLineEdit* EditPC;
    QPushButton* BitBtn5;
    QFrame* Panel1;
    QLabel* Label1;
    QCheckBox* DebEnable;
    QPushButton* BitBtn4;
    TraceView* MemoDeb;
    QTabWidget* PageControl1;
    QWidget* PanelDS;
    QWidget* PanelRS;
    QWidget* PanelURD;
    QMenu* MenuMem;

    // Main menu entries.
    QAction* N10; // Новый
    QAction* N8;  // Сохранить
    QAction* N11; // Загрузить
    QAction* N12; // Выход
    QAction* N6;  // Запуск
    QAction* N7;  // По шагам
    QAction* Hexbindec1;
    QAction* N15; // Конструктор команд
    QAction* RPNcalc1;
    QAction* NAsm;     // Ассемблер
    QAction* NListing; // Листинг
    QAction* N9;       // Начало (memory context menu)
    QAction* N14;      // Конец
    QAction* NDecimal; // Десятичные (menu "Вид")

    // Controls built at run time, in index order.
    QList<QLineEdit*> MemCells;
    QList<QLabel*> MemLabels;
    struct StackRecord {
        quint16 left = 0;
        quint16 top = 0;
        QList<QLineEdit*> items;
    };
    StackRecord DSView;
    StackRecord RSView;
    StackRecord URDView;
    QList<QLabel*> StackLabels; // DS, then RS, then URD row labels

    // Event handlers.
    void RAMExit(int index);
    void BP(int index);
    void ScrollBarMemScroll(int position);
    void BitBtn6Click();
    void N9Click();
    void N14Click();
    void ItemExit(kovar::StackId stack, int index);
    void URDExit(int index);
    void EditPCExit();
    void CheckBoxFLClick(bool checked);
    void BitBtn4Click();
    void BitBtn5Click();
    void N6Click();
    void N7Click();
    void N8Click();
    void N10Click();
    void N11Click();
    void N12Click();
    void Hexbindec1Click();
    void N15Click();
    void RPNcalc1Click();
    void NAsmClick();
    void NListingClick();

signals:
    // The window has been closed: the program ends.
    void closed();
    // Emitted by userEdited() and machineReplaced().
    void edited();
    void replaced();
    // The PC field has been redrawn (or rewritten by its exit handler): other
    // windows that show PC follow it.
    void pcRedrawn();
    // The memory view or the PC field has just been redrawn (once per
    // command, as the views are coalesced): views that follow memory and PC
    // bring themselves up to date.
    void memoryOrPCShown();
    // The stacks and user registers have switched between decimal and
    // hexadecimal numbers: windows that show words may follow.
    void decimalViewChanged(bool decimal);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void FormCreate();
    void FormActivate();
    void InitMem();
    void InitStack(StackRecord& record, int kind);
    void InitURD();
    void buildFixedControls(QWidget* client);
    void buildMenu();
    // The default file dialogs and questions (replaceable, see above).
    void installFileDialogs();

    void redrawMem();
    void redrawStack(kovar::StackId stack);
    void redrawURD();
    void redrawPC();
    // A stack or register word as its field shows it in the current view,
    // and the value of a field's text (false, after the error message, for
    // a text that is no number of the view).
    QString wordText(int32_t value) const;
    bool readWord(const QString& text, int32_t& value) const;
    void setBarPosition(int position);
    // Commits text typed into the focused field, of the program and of this
    // window, before a command acts on the machine.
    void commitTypedText();
    void runCommand(const std::function<void()>& command);
    // Saves through the save dialog; true when the machine was saved.
    bool saveMachine();

    kovar::MachineState& st_;
    kovar::TraceLog& log_;
    kovar::Processor cpu_;
    MachineLink* link_ = nullptr;
    ShortcutFilter* shortcuts_ = nullptr;
    QWidget* splash_ = nullptr;
    QWidget* converter_ = nullptr;
    QWidget* constructor_ = nullptr;
    QWidget* calculator_ = nullptr;
    QWidget* asmSource_ = nullptr;
    QWidget* asmListing_ = nullptr;

    quint16 memBase_ = 0;
    int firstActivation_ = 0;
    int commandDepth_ = 0;
    bool settingBar_ = false;
    bool settingFL_ = false;
    bool staleMem_ = false;
    std::array<bool, 2> staleStack_{};
    bool staleURD_ = false;
    bool stalePC_ = false;
    bool unsaved_ = false;
    bool decimal_ = false;
    bool editingMarks_ = false; // while marksEdited() reports

    // ---- study aids: step back, restart, continue, highlights of what a
    // command changed, decimal tooltips, the breakpoint list, the trace file.
public:
    QAction* NStepBack;    // Шаг назад
    QAction* NRestart;     // Перезапуск
    QAction* NContinue;    // Продолжить
    QAction* NBreakpoints; // Точки останова
    QAction* NSaveTrace;   // Сохранить трассу...
    QAction* NToggleMark;  // F5 on a memory cell
    QPushButton* BtnStepBack;
    QPushButton* BtnRestart;
    QPushButton* BtnContinue;

    // The name of the trace file, replaceable like the image dialogs.
    std::function<QString()> askTraceFileName;

    kovar::History& history();
    bool hasRestartPoint() const;
    // Whether the command that ran last changed the shown value.
    bool isHighlighted(QWidget* field) const;
    QWidget* breakpointWindow() const;

    void StepBackClick();
    void RestartClick();
    void ContinueClick();
    void SaveTraceClick();
    void BreakpointsClick();
    void ToggleMarkClick();

private:
    struct Study;
    void buildStudyAids();
    // The study commands' menu entries, key and buttons.
    void buildStudyControls();
    void addDecimalTips();
    // Runs a Step or Run command: notes the restart point and the state
    // before it, then marks what it changed.
    void studyCommand(const std::function<void()>& command);
    // The state the first Step or Run after an edit begins from.
    void noteRestartPoint();
    // Ends a study command that changed the machine: marks what changed
    // and tells the other windows.
    void finishStudyCommand(const kovar::MachineState& before);
    void startNewHistory();
    void markChanges(const kovar::MachineState& before);
    void refreshAll();
    struct StudyDeleter {
        void operator()(Study* study) const;
    };
    std::unique_ptr<Study, StudyDeleter> study_;

    // ---- the animated run (mem1_animation.cpp): Run one instruction at a
    // time at a chosen speed, and the step counter in the status bar.
public:
    QAction* NAnimate;  // Анимация
    QSlider* AnimSpeed; // instructions a second, 1 to 1000
    QLabel* LabelSteps; // "Шагов: N"
    bool isAnimating() const;
    int animationSpeed() const;
    void setAnimationSpeed(int perSecond);
    // Instructions executed since the last New, Load, assembly or restart.
    qint64 stepCount() const;
    void AnimateClick();
    // Stops an animation in progress; a later Анимация goes on from there.
    void pauseAnimation();

private:
    struct Animation;
    void buildAnimation();
    void animationTick();
    void countSteps(qint64 delta);
    void resetStepCount();
    struct AnimationDeleter {
        void operator()(Animation* animation) const;
    };
    std::unique_ptr<Animation, AnimationDeleter> anim_;

    // What the last Step, Run, step back or restart changed; those fields
    // are highlighted until the next such command or the user's typing.
    struct ChangedValues {
        std::array<bool, kovar::kMemorySize> memory{};
        std::array<std::array<bool, kovar::kStackDepth>, 2> stacks{};
        std::array<bool, kovar::kUserRegisters> urd{};
        bool pc = false;
        bool fl = false;
    };
    ChangedValues changed_;
    void applyHighlights();
    void highlightMemCells();
    void clearHighlightsOnTyping();
    // Takes every colour from the theme of the current palette again.
    void applyTheme();
    // The memory cells' style: plain and changed, for the current theme.
    std::array<QString, 2> cellStyles_;
};
