#include "mem1.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTabWidget>
#include <algorithm>
#include <utility>

#include "hex_op.h"
#include "memory_image.h"
#include "shortcut_filter.h"
#include "text_fit.h"
#include "trace_view.h"
#include "ui_support.h"

using kovar::StackId;
using kovar::ui::Q;
using kovar::ui::S;

namespace {

constexpr int kClientWidth = 604;
constexpr int kClientHeight = 392;

QString hexBytes(int32_t value, uint8_t n) {
    return Q(kovar::IntToHexBytes(value, n));
}

int32_t hexToInt(const QString& text) {
    return kovar::HexToInt(S(text));
}

// Writes a text into a field only when it differs: setText is not free and
// a Run refreshes the same fields many times.
void setFieldText(QLineEdit* field, const QString& text) {
    if (field->text() != text)
        field->setText(text);
}

QPushButton* pictureButton(QWidget* parent, QStyle::StandardPixmap icon, const QString& hint) {
    auto* button = new QPushButton(parent);
    button->setIcon(parent->style()->standardIcon(icon));
    button->setIconSize(QSize(16, 16));
    button->setToolTip(hint);
    return button;
}

// A memory cell's value field: narrow, so it draws with a thin frame and no padding.
QLineEdit* cellField(QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setMaxLength(2);
    field->setAlignment(Qt::AlignCenter);
    field->setTextMargins(0, 0, 0, 0);
    field->setStyleSheet(QStringLiteral("QLineEdit { padding: 0px; border: 1px solid #7a7a7a; "
                                        "background: white; }"));
    return field;
}

} // namespace

TForm1::TForm1(kovar::MachineState& state, kovar::TraceLog& log, QWidget* parent)
    : QMainWindow(parent), st_(state), log_(log), cpu_(state, log, this) {
    setWindowTitle(QStringLiteral("KOVAR 3 simulator (01.10.02)"));
    setWindowFlags(kovar::ui::kFixedWindowFlags);
    setFont(kovar::ui::FormFont());

    auto* client = new QWidget(this);
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);
    buildFixedControls(client);
    buildMenu();
    FormCreate();
    buildStudyAids();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    // Addresses, register values and captions stay whole in their fixed places.
    kovar::ui::FitTexts(this);

    askSaveFileName = [this] {
        QFileDialog dialog(this, QStringLiteral("Сохранить"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("emu"));
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
                   ? dialog.selectedFiles().front()
                   : QString();
    };
    askOpenFileName = [this] {
        QFileDialog dialog(this, QStringLiteral("Загрузить"));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setDefaultSuffix(QStringLiteral("emu"));
        dialog.setNameFilter(QStringLiteral("Dmp Emulator (*.emu)"));
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
                   ? dialog.selectedFiles().front()
                   : QString();
    };
    askSaveChanges = [this] {
        QMessageBox box(QMessageBox::Question, QStringLiteral("KOVAR"),
                        QStringLiteral("Сохранить изменения?"),
                        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
        box.button(QMessageBox::Save)->setText(QStringLiteral("Сохранить"));
        box.button(QMessageBox::Discard)->setText(QStringLiteral("Не сохранять"));
        box.button(QMessageBox::Cancel)->setText(QStringLiteral("Отмена"));
        box.setDefaultButton(QMessageBox::Save);
        box.setEscapeButton(QMessageBox::Cancel);
        return box.exec();
    };
}

TForm1::~TForm1() {
    kovar::ui::StopFocusExits(this);
    delete shortcuts_; // before the actions it watches
}

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
        // What the user typed into a field counts before the command acts.
        connect(action, &QAction::triggered, this, [this, handler] {
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

    // The menu's keys belong to the whole program and win over edit fields.
    shortcuts_ = new ShortcutFilter({N10, N8, N11, N12, N6, N7, Hexbindec1, N15, RPNcalc1}, this);
    shortcuts_->beforeShortcut = [this] { commitTypedText(); };
}

void TForm1::setToolWindows(QWidget* converter, QWidget* constructor, QWidget* calculator) {
    converter_ = converter;
    constructor_ = constructor;
    calculator_ = calculator;
    Hexbindec1->setEnabled(converter_ != nullptr);
    N15->setEnabled(constructor_ != nullptr);
    RPNcalc1->setEnabled(calculator_ != nullptr);
}

// ---- creation, activation, closing ----

void TForm1::FormCreate() {
    InitMem();
    InitStack(DSView, 0);
    InitStack(RSView, 1);
    InitURD();
}

bool TForm1::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate)
        FormActivate();
    return QMainWindow::event(e);
}

void TForm1::FormActivate() {
    if (firstActivation_ == 0) {
        firstActivation_ = 1;
        if (splash_)
            splash_->show();
    }
    // A field of this window left for another window keeps its typed text;
    // it is stored before the redraw would overwrite it.
    kovar::ui::CommitPendingText(focusWidget());
    RefreshMem();
    RefreshStack(StackId::DS);
    RefreshStack(StackId::RS);
    RefreshURD();
    RefreshPC();
}

void TForm1::closeEvent(QCloseEvent* e) {
    bool close = mayDiscardChanges();
    for (const auto& ask : beforeClose)
        close = close && (!ask || ask());
    if (!close) {
        e->ignore();
        return;
    }
    QMainWindow::closeEvent(e);
    if (e->isAccepted())
        emit closed();
}

// ---- memory view ----

void TForm1::InitMem() {
    ScrollBarMem->setRange(0, 1000);
    ScrollBarMem->setSingleStep(1);
    ScrollBarMem->setPageStep(1);
    MemCells.clear();
    MemLabels.clear();
    memBase_ = 0;
    for (int i = 0; i < kCells; ++i) {
        const int row = i % 14;
        const int column = i / 14;
        QLineEdit* field = cellField(MemPanel);
        field->setGeometry(60 + 75 * column, 10 + 20 * row, 20, 20);
        kovar::ui::OnFocusExit(field, [this, i] { RAMExit(i); });
        auto* address = new QLabel(MemPanel);
        address->setGeometry(10 + 75 * column, 12 + 20 * row, 60, 14);
        address->installEventFilter(this);
        address->setProperty("cell", i);
        // The label's box runs under the left of the field: the field lies
        // above it, so a click anywhere on the field reaches the field.
        field->raise();
        MemCells.append(field);
        MemLabels.append(address);
    }
    for (int i = 1; i < kCells; ++i)
        QWidget::setTabOrder(MemCells[i - 1], MemCells[i]);
}

bool TForm1::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::MouseButtonDblClick) {
        const QVariant cell = watched->property("cell");
        if (cell.isValid() && static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
            BP(cell.toInt());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

void TForm1::redrawMem() {
    staleMem_ = false;
    emit memoryOrPCShown();
    for (int i = 0; i < kCells; ++i) {
        const int address = memBase_ + i;
        setFieldText(MemCells[i], hexBytes(st_.Memory[address], 1));
        QLabel* l = MemLabels[i];
        const QColor colour = st_.BreakpointMarks[address] != 0 ? Qt::red : Qt::black;
        if (l->palette().color(QPalette::WindowText) != colour) {
            QPalette p = l->palette();
            p.setColor(QPalette::WindowText, colour);
            l->setPalette(p);
        }
        const QString text = hexBytes(address, 4);
        if (l->text() != text)
            l->setText(text);
    }
    highlightMemCells();
}

void TForm1::RefreshMem() {
    if (commandDepth_ > 0)
        staleMem_ = true;
    else
        redrawMem();
}

void TForm1::setBarPosition(int position) {
    settingBar_ = true;
    ScrollBarMem->setValue(position);
    settingBar_ = false;
}

void TForm1::GoAdress(int32_t target) {
    memBase_ = static_cast<quint16>(std::clamp<int32_t>(target, 0, kMaxMemBase));
    setBarPosition(memBase_);
    RefreshMem();
}

void TForm1::ScrollBarMemScroll(int position) {
    GoAdress(position);
    // The bar stays where the user moved it, also where the view was clamped.
    setBarPosition(position);
}

void TForm1::RAMExit(int index) {
    const int32_t value = hexToInt(MemCells[index]->text());
    uint8_t& cell = st_.Memory[memBase_ + index];
    const uint8_t old = cell;
    cell = static_cast<uint8_t>(value & 0xFF);
    RefreshMem();
    if (cell != old)
        userEdited();
}

void TForm1::BP(int index) {
    st_.BreakpointMarks[memBase_ + index] ^= 1u;
    RefreshMem();
    userEdited();
}

void TForm1::BitBtn6Click() {
    const int32_t target = hexToInt(TEAdress->text());
    GoAdress(target);
    TEAdress->setText(hexBytes(target, 4));
}

void TForm1::N9Click() {
    GoAdress(0);
}
void TForm1::N14Click() {
    GoAdress(1000);
}

// ---- stack and register views ----

void TForm1::InitStack(StackRecord& record, int kind) {
    QWidget* page = kind == 0 ? PanelDS : PanelRS;
    const StackId id = kind == 0 ? StackId::DS : StackId::RS;
    record.items.clear();
    record.left = 40;
    record.top = 20;
    for (int i = 0; i < kovar::kStackDepth; ++i) {
        auto* field = new QLineEdit(page);
        field->setMaxLength(8);
        kovar::ui::OnFocusExit(field, [this, id, i] { ItemExit(id, i); });
        QString stem = i == 0   ? QStringLiteral("T")
                       : i == 1 ? QStringLiteral("S")
                                : Q(kovar::IntToHexMin(i + 1));
        auto* name = new QLabel(page);
        record.items.append(field);
        name->setText(stem + (kind == 0 ? QStringLiteral("OS") : QStringLiteral("OR")));
        field->setGeometry(record.left, record.top + 20 * i, 60, 20);
        name->setGeometry(record.left - 29, record.top + 20 * i + 2, 30, 14);
        field->raise(); // above the label's last column
        StackLabels.append(name);
        if (i > 0)
            QWidget::setTabOrder(record.items[i - 1], field);
    }
}

void TForm1::InitURD() {
    URDView.items.clear();
    URDView.left = 40;
    URDView.top = 20;
    for (int i = 0; i < kovar::kUserRegisters; ++i) {
        auto* field = new QLineEdit(PanelURD);
        field->setMaxLength(8);
        kovar::ui::OnFocusExit(field, [this, i] { URDExit(i); });
        auto* name = new QLabel(QStringLiteral("URD") + Q(kovar::IntToHexMin(i)), PanelURD);
        URDView.items.append(field);
        field->setGeometry(URDView.left, URDView.top + 20 * i, 60, 20);
        name->setGeometry(URDView.left - 35, URDView.top + 20 * i + 2, 30, 14);
        StackLabels.append(name);
        if (i > 0)
            QWidget::setTabOrder(URDView.items[i - 1], field);
    }
}

void TForm1::redrawStack(StackId id) {
    staleStack_[id == StackId::DS ? 0 : 1] = false;
    const kovar::Stack& entries = st_.stack(id);
    StackRecord& record = id == StackId::DS ? DSView : RSView;
    for (int i = 0; i < kovar::kStackDepth; ++i)
        setFieldText(record.items[i], hexBytes(entries[i], 4));
}

void TForm1::RefreshStack(StackId id) {
    if (commandDepth_ > 0)
        staleStack_[id == StackId::DS ? 0 : 1] = true;
    else
        redrawStack(id);
}

void TForm1::redrawURD() {
    staleURD_ = false;
    for (int i = 0; i < kovar::kUserRegisters; ++i)
        setFieldText(URDView.items[i], hexBytes(st_.URD[i], 4));
}

void TForm1::RefreshURD() {
    if (commandDepth_ > 0)
        staleURD_ = true;
    else
        redrawURD();
}

void TForm1::redrawPC() {
    stalePC_ = false;
    emit memoryOrPCShown();
    setFieldText(EditPC, hexBytes(st_.PC, 4));
    settingFL_ = true;
    CheckBoxFL->setChecked(st_.FL);
    settingFL_ = false;
    emit pcRedrawn();
}

void TForm1::RefreshPC() {
    if (commandDepth_ > 0)
        stalePC_ = true;
    else
        redrawPC();
}

std::string TForm1::PCFieldText(const kovar::MachineState& state) const {
    // While a redraw of the field is pending, it would show PC.
    if (stalePC_)
        return kovar::Hex8(static_cast<uint32_t>(state.PC));
    return S(EditPC->text());
}

void TForm1::flushViews() {
    if (staleMem_)
        redrawMem();
    if (staleStack_[0])
        redrawStack(StackId::DS);
    if (staleStack_[1])
        redrawStack(StackId::RS);
    if (staleURD_)
        redrawURD();
    if (stalePC_)
        redrawPC();
    if (MemoDeb->sync())
        MemoDeb->scrollToBottom();
}

void TForm1::ItemExit(StackId id, int index) {
    StackRecord& record = id == StackId::DS ? DSView : RSView;
    const int32_t value = hexToInt(record.items[index]->text());
    const int32_t old = std::exchange(st_.stack(id)[index], value);
    record.items[index]->setText(hexBytes(value, 4));
    if (value != old)
        userEdited();
}

void TForm1::URDExit(int index) {
    const int32_t value = hexToInt(URDView.items[index]->text());
    const int32_t old = std::exchange(st_.URD[index], value);
    URDView.items[index]->setText(hexBytes(value, 4));
    if (value != old)
        userEdited();
}

void TForm1::EditPCExit() {
    const int32_t old = std::exchange(st_.PC, hexToInt(EditPC->text()));
    EditPC->setText(hexBytes(st_.PC, 4));
    emit pcRedrawn();
    if (st_.PC != old)
        userEdited();
}

void TForm1::CheckBoxFLClick(bool checked) {
    const bool old = std::exchange(st_.FL, checked);
    if (!settingFL_ && checked != old)
        userEdited();
}

void TForm1::userEdited() {
    unsaved_ = true;
    emit edited();
}

void TForm1::machineReplaced() {
    emit replaced();
}

// ---- commands ----

void TForm1::commitTypedText() {
    kovar::ui::CommitFocusedField();
    kovar::ui::CommitPendingText(focusWidget());
}

void TForm1::runCommand(const std::function<void()>& command) {
    ++commandDepth_;
    command();
    --commandDepth_;
    if (commandDepth_ == 0)
        flushViews();
}

void TForm1::N6Click() {
    studyCommand([this] { cpu_.RunPrg(); });
}
void TForm1::BitBtn5Click() {
    N6Click();
}
void TForm1::N7Click() {
    studyCommand([this] { cpu_.StepPrg(); });
}

void TForm1::BitBtn4Click() {
    log_.Clear();
    flushViews();
}

bool TForm1::mayDiscardChanges() {
    if (!unsaved_)
        return true;
    const int answer = askSaveChanges ? askSaveChanges() : int(QMessageBox::Cancel);
    if (answer == QMessageBox::Save)
        return saveMachine();
    return answer == QMessageBox::Discard;
}

bool TForm1::saveMachine() {
    const QString name = askSaveFileName ? askSaveFileName() : QString();
    if (name.isEmpty())
        return false;
    if (!kovar::SaveDmp(st_, S(name)))
        return false;
    unsaved_ = false;
    return true;
}

void TForm1::N10Click() {
    if (!mayDiscardChanges())
        return;
    st_.Reset();
    unsaved_ = false;
    RefreshMem();
    RefreshStack(StackId::DS);
    RefreshStack(StackId::RS);
    RefreshURD();
    RefreshPC();
    log_.Clear();
    flushViews();
    machineReplaced();
}

void TForm1::N8Click() {
    saveMachine();
}

void TForm1::N11Click() {
    // Loading replaces the machine as New does: unsaved work is asked about.
    if (!mayDiscardChanges())
        return;
    const QString name = askOpenFileName ? askOpenFileName() : QString();
    if (name.isEmpty())
        return;
    loadImageFile(name);
}

bool TForm1::loadImageFile(const QString& name) {
    const bool loaded = kovar::LoadDmp(st_, S(name));
    if (loaded)
        unsaved_ = false; // the machine is now the file's
    RefreshMem();
    RefreshStack(StackId::DS);
    RefreshStack(StackId::RS);
    RefreshURD();
    RefreshPC();
    if (loaded)
        machineReplaced();
    return loaded;
}

void TForm1::N12Click() {
    close();
}

void TForm1::Hexbindec1Click() {
    if (converter_)
        kovar::ui::ShowToFront(converter_);
}
void TForm1::N15Click() {
    if (constructor_)
        kovar::ui::ShowToFront(constructor_);
}
void TForm1::RPNcalc1Click() {
    if (calculator_)
        kovar::ui::ShowToFront(calculator_);
}

void TForm1::setAsmWindows(QWidget* source, QWidget* listing) {
    asmSource_ = source;
    asmListing_ = listing;
    NAsm->setEnabled(source != nullptr);
    NListing->setEnabled(listing != nullptr);
}
void TForm1::NAsmClick() {
    if (asmSource_)
        kovar::ui::ShowToFront(asmSource_);
}
void TForm1::NListingClick() {
    if (asmListing_)
        kovar::ui::ShowToFront(asmListing_);
}
