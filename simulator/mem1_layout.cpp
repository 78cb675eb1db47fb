// Building the simulator window's fixed controls, its main menu, and the
// study commands' menu entries, key and buttons. The controls of the views
// that are made at run time (memory cells, stack and register rows) are
// built by the views' own files.
#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTabWidget>

#include "mem1.h"
#include "shortcut_filter.h"
#include "trace_view.h"
#include "ui_support.h"

namespace {

QPushButton* pictureButton(QWidget* parent, QStyle::StandardPixmap icon, const QString& hint) {
    auto* button = new QPushButton(parent);
    button->setIcon(parent->style()->standardIcon(icon));
    button->setIconSize(QSize(16, 16));
    button->setToolTip(hint);
    return button;
}

} // namespace

void TForm1::buildFixedControls(QWidget* client) {
    Bevel1 = new QFrame(client);
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Raised);
    Bevel1->setGeometry(8, 0, 186, 29);
    LMemory = kovar::ui::AddLabel(client, QStringLiteral("Память"), 16, 7);

    TEAdress = kovar::ui::AddEdit(client, QStringLiteral("00000000"), 104, 3, 61);
    BitBtn6 =
        pictureButton(client, QStyle::SP_ArrowRight, QStringLiteral("Переход на адрес в памяти"));
    BitBtn6->setGeometry(168, 2, 23, 23);
    connect(BitBtn6, &QPushButton::clicked, this, &TForm1::BitBtn6Click);

    MemPanel = new QFrame(client);
    MemPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    MemPanel->setGeometry(8, 31, 169, 297);
    MemPanel->setContextMenuPolicy(Qt::ActionsContextMenu);

    ScrollBarMem = new QScrollBar(Qt::Vertical, client);
    ScrollBarMem->setGeometry(178, 32, 16, 296);
    // Clicking the bar takes the focus (so a cell being edited is stored
    // first), and the keyboard scrolls it.
    ScrollBarMem->setFocusPolicy(Qt::StrongFocus);
    connect(ScrollBarMem, &QScrollBar::valueChanged, this, [this](int position) {
        if (!settingBar_)
            ScrollBarMemScroll(position);
    });

    CheckBoxFL = new QCheckBox(QStringLiteral("FL"), client);
    CheckBoxFL->setGeometry(9, 333, 36, 28);
    connect(CheckBoxFL, &QCheckBox::toggled, this, &TForm1::CheckBoxFLClick);

    Label4 = kovar::ui::AddLabel(client, QStringLiteral("PC"), 91, 364);
    Label4->setToolTip(QStringLiteral("Programm counter"));
    EditPC = kovar::ui::AddEdit(client, QStringLiteral("00000000"), 113, 360, 61);
    kovar::ui::OnFocusExit(EditPC, [this] { EditPCExit(); });

    BitBtn5 = pictureButton(client, QStyle::SP_MediaPlay, QStringLiteral("Запуск программы"));
    BitBtn5->setGeometry(178, 360, 23, 23);
    connect(BitBtn5, &QPushButton::clicked, this, &TForm1::BitBtn5Click);

    Panel1 = new QFrame(client);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setGeometry(204, 0, 253, 385);
    const QString traceHint = QStringLiteral("Вкл/откл вывод отладочной информации");
    Label1 = kovar::ui::AddLabel(Panel1, QStringLiteral("Отладка"), 6, 7);
    Label1->setToolTip(traceHint);
    DebEnable = new QCheckBox(Panel1);
    DebEnable->move(54, 5);
    DebEnable->adjustSize();
    DebEnable->setToolTip(traceHint);
    DebEnable->setChecked(log_.enabled());
    connect(DebEnable, &QCheckBox::toggled, this, [this](bool on) { log_.setEnabled(on); });
    BitBtn4 = pictureButton(Panel1, QStyle::SP_DialogResetButton,
                            QStringLiteral("Очистить отладочную информацию"));
    BitBtn4->setGeometry(226, 2, 23, 23);
    connect(BitBtn4, &QPushButton::clicked, this, &TForm1::BitBtn4Click);

    MemoDeb = new TraceView(log_, Panel1);
    MemoDeb->setGeometry(1, 27, 250, 358);
    MemoDeb->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* copy = new QAction(QStringLiteral("Copy"), MemoDeb);
    connect(copy, &QAction::triggered, MemoDeb, &TraceView::copy);
    auto* selectAll = new QAction(QStringLiteral("Select all"), MemoDeb);
    connect(selectAll, &QAction::triggered, MemoDeb, &TraceView::selectAll);
    MemoDeb->addAction(copy);
    MemoDeb->addAction(selectAll);

    PageControl1 = new QTabWidget(client);
    PageControl1->setGeometry(465, 0, 130, 385);
    PanelDS = new QWidget;
    PanelRS = new QWidget;
    PanelURD = new QWidget;
    PageControl1->addTab(PanelDS, QStringLiteral("DS"));
    PageControl1->addTab(PanelRS, QStringLiteral("RS"));
    PageControl1->addTab(PanelURD, QStringLiteral("URD"));
    kovar::ui::AddLabel(PanelDS, QStringLiteral("Date Stack"), 3, 3);
    kovar::ui::AddLabel(PanelRS, QStringLiteral("Return Stack"), 3, -1);
    kovar::ui::AddLabel(PanelURD, QStringLiteral("User Register"), 5, 1);
    PageControl1->setCurrentIndex(0);

    MenuMem = new QMenu(this);
    N9 = new QAction(QStringLiteral("Начало"), MemPanel);
    N14 = new QAction(QStringLiteral("Конец"), MemPanel);
    connect(N9, &QAction::triggered, this, &TForm1::N9Click);
    connect(N14, &QAction::triggered, this, &TForm1::N14Click);
    MemPanel->addAction(N9);
    MemPanel->addAction(N14);
    MenuMem->addAction(N9);
    MenuMem->addAction(N14);
}

void TForm1::buildMenu() {
    QMenuBar* bar = menuBar();
    const auto entry = [this](QMenu* menu, const char* text, const QKeySequence& key,
                              void (TForm1::*handler)()) {
        auto* action = menu->addAction(QString::fromUtf8(text));
        action->setShortcut(key);
        action->setShortcutContext(Qt::ApplicationShortcut);
        // An animation pauses, and what the user typed into a field counts,
        // before the command acts.
        connect(action, &QAction::triggered, this, [this, handler] {
            pauseAnimation();
            commitTypedText();
            (this->*handler)();
        });
        return action;
    };
    QMenu* file = bar->addMenu(QStringLiteral("Файл"));
    N10 = entry(file, "Новый", QKeySequence(Qt::CTRL | Qt::Key_N), &TForm1::N10Click);
    N8 = entry(file, "Сохранить", QKeySequence(Qt::Key_F2), &TForm1::N8Click);
    N11 = entry(file, "Загрузить", QKeySequence(Qt::Key_F3), &TForm1::N11Click);
    N12 = entry(file, "Выход", QKeySequence(Qt::CTRL | Qt::Key_X), &TForm1::N12Click);
    QMenu* project = bar->addMenu(QStringLiteral("Проект"));
    N6 = entry(project, "Запуск", QKeySequence(Qt::Key_F9), &TForm1::N6Click);
    N7 = entry(project, "По шагам", QKeySequence(Qt::Key_F7), &TForm1::N7Click);
    QMenu* tools = bar->addMenu(QStringLiteral("Инструменты"));
    Hexbindec1 = entry(tools, "Hex<->bin<->dec", QKeySequence(Qt::CTRL | Qt::Key_C),
                       &TForm1::Hexbindec1Click);
    N15 = entry(tools, "Конструктор команд", QKeySequence(Qt::CTRL | Qt::Key_H), &TForm1::N15Click);
    RPNcalc1 = entry(tools, "RPN calc", QKeySequence(Qt::CTRL | Qt::Key_K), &TForm1::RPNcalc1Click);
    Hexbindec1->setEnabled(false);
    N15->setEnabled(false);
    RPNcalc1->setEnabled(false);
    NAsm = entry(tools, "Ассемблер", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A),
                 &TForm1::NAsmClick);
    NListing = entry(tools, "Листинг", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L),
                     &TForm1::NListingClick);
    NAsm->setEnabled(false);
    NListing->setEnabled(false);
    QMenu* view = bar->addMenu(QStringLiteral("Вид"));
    NDecimal = view->addAction(QStringLiteral("Десятичные"));
    NDecimal->setCheckable(true);
    connect(NDecimal, &QAction::triggered, this, [this](bool on) {
        commitTypedText(); // in the base it was typed in
        setDecimalView(on);
    });

    // The menu's keys belong to the whole program and win over edit fields.
    shortcuts_ = new ShortcutFilter({N10, N8, N11, N12, N6, N7, Hexbindec1, N15, RPNcalc1}, this);
    shortcuts_->beforeShortcut = [this] { commitTypedText(); };
}

void TForm1::buildStudyControls() {
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
        // An animation pauses, and what the user typed into a field counts,
        // before the command acts.
        connect(action, &QAction::triggered, this, [this, handler] {
            pauseAnimation();
            commitTypedText();
            (this->*handler)();
        });
        return action;
    };
    NStepBack = command("Шаг назад", QKeySequence(Qt::SHIFT | Qt::Key_F7),
                        "Отменить последнюю выполненную команду. Правка памяти, стеков, "
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
        QPushButton* b = pictureButton(client, icon,
                                       action->text() + QStringLiteral(" (") +
                                           action->shortcut().toString(QKeySequence::NativeText) +
                                           QStringLiteral(")\n") + action->statusTip());
        b->setGeometry(left, 334, 23, 23);
        connect(b, &QPushButton::clicked, action, &QAction::trigger);
        return b;
    };
    BtnStepBack = button(QStyle::SP_MediaSeekBackward, NStepBack, 121);
    BtnRestart = button(QStyle::SP_BrowserReload, NRestart, 146);
    BtnContinue = button(QStyle::SP_MediaSkipForward, NContinue, 171);
}
