// The simulator window itself: creation, activation and closing, the frame
// around every command (typed text first, views redrawn once at the end),
// the link through which other windows reach the machine, and the menu
// entries that show the tool windows.
#include "mem1.h"

#include <QCloseEvent>
#include <QLayout>
#include <algorithm>

#include "machine_link.h"
#include "mem1_fields.h"
#include "shortcut_filter.h"
#include "text_fit.h"
#include "theme.h"
#include "trace_view.h"
#include "ui_support.h"

using kovar::StackId;

namespace {

constexpr int kClientWidth = 604;
constexpr int kClientHeight = 392;

// The main window's side of the link: other windows' requests become the
// same calls the window's own controls make.
class MainWindowLink final : public MachineLink {
public:
    explicit MainWindowLink(TForm1& form) : MachineLink(&form), form_(form) { followSourceMap(); }

    kovar::MachineState& machine() override { return form_.state(); }
    void showAddress(uint32_t address) override {
        form_.GoAdress(static_cast<int32_t>(std::min<uint32_t>(address, kovar::kMemorySize - 1)));
    }
    void breakpointsEdited() override {
        form_.RefreshMem();
        form_.marksEdited();
    }

private:
    TForm1& form_;
};

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
    setDecimalView(kovar::mem1::savedDecimalView());
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    installFileDialogs();
    // Addresses, register values and captions stay whole in their fixed places.
    kovar::ui::FitTexts(this);

    link_ = new MainWindowLink(*this);
    connect(this, &TForm1::memoryOrPCShown, link_, &MachineLink::shown);
    connect(this, &TForm1::pcRedrawn, link_, &MachineLink::pcShown);
    connect(this, &TForm1::edited, link_, &MachineLink::edited);
    connect(this, &TForm1::replaced, link_, &MachineLink::replaced);
    buildAnimation();
}

TForm1::~TForm1() {
    kovar::ui::StopFocusExits(this);
    delete shortcuts_; // before the actions it watches
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

void TForm1::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    if (kovar::ui::IsPaletteChange(e))
        applyTheme();
}

// ---- views and commands ----

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

void TForm1::userEdited() {
    unsaved_ = true;
    emit edited();
}

void TForm1::marksEdited() {
    editingMarks_ = true;
    userEdited();
    editingMarks_ = false;
}

void TForm1::machineReplaced() {
    emit replaced();
}

void TForm1::commitTypedText() {
    kovar::ui::CommitFocusedField();
    kovar::ui::CommitPendingText(focusWidget());
}

void TForm1::runCommand(const std::function<void()>& command) {
    if (commandDepth_ == 0)
        pauseAnimation(); // a command acts on the machine as the animation left it
    ++commandDepth_;
    command();
    --commandDepth_;
    if (commandDepth_ == 0)
        flushViews();
}

void TForm1::BitBtn4Click() {
    log_.Clear();
    flushViews();
}

// ---- the tool windows ----

void TForm1::setToolWindows(QWidget* converter, QWidget* constructor, QWidget* calculator) {
    converter_ = converter;
    constructor_ = constructor;
    calculator_ = calculator;
    Hexbindec1->setEnabled(converter_ != nullptr);
    N15->setEnabled(constructor_ != nullptr);
    RPNcalc1->setEnabled(calculator_ != nullptr);
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
